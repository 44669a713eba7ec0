// Printing from the user page, the group page and the internal-history
// dialog: the template each print path loads, the preview's title, the record
// count and the values the page fills in. The preview is caught while it is
// open; the report object behind it (a child of the page) is then laid out
// once more and, when ORVANE_PRINT_DIR is set, kept there as a PDF.
#include "Tm4040Emulator.h"
#include "app/LibraryPath.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "db/MetaTypes.h"
#include "device/DeviceConnection.h"
#include "device/InternalHistoryDialog.h"
#include "dose/GroupDetailsWidget.h"
#include "dose/UserDetailsWidget.h"
#include "report/QtRPT.h"

#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using TestSupport::TestDatabase;

namespace {

// What one print showed and what the page answered.
struct Printed
{
    bool seen = false;
    bool preview = false; // the window was a print preview
    QString title;
    QString templateName;
    QList<int> recordCount;
    QMap<QPair<int, QString>, QString> values; // (record, field) -> value
    QMap<QString, QImage> images;
    QStringList texts; // every text printed, in page order
    int pages = 0;
    bool pdfWritten = false;

    QString value(const QString &name, int record = 0) const
    {
        return values.value({record, name}, QStringLiteral("<unset>"));
    }
};

template<class T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// Catches the next print preview of `page`, records it and closes it. With
// `pdfName` and ORVANE_PRINT_DIR set, the report is also written there.
std::shared_ptr<Printed> catchPrint(QWidget *page, const QString &pdfName = QString())
{
    auto printed = std::make_shared<Printed>();
    TestSupport::onNextModal([page, printed, pdfName](QWidget *window) {
        printed->seen = true;
        printed->preview = qobject_cast<QPrintPreviewDialog *>(window) != nullptr;
        printed->title = window->windowTitle();
        if (QtRPT *report = page->findChild<QtRPT *>()) {
            printed->recordCount = report->recordCount;
            // Connected after the page's own slots: sees what the page filled.
            QObject context;
            QObject::connect(report, &QtRPT::setValue, &context,
                             [printed](int record, const QString &name, QVariant &value, int) {
                                 if (value.isValid())
                                     printed->values[{record, name}] = value.toString();
                             });
            QObject::connect(report, &QtRPT::setValueImage, &context,
                             [printed](int, const QString &name, QImage &image, int) {
                                 printed->images[name] = image;
                             });
            const ReportDocument document = report->buildDocument();
            printed->templateName = document.source.name;
            printed->pages = document.pages.size();
            for (const ReportDocument::Page &p : document.pages) {
                for (const ReportDocument::Item &item : p.items)
                    printed->texts << item.text;
            }
            const QString folder = qEnvironmentVariable("ORVANE_PRINT_DIR");
            if (!pdfName.isEmpty() && !folder.isEmpty()) {
                printed->pdfWritten
                    = report->printPdf(QDir(folder).filePath(pdfName), printed->title);
            }
        }
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
    });
    return printed;
}

// The texts of one column of a table, top to bottom as shown.
QStringList columnTexts(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, column)->text();
    return texts;
}

const quint32 DeviceSerial = 40401234;

// A chart drawn for a report frame of w x h template units (1/96 inch) at
// print resolution, filling it.
QSize printSize(int w, int h)
{
    return QSize(qRound(w * QtRPT::PrintDpi / 96), qRound(h * QtRPT::PrintDpi / 96));
}

} // namespace

class PagePrintTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void userDayReportFollowsTheTableOrder();
    void userDayReportOfAnEmptyDay();
    void userDoseReportsByTab_data();
    void userDoseReportsByTab();
    void groupReportsByTab_data();
    void groupReportsByTab();
    void groupReportWithoutSelectedMember();
    void internalHistoryReport();

private:
    void addDayEvents();

    std::unique_ptr<TestDatabase> m_db;
    SharedUser m_user;
    const QDate m_today {2026, 3, 15};
};

void PagePrintTest::initTestCase()
{
    VDB::registerMetaTypes();
    LibraryPath::setLibraryDirectory(qEnvironmentVariable("ORVANE_PLUGIN_DIR"));
}

void PagePrintTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
    m_db->db()->setCurrentUser(m_db->db()->users().first());
    m_user = m_db->addUser(QStringLiteral("Петров"), QStringLiteral("Пётр"),
                           {m_db->db()->groups().at(2)});
    QVERIFY(m_user);
}

void PagePrintTest::cleanup()
{
    m_user.clear();
    m_db.reset();
}

