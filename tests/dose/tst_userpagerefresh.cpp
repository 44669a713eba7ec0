// qcustomplot.h uses Qt's foreach in its templates.
#undef QT_NO_FOREACH

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"
#include "dose/ChartWidget.h"
#include "dose/ThresholdBar.h"
#include "dose/ThresholdsWidget.h"
#include "dose/UserDetailsWidget.h"

#include <QDateEdit>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>
#include <qcustomplot.h>

using TestSupport::TestDatabase;

// Which parts of the user page follow which signal of the data store.
class UserPageRefreshTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void historyRefreshesAllButThePeriodChart();
    void periodChartFollowsItsDates();
    void thresholdsFollowThresholdsUpdated();
    void onlyUserThresholdsAreBars();
    void colourChangeRefreshesOnlyTheBars();
    void unitChangeReadsDosesAgain();
    void nothingHappensWithoutUser();

private:
    VDB::Event event(const QDateTime &when, int type, double value) const;
    void addThreshold(bool isUser, double value, quint16 period,
                      const QList<SharedGroup> &groups = {});
    int points(const char *chart, int graph = 0) const;
    // The bars of a chart of the dose of record: how many are above zero,
    // and the one of `day`.
    int doseBars(const char *chart) const;
    double barOn(const char *chart, const QDate &day) const;
    QCPBars *barsOf(const char *chart) const;
    QTableWidget *table() const;
    ThresholdsWidget *bars() const;

    QScopedPointer<TestDatabase> m_db;
    QScopedPointer<UserDetailsWidget> m_page;
    SharedUser m_user;
    const QDate m_today {2026, 6, 10};
};

void UserPageRefreshTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
    m_user = m_db->addUser(QStringLiteral("Сидоров"), QStringLiteral("Сидор"),
                           {m_db->db()->groups().at(2)});
    QVERIFY(m_user);
    m_page.reset(new UserDetailsWidget(nullptr, nullptr));
}

void UserPageRefreshTest::cleanup()
{
    m_page.reset();
    m_user.clear();
    m_db.reset();
}

VDB::Event UserPageRefreshTest::event(const QDateTime &when, int type, double value) const
{
    VDB::Event e;
    e.user = m_user;
    e.dateTime = when;
    e.deviceType = m_db->db()->deviceTypes().first();
    e.deviceSerial = 8009;
    e.eventType = type;
    e.value = value;
    e.channel = 2;
    return e;
}

void UserPageRefreshTest::addThreshold(bool isUser, double value, quint16 period,
                                       const QList<SharedGroup> &groups)
{
    ThresholdChange change;
    change.action = ThresholdChange::Add;
    change.data.isUser = isUser;
    change.data.name = isUser ? QStringLiteral("Личный") : QStringLiteral("Групповой");
    change.data.value = value;
    change.data.period = period;
    change.data.groups = groups;
    QVERIFY(m_db->db()->saveThresholds({change}));
}

int UserPageRefreshTest::points(const char *chart, int graph) const
{
    auto *widget = m_page->findChild<ChartWidget *>(QLatin1String(chart));
    auto *plot = widget ? widget->findChild<QCustomPlot *>() : nullptr;
    return plot ? plot->graph(graph)->dataCount() : -1;
}

QCPBars *UserPageRefreshTest::barsOf(const char *chart) const
{
    auto *widget = m_page->findChild<ChartWidget *>(QLatin1String(chart));
    auto *plot = widget ? widget->findChild<QCustomPlot *>() : nullptr;
    for (int i = 0; plot && i < plot->plottableCount(); ++i) {
        if (auto *bars = qobject_cast<QCPBars *>(plot->plottable(i)))
            return bars;
    }
    return nullptr;
}

int UserPageRefreshTest::doseBars(const char *chart) const
{
    const QCPBars *bars = barsOf(chart);
    int count = 0;
    for (int i = 0; bars && i < bars->dataCount(); ++i)
        count += bars->data()->at(i)->value > 0 ? 1 : 0;
    return bars ? count : -1;
}

double UserPageRefreshTest::barOn(const char *chart, const QDate &day) const
{
    const QCPBars *bars = barsOf(chart);
    const double key = double(QDateTime(day, QTime(12, 0)).toSecsSinceEpoch());
    for (int i = 0; bars && i < bars->dataCount(); ++i) {
        if (bars->data()->at(i)->key == key)
            return bars->data()->at(i)->value;
    }
    return -1;
}

QTableWidget *UserPageRefreshTest::table() const
{
    return m_page->findChild<QTableWidget *>("historyTableWidget");
}

ThresholdsWidget *UserPageRefreshTest::bars() const
{
    return m_page->findChild<ThresholdsWidget *>("thresholdsListWidget");
}

