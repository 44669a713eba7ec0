#include "dose/ChartTicks.h"

#include <QtTest>

using namespace ChartTicks;

class TestChartTicks : public QObject
{
    Q_OBJECT
private slots:
    void niceStepTable_data();
    void niceStepTable();
    void valueTicksReachTop();
    void valueTicksOfEmptyOrBrokenRange();
    void proportionalTicksMatchLeftHeights();
    void proportionalTicksWithoutUsableLeftTicks();
    void timeScaleBranches_data();
    void timeScaleBranches();
    void dayTicksAreLocalMidnights();
    void monthTicksAreFirstsOfMonths();
    void hourStepFitsLabels();
    void hourStepFallbacks();
    void emptyRangeGivesOneTickAndNoNegativeSubTicks();
    void rotatedLabelsAreThinnedOnNarrowAxes();
};

void TestChartTicks::niceStepTable_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("step");
    QTest::newRow("zero") << 0.0 << 1e-6;
    QTest::newRow("negative") << -5.0 << 1e-6;
    QTest::newRow("tiny") << 1e-9 << 1e-6;
    QTest::newRow("exact 1e-6") << 1e-6 << 1e-6;
    QTest::newRow("just above 1e-6") << 1.1e-6 << 5e-6;
    QTest::newRow("no 0.0025") << 0.002 << 0.005;
    QTest::newRow("exact 0.001") << 0.001 << 0.001;
    QTest::newRow("0.02") << 0.02 << 0.025;
    QTest::newRow("no 2.5") << 1.5 << 5.0;
    QTest::newRow("exact 1") << 1.0 << 1.0;
    QTest::newRow("7") << 7.0 << 10.0;
    QTest::newRow("300") << 300.0 << 500.0;
    QTest::newRow("exact 100000") << 100000.0 << 100000.0;
    QTest::newRow("above 100000") << 100001.0 << 500000.0;
    QTest::newRow("far above") << 1e9 << 500000.0;
}

void TestChartTicks::niceStepTable()
{
    QFETCH(double, x);
    QFETCH(double, step);
    // x is total / count; count 1 keeps x as it is, count 4 divides.
    QCOMPARE(niceStep(x, 1), step);
    QCOMPARE(niceStep(x * 4, 4), step);
}

void TestChartTicks::valueTicksReachTop()
{
    // Left axis 0 ... 1 (empty chart) with 8 ticks: step 0.25.
    QCOMPARE(valueTicks(1.0, 8), (QVector<double> {0, 0.25, 0.5, 0.75, 1.0}));
    // 1.05 * 0.3 = 0.315, step 0.05: the last tick stays under the top.
    const QVector<double> ticks = valueTicks(0.315, 8);
    QCOMPARE(ticks.size(), 7);
    QCOMPARE(ticks.last(), 0.3);
    // Ticks land exactly on the top when it is a multiple of the step.
    QCOMPARE(valueTicks(0.3, 3).last(), 0.3);
    QCOMPARE(valueTickCount(400, 13), 13);
    QCOMPARE(valueTickCount(50, 13), 8);
    QCOMPARE(valueTickCount(400, 0), 8);
}

void TestChartTicks::valueTicksOfEmptyOrBrokenRange()
{
    QCOMPARE(valueTicks(0, 8), QVector<double> {0});
    QCOMPARE(valueTicks(-1, 8), QVector<double> {0});
    QCOMPARE(valueTicks(qQNaN(), 8), QVector<double> {0});
    QCOMPARE(valueTicks(qInf(), 8), QVector<double> {0});
    // Below the smallest step only 0 remains.
    QCOMPARE(valueTicks(1e-7, 8), QVector<double> {0});
}

