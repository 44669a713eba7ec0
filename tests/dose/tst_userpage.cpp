// qcustomplot.h uses Qt's foreach in its templates.
#undef QT_NO_FOREACH

#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "db/DoseUnits.h"
#include "dose/ChartWidget.h"
#include "dose/UserDetailsWidget.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <qcustomplot.h>

using TestSupport::TestDatabase;

// The user page's head, menu, day table and the data its charts are fed.
class UserPageTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void headOfUserWithoutDevice();
    void headOfOperatorWithDevice();
    void namesAreShownAsTyped();
    void datesStartFromTodayAndInterval();
    void menuCarriesTheUser();
    void menuSkipsMissingActions();
    void dayTableRowsAndStateTexts();
    void dayTableNewestFirstWithAssignments();
    void stateTextOrder_data();
    void stateTextOrder();
    void changeDayMovesOneDay();
    void emptyDayGivesEmptyTableAndChart();
    void chartsTakeDoseAndConvertedRate();
    void rateFollowsTheUnit();
    void monthAndYearWindows();
    void deviceButtonRefusedWithoutRight();

private:
    VDB::Event event(const QDateTime &when, int type, double value, double rate = 0) const;
    static QCustomPlot *plot(QWidget *page, const char *chart);
    static const QCPBars *bars(QCustomPlot *plot);

    QScopedPointer<TestDatabase> m_db;
    SharedUser m_user;
    const QDate m_today {2026, 3, 15};
};

const QCPBars *UserPageTest::bars(QCustomPlot *plot)
{
    for (int i = 0; plot && i < plot->plottableCount(); ++i) {
        if (const auto *bars = qobject_cast<const QCPBars *>(plot->plottable(i)))
            return bars;
    }
    return nullptr;
}

void UserPageTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
    m_db->db()->setCurrentUser(m_db->db()->users().first());
    m_user = m_db->addUser(QStringLiteral("Петров"), QStringLiteral("Пётр"),
                           {m_db->db()->groups().at(2)});
    QVERIFY(m_user);
}

void UserPageTest::cleanup()
{
    m_user.clear();
    m_db.reset();
}

VDB::Event UserPageTest::event(const QDateTime &when, int type, double value, double rate) const
{
    VDB::Event e;
    e.user = m_user;
    e.dateTime = when;
    e.deviceType = m_db->db()->deviceTypes().first();
    e.deviceSerial = 8009;
    e.eventType = type;
    e.value = value;
    e.medValue = rate;
    e.channel = 2;
    return e;
}

QCustomPlot *UserPageTest::plot(QWidget *page, const char *chart)
{
    auto *widget = page->findChild<ChartWidget *>(QLatin1String(chart));
    return widget ? widget->findChild<QCustomPlot *>() : nullptr;
}

void UserPageTest::headOfUserWithoutDevice()
{
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);

    auto *button = page.findChild<QPushButton *>("deviceButton");
    QCOMPARE(button->text(), QString::fromUtf8("Назначить прибор"));
    QVERIFY(!button->isEnabled()); // device use not allowed
    QCOMPARE(page.findChild<QLabel *>("userName")->text(), QString::fromUtf8("<s>Петров Пётр</s>"));
    QCOMPARE(page.findChild<QLabel *>("deviceDescriptionlabel")->text(),
             QString::fromUtf8("Не назначен"));
    QVERIFY(page.findChild<QLabel *>("isOperatorLabel")->isHidden());
    QVERIFY(page.findChild<QLabel *>("commentLabel")->isHidden());
    // The portrait placeholder stands in for a missing photo.
    const QString blank = QStringLiteral(":/images/resources/pics/blank_user.png");
    if (QFile::exists(blank))
        QVERIFY(!page.findChild<QLabel *>("userPicture")->pixmap(Qt::ReturnByValue).isNull());

    // A photo is scaled into the frame, keeping its shape.
    QPixmap photo(1000, 2000);
    photo.fill(Qt::darkGreen);
    m_user->photo = photo;
    page.setUser(m_user);
    const QPixmap shown = page.findChild<QLabel *>("userPicture")->pixmap(Qt::ReturnByValue);
    QVERIFY(!shown.isNull());
    QVERIFY(shown.height() <= page.findChild<QLabel *>("userPicture")->height());
    QCOMPARE(shown.width() * 2, shown.height());
}