// Measurements of today whose dose does not grow with their time, so that
// sorting by the dose gives another order than sorting by the time; and one
// a day before today.
void PagePrintTest::addDayEvents()
{
    QList<VDB::Event> events;
    const double doses[] = {0.5, 0.1, 0.9, 0.3, 0.7};
    for (int i = 0; i < 5; ++i) {
        VDB::Event e;
        e.user = m_user;
        e.dateTime = QDateTime(m_today, QTime(8 + i, 15));
        e.deviceType = m_db->db()->deviceTypes().first();
        e.deviceSerial = 8009;
        e.eventType = VDB::EventMeasurement;
        e.value = doses[i];
        e.medValue = 0.25 * (i + 1);
        e.eventNumber = 100 + i;
        e.channel = 2;
        events << e;
    }
    // Earlier days of the month, for the month, year and period charts.
    for (int day = 1; day < m_today.day(); ++day) {
        VDB::Event e = events.first();
        e.dateTime = QDateTime(QDate(m_today.year(), m_today.month(), day), QTime(12, 0));
        e.value = 0.05 * day;
        e.eventNumber = day;
        events << e;
    }
    QVERIFY(m_db->db()->addEvents(events));
}

void PagePrintTest::userDayReportFollowsTheTableOrder()
{
    addDayEvents();
    UserDetailsWidget page(nullptr, nullptr);
    page.resize(1000, 800);
    page.show();
    page.setUser(m_user);
    auto *table = child<QTableWidget>(&page, "historyTableWidget");
    QCOMPARE(table->rowCount(), 5);
    // The operator sorted the day by the dose.
    table->sortItems(2, Qt::AscendingOrder);
    const QStringList times = columnTexts(table, 0);
    QCOMPARE(columnTexts(table, 2).first(), table->item(0, 2)->text());

    auto printed = catchPrint(&page, QStringLiteral("user_events.pdf"));
    child<QPushButton>(&page, "printDayButton")->click();
    QVERIFY(printed->seen);
    QVERIFY(printed->preview);
    QCOMPARE(printed->title, QStringLiteral("Отчёт по пользователю (за день)"));
    QCOMPARE(printed->templateName, QStringLiteral("user_events"));
    QCOMPARE(printed->recordCount, QList<int> {5});
    QCOMPARE(printed->value(QStringLiteral("userName")), QStringLiteral("Петров Пётр"));
    QCOMPARE(printed->value(QStringLiteral("details")), QStringLiteral("Отчёт за день"));
    QCOMPARE(printed->value(QStringLiteral("date")), QStringLiteral("15 мар. 2026"));
    for (int row = 0; row < 5; ++row) {
        QCOMPARE(printed->value(QStringLiteral("time"), row), times.at(row));
        QCOMPARE(printed->value(QStringLiteral("device"), row), table->item(row, 1)->text());
        QCOMPARE(printed->value(QStringLiteral("event"), row), table->item(row, 2)->text());
        QCOMPARE(printed->value(QStringLiteral("value"), row), table->item(row, 3)->text());
        QCOMPARE(printed->value(QStringLiteral("channel"), row), table->item(row, 4)->text());
    }
    // Smallest dose first: 0.1 mSv was recorded at 09:15.
    QCOMPARE(printed->value(QStringLiteral("time"), 0), QStringLiteral("15 мар. 2026 09:15:00"));
    QCOMPARE(printed->value(QStringLiteral("channel"), 0), QStringLiteral("101"));
    QVERIFY(printed->texts.contains(QStringLiteral(" 15 мар. 2026 09:15:00")));
    // The chart of the day, as large as on the screen.
    const QImage graph = printed->images.value(QStringLiteral("graph"));
    QVERIFY(!graph.isNull());
    QCOMPARE(graph.size(), printSize(750, 400));
    QCOMPARE(printed->pdfWritten, !qEnvironmentVariableIsEmpty("ORVANE_PRINT_DIR"));

    // Sorted the other way, the report follows again.
    table->sortItems(2, Qt::DescendingOrder);
    printed = catchPrint(&page);
    child<QPushButton>(&page, "printDayButton")->click();
    QCOMPARE(printed->value(QStringLiteral("time"), 0), QStringLiteral("15 мар. 2026 10:15:00"));
    QCOMPARE(printed->value(QStringLiteral("time"), 4), QStringLiteral("15 мар. 2026 09:15:00"));
}