void UserPageRefreshTest::historyRefreshesAllButThePeriodChart()
{
    addThreshold(true, 1.0, 7);
    m_page->setUser(m_user);
    QCOMPARE(bars()->barCount(), 1);
    QCOMPARE(bars()->bar(0)->percentage(), 0.0);
    QCOMPARE(table()->rowCount(), 0);

    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(9, 0)), 300, 0.5),
                                   event(QDateTime(m_today, QTime(9, 1)), 200, 0.01)}));
    QCOMPARE(bars()->barCount(), 1);
    QCOMPARE(bars()->bar(0)->percentage(), 50.0);
    QCOMPARE(table()->rowCount(), 2);
    QCOMPARE(points("dayChartWidget"), 1);
    QCOMPARE(points("dayChartWidget", 1), 1);
    QCOMPARE(doseBars("monthChartWidget"), 1);
    QCOMPARE(doseBars("yearChartWidget"), 1);
    // Today lies in the period, but the period chart waits for its dates.
    QCOMPARE(doseBars("rangeChartWidget"), 0);
    QCOMPARE(points("rangeChartWidget", 1), 0);
}

void UserPageRefreshTest::periodChartFollowsItsDates()
{
    m_page->setUser(m_user);
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(9, 0)), 200, 0.01),
                                   event(QDateTime(m_today.addDays(-3), QTime(9, 0)), 200, 0.01)}));
    // The rate line has a point for each day with readings.
    QCOMPARE(points("rangeChartWidget", 1), 0);
    m_page->findChild<QDateEdit *>("startDateEdit")->setDate(m_today.addDays(-2));
    QCOMPARE(points("rangeChartWidget", 1), 1);
    m_page->findChild<QDateEdit *>("endDateEdit")->setDate(m_today.addDays(-1));
    QCOMPARE(points("rangeChartWidget", 1), 0);
    m_page->findChild<QDateEdit *>("startDateEdit")->setDate(m_today.addDays(-30));
    QCOMPARE(points("rangeChartWidget", 1), 1);
}

void UserPageRefreshTest::thresholdsFollowThresholdsUpdated()
{
    m_page->setUser(m_user);
    QVERIFY(bars()->isHidden());
    // Events written behind the store's back: only a signal makes the page look.
    QVERIFY(m_db->insertEvents(m_user, {{QDateTime(m_today, QTime(8, 0)), 3.0}}));
    addThreshold(true, 2.0, 1);
    QVERIFY(!bars()->isHidden());
    QCOMPARE(bars()->barCount(), 1);
    QCOMPARE(bars()->barName(0), QString::fromUtf8("Личный"));
    QCOMPARE(bars()->bar(0)->percentage(), 150.0);
    QCOMPARE(bars()->bar(0)->color(), m_db->db()->options().edColor(2));
    // The day table and the charts were not read again.
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(points("dayChartWidget", 1), 0);
}

void UserPageRefreshTest::onlyUserThresholdsAreBars()
{
    addThreshold(false, 1.0, 7, {m_db->db()->groups().at(2)});
    m_page->setUser(m_user);
    QVERIFY(bars()->isHidden());
    QCOMPARE(bars()->barCount(), 0);
    addThreshold(true, 1.0, 7);
    QCOMPARE(bars()->barCount(), 1);
}

void UserPageRefreshTest::colourChangeRefreshesOnlyTheBars()
{
    addThreshold(true, 1.0, 7);
    m_page->setUser(m_user);
    QVERIFY(m_db->insertEvents(m_user, {{QDateTime(m_today, QTime(8, 0)), 0.25}}));
    Options options = m_db->db()->options();
    options.edColors[2] = QColor(10, 20, 30);
    QVERIFY(m_db->db()->updateOptions(options));
    QCOMPARE(bars()->bar(0)->color(), QColor(10, 20, 30));
    QCOMPARE(bars()->bar(0)->percentage(), 25.0);
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(points("monthChartWidget", 1), 0);
}

void UserPageRefreshTest::unitChangeReadsDosesAgain()
{
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(9, 0)), 200, 0.5),
                                   event(QDateTime(m_today, QTime(9, 5)), 300, 0.5)}));
    m_page->setUser(m_user);
    QCOMPARE(table()->item(0, 2)->text(), QStringLiteral("0.500"));
    Options options = m_db->db()->options();
    options.units = DoseUnits::Rem;
    QVERIFY(m_db->db()->updateOptions(options));
    // Doses are read in the display unit: the old numbers under the new unit
    // would be a hundred times too small.
    QCOMPARE(table()->item(0, 2)->text(), QStringLiteral("50.000"));
    auto *day = m_page->findChild<ChartWidget *>("dayChartWidget")->findChild<QCustomPlot *>();
    QCOMPARE(day->graph(0)->data()->at(0)->value, 50.0);
    for (const char *chart : {"monthChartWidget", "rangeChartWidget"})
        QCOMPARE(barOn(chart, m_today), 50.0);
    QCOMPARE(m_page->findChild<QLabel *>("yearTotalLabel")->text(),
             QStringLiteral("Итого: 50,000 мРем"));
}

void UserPageRefreshTest::nothingHappensWithoutUser()
{
    addThreshold(true, 1.0, 7);
    QVERIFY(m_db->db()->addEvents({event(QDateTime(m_today, QTime(9, 0)), 200, 0.5)}));
    QVERIFY(bars()->isHidden());
    QCOMPARE(table()->rowCount(), 0);
    m_page->findChild<QDateEdit *>("startDateEdit")->setDate(m_today.addDays(-1));
    QCOMPARE(barsOf("rangeChartWidget")->dataCount(), 0);
}

QTEST_MAIN(UserPageRefreshTest)
#include "tst_userpagerefresh.moc"