void UserPageTest::headOfOperatorWithDevice()
{
    m_user->role = User::Operator;
    m_user->canUseDevice = true;
    m_user->comment = QStringLiteral("носит два прибора");
    QVERIFY(m_db->db()->assignDevice(m_user, m_db->db()->deviceTypes().first(), 12345678,
                                     QDateTime(m_today, QTime(8, 0)), QString()));

    UserDetailsWidget page(nullptr, nullptr);
    page.show();
    page.setUser(m_user);

    // A dosimeter's eight-digit serial number shows whole.
    auto *button = page.findChild<QPushButton *>("deviceButton");
    QCOMPARE(button->text(), QString::fromUtf8("Обработать данные для 'КВР-ТМ4040 #12345678'"));
    QCOMPARE(button->toolTip(), button->text());
    QVERIFY(button->isEnabled());
    QCOMPARE(page.findChild<QLabel *>("userName")->text(), QString::fromUtf8("Петров Пётр"));
    QCOMPARE(page.findChild<QLabel *>("deviceDescriptionlabel")->text(),
             QString::fromUtf8("КВР-ТМ4040 #12345678"));
    QVERIFY(page.findChild<QLabel *>("isOperatorLabel")->isVisible());
    auto *comment = page.findChild<QLabel *>("commentLabel");
    QVERIFY(comment->isVisible());
    QCOMPARE(comment->text(), m_user->comment);

    // A long type name is shortened; the serial number is not.
    DeviceType *type = m_db->db()->deviceTypes().first();
    const QString name = type->name;
    type->name = QStringLiteral("Дозиметр индивидуальный электронный носимый ") + name;
    page.setUser(m_user);
    QVERIFY2(button->text().contains(QChar(0x2026)), qPrintable(button->text()));
    QVERIFY(button->text().endsWith(QStringLiteral(" #12345678'")));
    QVERIFY(button->toolTip().contains(type->name));
    type->name = name;
}

void UserPageTest::namesAreShownAsTyped()
{
    m_user->surname = QStringLiteral("<b>O'Brien</b>; DROP TABLE Users");
    m_user->canUseDevice = true;
    m_user->comment = QStringLiteral("<i>not markup</i>");
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    auto *name = page.findChild<QLabel *>("userName");
    QTextDocument document;
    document.setHtml(name->text());
    QCOMPARE(document.toPlainText(), m_user->fullName());
    QCOMPARE(page.findChild<QLabel *>("commentLabel")->textFormat(), Qt::PlainText);
}

void UserPageTest::datesStartFromTodayAndInterval()
{
    UserDetailsWidget page(nullptr, nullptr);
    QCOMPARE(page.findChild<QDateEdit *>("dayDateEdit")->date(), m_today);
    QCOMPARE(page.findChild<QDateEdit *>("monthDateEdit")->date(), m_today);
    QCOMPARE(page.findChild<QDateEdit *>("yearDateEdit")->date(), m_today);
    QCOMPARE(page.findChild<QDateEdit *>("endDateEdit")->date(), m_today);
    QCOMPARE(page.findChild<QDateEdit *>("startDateEdit")->date(), m_today.addDays(-7));
    // The month on its own, in the nominative.
    QCOMPARE(page.findChild<QDateEdit *>("monthDateEdit")->text(), QString::fromUtf8("март 2026"));
    for (const char *name : {"dayDateEdit", "startDateEdit", "endDateEdit"})
        QCOMPARE(page.findChild<QDateEdit *>(name)->calendarWidget()->firstDayOfWeek(), Qt::Monday);
    auto *tabs = page.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(3), QString::fromUtf8("Период"));
    QCOMPARE(page.findChild<ChartWidget *>("dayChartWidget")->style(), ChartWidget::DoseAndRate);
    for (const char *name : {"monthChartWidget", "yearChartWidget", "rangeChartWidget"})
        QCOMPARE(page.findChild<ChartWidget *>(name)->style(), ChartWidget::DosePerPeriodAndRate);
}