void PagePrintTest::userDayReportOfAnEmptyDay()
{
    UserDetailsWidget page(nullptr, nullptr);
    page.show();
    page.setUser(m_user);
    auto printed = catchPrint(&page);
    child<QPushButton>(&page, "printDayButton")->click();
    QVERIFY(printed->seen);
    QCOMPARE(printed->templateName, QStringLiteral("user_events"));
    QCOMPARE(printed->recordCount, QList<int> {0});
    QCOMPARE(printed->pages, 1);
    // Title, chart and the column headers of an empty table.
    QVERIFY(printed->texts.contains(QStringLiteral("Петров Пётр")));
    QVERIFY(printed->texts.contains(QStringLiteral(" Дата и время")));
    QVERIFY(!printed->images.value(QStringLiteral("graph")).isNull());
    QVERIFY(!printed->values.contains({0, QStringLiteral("time")}));
}

void PagePrintTest::userDoseReportsByTab_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("chart");
    QTest::newRow("month") << int(UserDetailsWidget::MonthTab) << "printMonthButton"
                           << "Отчёт по пользователю (за месяц)"
                           << "Месячная доза"
                           << "март 2026"
                           << "monthChartWidget";
    QTest::newRow("year") << int(UserDetailsWidget::YearTab) << "printYearButton"
                          << "Отчёт по пользователю (за год)"
                          << "Годовая доза"
                          << "2026"
                          << "yearChartWidget";
    // The default period is the options' interval (7 days) up to today.
    QTest::newRow("period") << int(UserDetailsWidget::PeriodTab) << "printPeriodButton"
                            << "Отчёт по пользователю (за период)"
                            << "Доза за период"
                            << "8 мар. 2026 – 15 мар. 2026"
                            << "rangeChartWidget";
}

void PagePrintTest::userDoseReportsByTab()
{
    QFETCH(int, tab);
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(QString, details);
    QFETCH(QString, date);
    QFETCH(QString, chart);

    addDayEvents();
    UserDetailsWidget page(nullptr, nullptr);
    page.resize(1000, 800);
    page.show();
    page.setUser(m_user);
    child<QTabWidget>(&page, "tabWidget")->setCurrentIndex(tab);
    auto printed
        = catchPrint(&page, QStringLiteral("user_dose_%1.pdf").arg(QTest::currentDataTag()));
    child<QPushButton>(&page, button.toLatin1().constData())->click();
    QVERIFY(printed->seen);
    QCOMPARE(printed->title, title);
    QCOMPARE(printed->templateName, QStringLiteral("user_dose"));
    // No data band: nothing appended to the record counts.
    QVERIFY(printed->recordCount.isEmpty());
    QCOMPARE(printed->value(QStringLiteral("userName")), QStringLiteral("Петров Пётр"));
    QCOMPARE(printed->value(QStringLiteral("details")), details);
    QCOMPARE(printed->value(QStringLiteral("date")), date);
    QVERIFY(printed->texts.contains(details + QStringLiteral(": ") + date));
    const QImage graph = printed->images.value(QStringLiteral("graph"));
    QVERIFY(!graph.isNull());
    QVERIFY(graph.width() >= printSize(750, 1).width());
    // The window's dose of record beside the heading, as on the page.
    QVERIFY(printed->value(QStringLiteral("total")).startsWith(QString::fromUtf8("Итого: ")));
}

void PagePrintTest::groupReportsByTab_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("date");
    QTest::newRow("month") << int(GroupDetailsWidget::MonthTab) << "printMonthButton"
                           << "Групповая доза (за месяц)"
                           << "Месячная доза"
                           << "март 2026";
    QTest::newRow("year") << int(GroupDetailsWidget::YearTab) << "printYearButton"
                          << "Групповая доза (за год)"
                          << "Годовая доза"
                          << "2026";
    QTest::newRow("period") << int(GroupDetailsWidget::PeriodTab) << "printPeriodButton"
                            << "Групповая доза (за период)"
                            << "Доза за период"
                            << "1 февр. 2026 – 15 мар. 2026";
}