void TestChartTicks::proportionalTicksMatchLeftHeights()
{
    // Left 0 ... 1.05 with ticks up to 1.0 in steps of 0.25; right 0 ... 21.
    const QVector<double> left {0, 0.25, 0.5, 0.75, 1.0};
    const QVector<double> right = proportionalTicks(21, left, 1.05);
    QCOMPARE(right.size(), 5);
    for (int i = 0; i < left.size(); ++i)
        QVERIFY(qAbs(right.at(i) / 21 - left.at(i) / 1.05) < 1e-12);
}

void TestChartTicks::proportionalTicksWithoutUsableLeftTicks()
{
    QCOMPARE(proportionalTicks(5, {0}, 1), QVector<double> {0});
    QCOMPARE(proportionalTicks(5, {}, 1), QVector<double> {0});
    QCOMPARE(proportionalTicks(0, {0, 1}, 1), QVector<double> {0});
    QCOMPARE(proportionalTicks(5, {0, 1}, 0), QVector<double> {0});
    QCOMPARE(proportionalTicks(qInf(), {0, 1}, 1), QVector<double> {0});
}

void TestChartTicks::timeScaleBranches_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("rotated");
    QTest::newRow("1 day") << 1 << int(TimeScale::Hours) << "H:mm" << false;
    QTest::newRow("3 days") << 3 << int(TimeScale::Hours) << "H:mm" << false;
    QTest::newRow("4 days") << 4 << int(TimeScale::Days) << "d MMM" << true;
    QTest::newRow("90 days") << 90 << int(TimeScale::Days) << "d MMM" << true;
    QTest::newRow("91 days") << 91 << int(TimeScale::Months) << "MMM yyyy" << true;
}

void TestChartTicks::timeScaleBranches()
{
    QFETCH(int, days);
    QFETCH(int, scale);
    QFETCH(QString, format);
    QFETCH(bool, rotated);
    const QDateTime from(QDate(2024, 1, 1), QTime(0, 0));
    const QDateTime to = from.addDays(days);
    QCOMPARE(wholeDays(from, to), days);
    const TimeTicks t
        = timeTicks(from, to, 4000, 30, 14, QLocale(QLocale::Russian, QLocale::Russia));
    QCOMPARE(int(t.scale), scale);
    QCOMPARE(t.format, format);
    QCOMPARE(t.rotated, rotated);
    QCOMPARE(t.ticks.size(), t.labels.size());
    QVERIFY(!t.ticks.isEmpty());
    QCOMPARE(t.ticks.first(), double(from.toSecsSinceEpoch()));
    QVERIFY(t.subTicks >= 0);
}

void TestChartTicks::dayTicksAreLocalMidnights()
{
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QDateTime from(QDate(2024, 3, 1), QTime(0, 0));
    const TimeTicks t = timeTicks(from, from.addDays(31), 2000, 30, 14, ru);
    QCOMPARE(t.ticks.size(), 32);
    QCOMPARE(t.subTicks, 0);
    for (int i = 0; i < t.ticks.size(); ++i) {
        const QDateTime tick = QDateTime::fromSecsSinceEpoch(qint64(t.ticks.at(i)));
        QCOMPARE(tick.time(), QTime(0, 0));
        QCOMPARE(tick.date(), from.date().addDays(i));
        QCOMPARE(t.labels.at(i), ru.toString(tick, "d MMM"));
    }
    QVERIFY(t.labels.first().startsWith("1 "));
}

void TestChartTicks::monthTicksAreFirstsOfMonths()
{
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QDateTime from(QDate(2023, 1, 1), QTime(0, 0));
    const TimeTicks t
        = timeTicks(from, QDateTime(QDate(2024, 1, 1), QTime(0, 0)), 2000, 30, 14, ru);
    QCOMPARE(t.ticks.size(), 13);
    QSet<QString> labels;
    for (int i = 0; i < t.ticks.size(); ++i) {
        const QDateTime tick = QDateTime::fromSecsSinceEpoch(qint64(t.ticks.at(i)));
        QCOMPARE(tick.date(), QDate(2023, 1, 1).addMonths(i));
        labels.insert(t.labels.at(i));
    }
    // Every month once: no label twice, none skipped.
    QCOMPARE(labels.size(), 13);
    QCOMPARE(t.labels.last(), ru.toString(QDate(2024, 1, 1), "MMM yyyy"));
}