void UserPageTest::menuCarriesTheUser()
{
    QAction edit(QStringLiteral("Редактировать"), nullptr);
    QAction del(QStringLiteral("Удалить"), nullptr);
    UserDetailsWidget page(&edit, &del);
    page.setUser(m_user);
    QMenu *menu = page.findChild<QPushButton *>("userMenuButton")->menu();
    QVERIFY(menu);
    QCOMPARE(menu->actions(), (QList<QAction *> {&edit, &del}));
    emit menu->aboutToShow();
    QCOMPARE(edit.data().value<SharedUser>(), m_user);
    QCOMPARE(del.data().value<SharedUser>(), m_user);
}

void UserPageTest::menuSkipsMissingActions()
{
    QAction del(QStringLiteral("Удалить"), nullptr);
    UserDetailsWidget page(nullptr, &del);
    QMenu *menu = page.findChild<QPushButton *>("userMenuButton")->menu();
    QCOMPARE(menu->actions(), QList<QAction *> {&del});
}

void UserPageTest::dayTableRowsAndStateTexts()
{
    VDB::Event first = event(QDateTime(m_today, QTime(9, 5, 7)), 200, 0.0126, 0.15);
    first.eventNumber = 17;
    first.batteryLow = true;
    first.detectorFault = true;
    first.comment = QStringLiteral("первое");
    VDB::Event second = event(QDateTime(m_today, QTime(10, 0)), 300, 1.5);
    second.eventNumber = 18;
    VDB::Event yesterday = event(QDateTime(m_today.addDays(-1), QTime(23, 59, 59)), 200, 1);
    VDB::Event tomorrow = event(QDateTime(m_today.addDays(1), QTime(0, 0)), 200, 1);
    QVERIFY(m_db->db()->addEvents({yesterday, first, second, tomorrow}));

    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    auto *table = page.findChild<QTableWidget *>("historyTableWidget");
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->horizontalHeaderItem(3)->text(), QString::fromUtf8("МЭД, мкЗв/ч"));
    QVERIFY(table->columnWidth(5) >= 130);
    // A dosimeter's eight-digit serial number fits its column.
    QVERIFY(table->columnWidth(1)
            > table->fontMetrics().horizontalAdvance(QStringLiteral("КВР-ТМ4040 #12345678")));
    // The day's events only, newest insertion first.
    QCOMPARE(table->rowCount(), 2);
    const QStringList newest = {QStringLiteral("15 мар. 2026 10:00:00"),
                                QString::fromUtf8("КВР-ТМ4040 #8009"),
                                QStringLiteral("1.500"),
                                QStringLiteral("0.00"),
                                QStringLiteral("18"),
                                QString::fromUtf8("Норма"),
                                QString()};
    const QStringList oldest = {QStringLiteral("15 мар. 2026 09:05:07"),
                                QString::fromUtf8("КВР-ТМ4040 #8009"),
                                QStringLiteral("0.013"),
                                QStringLiteral("0.15"),
                                QStringLiteral("17"),
                                QString::fromUtf8("Батарея Датчик "),
                                QString::fromUtf8("первое")};
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(table->item(0, column)->text(), newest.at(column));
        QCOMPARE(table->item(1, column)->text(), oldest.at(column));
    }
}

void UserPageTest::dayTableNewestFirstWithAssignments()
{
    // Stored out of time order, and an assignment that is no reading.
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(10, 0)), 200, 0.5)}));
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(8, 0)), 200, 0.25),
                                   event(QDateTime(m_today, QTime(9, 0)), 100, 0)}));
    Options options = m_db->db()->options();
    options.units = DoseUnits::Roentgen;
    QVERIFY(m_db->db()->updateOptions(options));

    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    auto *table = page.findChild<QTableWidget *>("historyTableWidget");
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(table->item(0, 0)->text().endsWith("10:00:00"));
    QVERIFY(table->item(1, 0)->text().endsWith("09:00:00"));
    QVERIFY(table->item(2, 0)->text().endsWith("08:00:00"));
    QCOMPARE(table->item(1, 2)->text(), QString());
    QCOMPARE(table->item(1, 5)->text(), QString::fromUtf8("Прибор назначен"));
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("25.000"));
    // The dose heading names the unit the numbers are in.
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QString::fromUtf8("ЭД, мР"));
    options.units = DoseUnits::Sievert;
    QVERIFY(m_db->db()->updateOptions(options));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QString::fromUtf8("ЭД, мЗв"));
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("0.250"));
}