void PagePrintTest::groupReportsByTab()
{
    QFETCH(int, tab);
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(QString, details);
    QFETCH(QString, date);

    addDayEvents();
    GroupDetailsWidget page(nullptr, nullptr, nullptr, nullptr);
    page.resize(1000, 800);
    page.show();
    page.setGroup(m_db->db()->groups().at(2));
    child<QDateEdit>(&page, "startDateEdit")->setDate(QDate(2026, 2, 1));
    child<QTableWidget>(&page, "usersTableWidget")->selectRow(0);
    QVERIFY(page.selectedUser());
    child<QTabWidget>(&page, "tabWidget")->setCurrentIndex(tab);

    auto printed
        = catchPrint(&page, QStringLiteral("group_dose_%1.pdf").arg(QTest::currentDataTag()));
    child<QPushButton>(&page, button.toLatin1().constData())->click();
    QVERIFY(printed->seen);
    QVERIFY(printed->preview);
    QCOMPARE(printed->title, title);
    QCOMPARE(printed->templateName, QStringLiteral("group_dose"));
    // Every member is listed with the window's dose, and the group's total.
    const SharedGroup group = m_db->db()->groups().at(2);
    QCOMPARE(printed->recordCount, QList<int> {group->users.size()});
    QCOMPARE(printed->value(QStringLiteral("memberName")), m_user->fullName());
    QVERIFY(printed->texts.contains(QString::fromUtf8(" Доза за период, мЗв")));
    double total = 0;
    for (int record = 0; record < group->users.size(); ++record)
        total += printed->value(QStringLiteral("memberDose"), record).toDouble();
    QCOMPARE(printed->value(QStringLiteral("groupTotal")), QString::number(total, 'f', 3));
    QCOMPARE(printed->value(QStringLiteral("groupName")), m_db->db()->groups().at(2)->name);
    QCOMPARE(printed->value(QStringLiteral("details")), details);
    QCOMPARE(printed->value(QStringLiteral("date")), date);
    QVERIFY(printed->texts.contains(m_db->db()->groups().at(2)->name));
    QVERIFY(!printed->images.value(QStringLiteral("graph")).isNull());
}

void PagePrintTest::groupReportWithoutSelectedMember()
{
    GroupDetailsWidget page(nullptr, nullptr, nullptr, nullptr);
    page.show();
    page.setGroup(m_db->db()->groups().at(2));
    QVERIFY(!page.selectedUser());
    auto printed = catchPrint(&page);
    child<QPushButton>(&page, "printMonthButton")->click();
    QVERIFY(printed->seen);
    QCOMPARE(printed->templateName, QStringLiteral("group_dose"));
    QCOMPARE(printed->pages, 1);
    QVERIFY(!printed->images.value(QStringLiteral("graph")).isNull());
}

void PagePrintTest::internalHistoryReport()
{
    Tm4040Scenario s;
    s.serialNumber = DeviceSerial;
    s.records
        = Tm4040Scenario::generateRecords(40, QDateTime(QDate(2026, 3, 13), QTime(8, 0)), 3600);
    Tm4040Emulator emulator(s);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());

    InternalHistoryDialog dialog(&connection);
    dialog.resize(900, 700);
    dialog.show();
    auto done = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    QTRY_VERIFY_WITH_TIMEOUT(done->seen, 10000);
    auto *table = child<QTableWidget>(&dialog, "historyTableWidget");
    QCOMPARE(table->rowCount(), 40);
    // Oldest first, by the record number.
    table->sortItems(3, Qt::AscendingOrder);

    auto printed = catchPrint(&dialog, QStringLiteral("device_events.pdf"));
    child<QPushButton>(&dialog, "printPushButton")->click();
    QVERIFY(printed->seen);
    QVERIFY(printed->preview);
    QCOMPARE(printed->title, QStringLiteral("Печать внутренней истории"));
    QCOMPARE(printed->templateName, QStringLiteral("device_events"));
    QCOMPARE(printed->recordCount, QList<int> {40});
    QCOMPARE(printed->value(QStringLiteral("deviceName")),
             QStringLiteral("КВР-ТМ4040#%1").arg(DeviceSerial));
    QCOMPARE(printed->value(QStringLiteral("details")),
             QStringLiteral("Внутренняя история прибора"));
    QCOMPARE(printed->value(QStringLiteral("date")), QStringLiteral("8 мар. 2026 – 15 мар. 2026"));
    for (int row : {0, 17, 39}) {
        for (int column = 0; column < 4; ++column) {
            const char *names[] = {"time", "event", "value", "channel"};
            QCOMPARE(printed->value(QLatin1String(names[column]), row),
                     table->item(row, column)->text());
        }
    }
    QCOMPARE(printed->value(QStringLiteral("channel"), 0), table->item(0, 3)->text());
    QVERIFY(printed->value(QStringLiteral("channel"), 0).toInt()
            < printed->value(QStringLiteral("channel"), 39).toInt());
    // Forty rows do not fit on one page.
    QVERIFY(printed->pages > 1);
    const QImage graph = printed->images.value(QStringLiteral("graph"));
    QCOMPARE(graph.size(), printSize(750, 320));
    qunsetenv("TM4040_LINK");
}

QTEST_MAIN(PagePrintTest)
#include "tst_pageprint.moc"
