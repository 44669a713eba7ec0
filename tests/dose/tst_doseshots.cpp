#include "common/TestDatabase.h"
#include "dose/ChartWidget.h"
#include "dose/ExceededThreshouldsDialog.h"
#include "dose/ThresholdEditDialog.h"
#include "dose/ThresholdListDialog.h"
#include "dose/ThresholdsWidget.h"

#include <QTableWidget>
#include <QtMath>
#include <QtTest>

// Builds every dose widget with sample data and checks that it paints. With
// ORVANE_SHOT_DIR set the pictures are saved there, to be looked at.
class TestDoseShots : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void charts();
    void thresholdBox();
    void thresholdDialogs();
    void exceededThresholds();

private:
    void shoot(QWidget *widget, const QString &name);
    void fillStore();

    QScopedPointer<TestSupport::TestDatabase> m_db;
    const QDate m_today {2024, 5, 20};
};

void TestDoseShots::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
}

void TestDoseShots::cleanup()
{
    m_db.reset();
}

void TestDoseShots::shoot(QWidget *widget, const QString &name)
{
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    QTest::qWait(50);
    const QPixmap picture = widget->grab();
    QVERIFY(!picture.isNull());
    const QString dir = qEnvironmentVariable("ORVANE_SHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(picture.save(dir + "/" + name + ".png"));
}

void TestDoseShots::charts()
{
    // A day of records every five minutes, a month and a year of daily doses.
    const QDateTime day(m_today, QTime(0, 0));
    ChartWidget::Series dose, rate;
    for (int i = 0; i < 24 * 12; ++i) {
        const QDateTime at = day.addSecs(i * 300);
        const double wave = 1 + 0.6 * qSin(i / 20.0);
        dose.append({at, 0.0009 * wave + (i % 7) * 0.0001});
        rate.append({at, 0.11 * wave + (i % 5) * 0.01});
    }
    ChartWidget dayChart;
    dayChart.setStyle(ChartWidget::DoseAndRate);
    dayChart.resize(760, 380);
    dayChart.setDoseData(dose, day, day.addDays(1));
    dayChart.setRateData(rate, day, day.addDays(1));
    shoot(&dayChart, "chart_dose_and_rate_day");

    const QDateTime month(QDate(2024, 5, 1), QTime(0, 0));
    ChartWidget::Series daily;
    for (int i = 0; i < 31; ++i)
        daily.append({month.addDays(i).addSecs(12 * 3600), 0.02 + 0.015 * qAbs(qSin(i / 3.0))});
    ChartWidget monthChart;
    monthChart.setStyle(ChartWidget::DoseStatistics);
    monthChart.resize(760, 380);
    monthChart.setDoseData(daily, month, month.addMonths(1));
    shoot(&monthChart, "chart_statistics_month");

    const QDateTime year(QDate(2024, 1, 1), QTime(0, 0));
    ChartWidget::Series yearly;
    for (int i = 0; i < 366; i += 2)
        yearly.append({year.addDays(i).addSecs(12 * 3600), 1.5 + qSin(i / 30.0)});
    ChartWidget yearChart;
    yearChart.resize(760, 380);
    yearChart.setDoseData(yearly, year, year.addYears(1));
    shoot(&yearChart, "chart_dose_only_year");

    ChartWidget week;
    week.setStyle(ChartWidget::DoseAndRate);
    week.resize(760, 380);
    week.setDoseData(daily.mid(10, 7), month.addDays(10), month.addDays(17));
    week.setRateData({}, month.addDays(10), month.addDays(17));
    shoot(&week, "chart_dose_and_rate_week_no_rates");

    ChartWidget empty;
    empty.setStyle(ChartWidget::DoseStatistics);
    empty.resize(500, 300);
    empty.setDoseData({}, day, day.addDays(1));
    shoot(&empty, "chart_statistics_empty");
}

void TestDoseShots::thresholdBox()
{
    ThresholdsWidget box;
    box.addBar("Суточный порог", QColor(254, 129, 30), 50);
    box.addBar("Недельный порог", QColor(136, 117, 250), 150);
    box.addBar("Годовой порог", QColor(115, 255, 137), 200);
    box.resize(255, 200);
    shoot(&box, "threshold_bars");
}

void TestDoseShots::fillStore()
{
    VDB::DataBase *db = m_db->db();
    QVERIFY(db->addGroup("Лаборатория №1", QString(), 0));
    QVERIFY(db->addGroup("Смена Б", QString(), 0));
    const SharedGroup lab = db->groups().at(db->groups().size() - 2);
    const SharedGroup shift = db->groups().last();
    const SharedUser a = m_db->addUser("Петров", "Алексей", {lab});
    const SharedUser b = m_db->addUser("Смирнова", "Ольга", {lab, shift});
    const SharedUser c = m_db->addUser("Кузнецов", "Игорь", {shift});
    const QDateTime now(m_today, QTime(9, 0));
    QVERIFY(m_db->insertEvents(a, {{now, 0.4}, {now.addDays(-3), 1.2}}));
    QVERIFY(m_db->insertEvents(b, {{now, 0.09}, {now.addDays(-20), 1500}}));
    QVERIFY(m_db->insertEvents(c, {{now, 0.02}}));

    QList<ThresholdChange> changes;
    const auto add = [&](const QString &name, bool isUser, int channel, quint16 period,
                         double value, const QList<SharedGroup> &groups) {
        ThresholdChange change;
        change.data.isUser = isUser;
        change.data.name = name;
        change.data.channel = channel;
        change.data.period = period;
        change.data.value = value;
        change.data.groups = groups;
        changes.append(change);
    };
    add("Суточный", true, 2, 1, 0.15, {});
    add("Недельный <контроль>", true, 2, 7, 1.0, {});
    add("Месячный", true, 1, 30, 20, {});
    add("Групповой недельный", false, 2, 7, 0.5, {lab, shift});
    add("Групповой месячный", false, 0, 30, 1000, {shift});
    QVERIFY(db->saveThresholds(changes));
}

void TestDoseShots::thresholdDialogs()
{
    fillStore();
    ThresholdListDialog list;
    shoot(&list, "threshold_list_users");
    list.findChild<QTabWidget *>("tabWidget")->setCurrentIndex(1);
    shoot(&list, "threshold_list_groups");

    ThresholdData group;
    group.isUser = false;
    group.name = "Групповой недельный";
    group.value = 0.5;
    group.period = 7;
    group.groups = {m_db->db()->groups().last()};
    ThresholdEditDialog groupEdit(&group);
    shoot(&groupEdit, "threshold_edit_group");

    ThresholdData user;
    user.name = "Суточный";
    user.value = 0.15;
    ThresholdEditDialog userEdit(&user);
    shoot(&userEdit, "threshold_edit_user");
}

void TestDoseShots::exceededThresholds()
{
    fillStore();
    ExceededThreshouldsDialog dialog(true);
    QVERIFY(dialog.findChild<QTableWidget *>("thresholdsTable")->rowCount() > 0);
    shoot(&dialog, "exceeded_thresholds");
}

QTEST_MAIN(TestDoseShots)
#include "tst_doseshots.moc"