void UserPageTest::stateTextOrder_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << QString::fromUtf8("Норма");
    QTest::newRow("all") << 63 << QString::fromUtf8("ЭД↑ МЭД↑ Батарея Память Датчик ВВ ");
    QTest::newRow("rate and hv") << (2 | 32) << QString::fromUtf8("МЭД↑ ВВ ");
    QTest::newRow("memory") << 8 << QString::fromUtf8("Память ");
}

void UserPageTest::stateTextOrder()
{
    QFETCH(int, flags);
    QFETCH(QString, text);
    VDB::Event e;
    e.edThreshold = flags & 1;
    e.medThreshold = flags & 2;
    e.batteryLow = flags & 4;
    e.memoryFault = flags & 8;
    e.detectorFault = flags & 16;
    e.hvFault = flags & 32;
    QCOMPARE(UserDetailsWidget::stateText(e), text);
}

void UserPageTest::changeDayMovesOneDay()
{
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today.addDays(-1), QTime(12, 0)), 200, 1)}));
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    auto *day = page.findChild<QDateEdit *>("dayDateEdit");
    auto *table = page.findChild<QTableWidget *>("historyTableWidget");
    QCOMPARE(table->rowCount(), 0);
    QTest::mouseClick(page.findChild<QPushButton *>("prevDayPushButton"), Qt::LeftButton);
    QCOMPARE(day->date(), m_today.addDays(-1));
    QCOMPARE(table->rowCount(), 1);
    QTest::mouseClick(page.findChild<QPushButton *>("nextDayPushButton"), Qt::LeftButton);
    QTest::mouseClick(page.findChild<QPushButton *>("nextDayPushButton"), Qt::LeftButton);
    QCOMPARE(day->date(), m_today.addDays(1));
    QCOMPARE(table->rowCount(), 0);
}

void UserPageTest::emptyDayGivesEmptyTableAndChart()
{
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    QCOMPARE(page.findChild<QTableWidget *>("historyTableWidget")->rowCount(), 0);
    QCustomPlot *day = plot(&page, "dayChartWidget");
    QVERIFY(day);
    QCOMPARE(day->graph(0)->dataCount(), 0);
    QCOMPARE(day->graph(1)->dataCount(), 0);
    QCOMPARE(day->xAxis->range().lower, double(QDateTime(m_today, QTime(0, 0)).toSecsSinceEpoch()));
    QCOMPARE(day->xAxis->range().upper,
             double(QDateTime(m_today.addDays(1), QTime(0, 0)).toSecsSinceEpoch()));
}

void UserPageTest::chartsTakeDoseAndConvertedRate()
{
    // On the day chart a measurement gives a dose point and a rate point
    // (µSv/h -> mSv/h), no rate point when it has no rate; a dose record
    // gives a rate point with its dose; other types nothing.
    const QDateTime t1(m_today, QTime(8, 0));
    const QDateTime t2(m_today, QTime(9, 0));
    const QDateTime t3(m_today, QTime(10, 0));
    const QDateTime t4(m_today, QTime(11, 0));
    QVERIFY(m_db->db()->addEvents({event(t1, 200, 0.002, 0.15), event(t2, 300, 0.4),
                                   event(t3, 350, 7, 7), event(t4, 200, 0.003, 0)}));
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    {
        QCustomPlot *p = plot(&page, "dayChartWidget");
        QVERIFY(p);
        QCOMPARE(p->graph(0)->dataCount(), 2);
        QCOMPARE(p->graph(0)->data()->at(0)->key, double(t1.toSecsSinceEpoch()));
        QCOMPARE(p->graph(0)->data()->at(0)->value, 0.002);
        QCOMPARE(p->graph(0)->data()->at(1)->value, 0.003);
        QCOMPARE(p->graph(1)->dataCount(), 2);
        // Oldest first.
        QCOMPARE(p->graph(1)->data()->at(0)->key, double(t1.toSecsSinceEpoch()));
        QCOMPARE(p->graph(1)->data()->at(0)->value, 0.00015);
        QCOMPARE(p->graph(1)->data()->at(1)->value, 0.4);
    }
}