void TestChartTicks::hourStepFitsLabels()
{
    // 24 hours, labels 35 px wide on 500 px: 14 fit, so every 2 hours.
    QCOMPARE(hourStep(24, 500, 35), 2);
    QCOMPARE(hourStep(24, 2000, 35), 1);
    QCOMPARE(hourStep(72, 500, 35), 6);
    const QDateTime from(QDate(2024, 5, 10), QTime(0, 0));
    const TimeTicks t
        = timeTicks(from, from.addDays(1), 500, 35, 14, QLocale(QLocale::Russian, QLocale::Russia));
    QCOMPARE(t.subTicks, 1);
    QCOMPARE(t.ticks.size(), 13);
    QCOMPARE(t.labels.first(), QString("0:00"));
    QCOMPARE(t.labels.at(1), QString("2:00"));
    QCOMPARE(t.labels.last(), QString("0:00"));
    QCOMPARE(t.ticks.at(1) - t.ticks.at(0), 7200.0);
}

void TestChartTicks::hourStepFallbacks()
{
    // Narrower than one label: one tick at each end of the range.
    QCOMPARE(hourStep(24, 20, 35), 24);
    QCOMPARE(hourStep(24, 0, 35), 24);
    QCOMPARE(hourStep(24, 500, 0), 1);
    QCOMPARE(hourStep(0, 500, 35), 1);
    const QDateTime from(QDate(2024, 5, 10), QTime(0, 0));
    const TimeTicks t
        = timeTicks(from, from.addDays(1), 10, 35, 14, QLocale(QLocale::Russian, QLocale::Russia));
    QCOMPARE(t.ticks.size(), 2);
    QCOMPARE(t.subTicks, 23);
}

void TestChartTicks::emptyRangeGivesOneTickAndNoNegativeSubTicks()
{
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QDateTime at(QDate(2024, 5, 10), QTime(0, 0));
    TimeTicks t = timeTicks(at, at, 500, 35, 14, ru);
    QCOMPARE(t.scale, TimeScale::Hours);
    QCOMPARE(t.subTicks, 0);
    QCOMPARE(t.ticks.size(), 1);
    t = timeTicks(at, at.addSecs(-3600), 500, 35, 14, ru);
    QCOMPARE(t.subTicks, 0);
    QVERIFY(t.ticks.isEmpty());
    t = timeTicks(QDateTime(), QDateTime(), 500, 35, 14, ru);
    QCOMPARE(t.subTicks, 0);
    QVERIFY(t.ticks.isEmpty());
}

void TestChartTicks::rotatedLabelsAreThinnedOnNarrowAxes()
{
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QDateTime from(QDate(2024, 1, 1), QTime(0, 0));
    // 91 midnights (90 days) of 14 px labels on 300 px: 21 fit, so only
    // every 7th day is labelled and the others become sub-ticks.
    TimeTicks t = timeTicks(from, from.addDays(90), 300, 35, 14, ru);
    QCOMPARE(t.scale, TimeScale::Days);
    QCOMPARE(t.ticks.size(), 13); // 91 candidates, every 7th
    QCOMPARE(t.subTicks, 6);
    QCOMPARE(t.ticks.at(1) - t.ticks.at(0), 7 * 86400.0);
    // Ten years of months on 300 px: every 6th month.
    t = timeTicks(from, from.addYears(10), 300, 35, 14, ru);
    QCOMPARE(t.scale, TimeScale::Months);
    QVERIFY(t.ticks.size() * 14 <= 300);
    QCOMPARE(t.subTicks, 5);
}

QTEST_GUILESS_MAIN(TestChartTicks)
#include "tst_charticks.moc"
