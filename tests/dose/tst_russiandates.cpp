// Dates read in Russian on a machine whose locale is not: the one place
// that formats them, the month picker and the calendars of the pages.
#include "common/TestDatabase.h"
#include "dose/MonthEdit.h"
#include "dose/UserDetailsWidget.h"
#include "report/RussianFormat.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QLineEdit>
#include <QtTest>

class RussianDatesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void formatsPerKindOfField();
    void monthPickerNamesTheMonth();
    void pageCalendarsAreRussian();
};

void RussianDatesTest::initTestCase()
{
    // Set in main() before the application: the system speaks English.
    QVERIFY(QLocale::system().language() != QLocale::Russian);
}

void RussianDatesTest::formatsPerKindOfField()
{
    const QDate first(2026, 12, 1);
    QCOMPARE(RussianFormat::date(first), QString::fromUtf8("1 дек. 2026"));
    QCOMPARE(RussianFormat::date(QDate(2026, 5, 9)), QString::fromUtf8("9 мая 2026"));
    QCOMPARE(RussianFormat::dateTime(QDateTime(first, QTime(14, 5, 7))),
             QString::fromUtf8("1 дек. 2026 14:05"));
    QCOMPARE(RussianFormat::recordTime(QDateTime(first, QTime(14, 5, 7))),
             QString::fromUtf8("1 дек. 2026 14:05:07"));
    QCOMPARE(RussianFormat::month(first), QString::fromUtf8("декабрь 2026"));
    QCOMPARE(RussianFormat::period(first, QDate(2026, 12, 31)),
             QString::fromUtf8("1 дек. 2026 – 31 дек. 2026"));
    QCOMPARE(RussianFormat::date(QDate()), QString());
}

void RussianDatesTest::monthPickerNamesTheMonth()
{
    MonthEdit edit;
    edit.setDate(QDate(2026, 12, 1));
    QCOMPARE(edit.text(), QString::fromUtf8("декабрь 2026"));
    edit.stepBy(1);
    QCOMPARE(edit.date(), QDate(2027, 1, 1));
    QCOMPARE(edit.text(), QString::fromUtf8("январь 2027"));
    // Keys step too; typed letters leave the month alone.
    edit.show();
    QTest::keyClick(&edit, Qt::Key_Down);
    QCOMPARE(edit.date(), QDate(2026, 12, 1));
    QTest::keyClicks(&edit, QStringLiteral("x5"));
    QCOMPARE(edit.date(), QDate(2026, 12, 1));
    QCOMPARE(edit.text(), QString::fromUtf8("декабрь 2026"));
    // Leaving the field keeps the month.
    edit.clearFocus();
    QCOMPARE(edit.date(), QDate(2026, 12, 1));
}

void RussianDatesTest::pageCalendarsAreRussian()
{
    TestSupport::TestDatabase db;
    QVERIFY(db.isValid());
    UserDetailsWidget page(nullptr, nullptr);
    for (const char *name : {"dayDateEdit", "startDateEdit", "endDateEdit"}) {
        auto *edit = page.findChild<QDateEdit *>(QLatin1String(name));
        QVERIFY(edit);
        QCOMPARE(edit->calendarWidget()->locale().language(), QLocale::Russian);
        QCOMPARE(edit->calendarWidget()->firstDayOfWeek(), Qt::Monday);
    }
}

int main(int argc, char *argv[])
{
    // Whatever the machine running the suite is set to.
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("LANG", "C.UTF-8");
    qputenv("LANGUAGE", "");
    QApplication app(argc, argv);
    RussianDatesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_russiandates.moc"