void UserPageTest::rateFollowsTheUnit()
{
    Options options = m_db->db()->options();
    options.units = DoseUnits::Roentgen;
    QVERIFY(m_db->db()->updateOptions(options));
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(8, 0)), 200, 0.002, 0.15)}));
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    QCustomPlot *day = plot(&page, "dayChartWidget");
    // 0.15 µSv/h = 0.00015 mSv/h = 0.015 mR/h; 0.002 mSv = 0.2 mR.
    QCOMPARE(day->graph(0)->data()->at(0)->value, 0.2);
    QCOMPARE(day->graph(1)->data()->at(0)->value, 0.015);
}

// The month chart has a bar per day, the year chart one per month: the dose
// of record, here the rise of the counter (the first reading is the start).
void UserPageTest::monthAndYearWindows()
{
    QVERIFY(m_db->db()->addEvents({event(QDateTime(QDate(2025, 11, 30), QTime(23, 0)), 200, 1),
                                   event(QDateTime(QDate(2025, 12, 1), QTime(0, 0)), 200, 2),
                                   event(QDateTime(QDate(2025, 12, 31), QTime(23, 59)), 200, 3),
                                   event(QDateTime(QDate(2026, 1, 1), QTime(0, 0)), 200, 4)}));
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    page.findChild<QDateEdit *>("monthDateEdit")->setDate(QDate(2025, 12, 10));
    page.findChild<QDateEdit *>("yearDateEdit")->setDate(QDate(2025, 5, 10));
    QCustomPlot *month = plot(&page, "monthChartWidget");
    const QCPBars *days = bars(month);
    QVERIFY(days);
    QCOMPARE(days->dataCount(), 31);
    QCOMPARE(days->data()->at(0)->value, 1.0);
    QCOMPARE(days->data()->at(1)->value, 0.0);
    QCOMPARE(days->data()->at(30)->value, 1.0);
    QCOMPARE(days->data()->at(0)->key,
             double(QDateTime(QDate(2025, 12, 1), QTime(12, 0)).toSecsSinceEpoch()));
    QCOMPARE(page.findChild<QLabel *>("monthTotalLabel")->text(),
             QStringLiteral("Итого: 2,000 мЗв"));
    QCOMPARE(month->xAxis->range().lower,
             double(QDateTime(QDate(2025, 12, 1), QTime(0, 0)).toSecsSinceEpoch()));
    QCOMPARE(month->xAxis->range().upper,
             double(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch()));
    QCustomPlot *year = plot(&page, "yearChartWidget");
    const QCPBars *months = bars(year);
    QVERIFY(months);
    QCOMPARE(months->dataCount(), 12);
    QCOMPARE(months->data()->at(10)->value, 0.0);
    QCOMPARE(months->data()->at(11)->value, 2.0);
    QCOMPARE(page.findChild<QLabel *>("yearTotalLabel")->text(),
             QStringLiteral("Итого: 2,000 мЗв"));
    QCOMPARE(year->xAxis->range().lower,
             double(QDateTime(QDate(2025, 1, 1), QTime(0, 0)).toSecsSinceEpoch()));
    QCOMPARE(year->xAxis->range().upper,
             double(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch()));
}

void UserPageTest::deviceButtonRefusedWithoutRight()
{
    // An operator of "Пользователи" (no rights) may not assign devices.
    SharedUser operatorUser
        = m_db->addUser(QStringLiteral("Оператор"), QStringLiteral("Олег"),
                        {m_db->db()->groups().at(2)}, User::Operator, QStringLiteral("oleg"));
    QVERIFY(operatorUser);
    m_db->db()->setCurrentUser(operatorUser);
    m_user->canUseDevice = true;
    UserDetailsWidget page(nullptr, nullptr);
    page.setUser(m_user);
    auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    page.findChild<QPushButton *>("deviceButton")->click();
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QString::fromUtf8("Сообщение системы безопасности"));
}

QTEST_MAIN(UserPageTest)
#include "tst_userpage.moc"
