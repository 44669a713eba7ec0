// Inputs that the fuzz targets (fuzz/) once broke in the TM4040 frame
// builders, kept so that the fault cannot come back unnoticed.

#include "Tm4040Decoder.h"
#include "Tm4040Frames.h"

#include <QtTest>

#include <limits>

class Tm4040FuzzRegressionsTest : public QObject
{
    Q_OBJECT
private slots:
    void roundingOutsideIntegerRange();
    void thresholdFrameOfAnyValue_data();
    void thresholdFrameOfAnyValue();
    void packetsForLargestCounts();
};

// Not a number and values beyond 64 bits used to be converted to an integer
// as they were, which is undefined. They give 0 or the nearest end now.
void Tm4040FuzzRegressionsTest::roundingOutsideIntegerRange()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const qint64 max = std::numeric_limits<qint64>::max();
    const qint64 min = std::numeric_limits<qint64>::min();
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(nan), Q_INT64_C(0));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-nan), Q_INT64_C(0));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(infinity), max);
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-infinity), min);
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(1e300), max);
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-1e300), min);
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(9223372036854775808.0), max);
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-9223372036854775808.0), min);
    // The largest doubles below 2^63 still come through exactly.
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(9223372036854774784.0),
             Q_INT64_C(9223372036854774784));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-9223372036854774784.0),
             Q_INT64_C(-9223372036854774784));
}

void Tm4040FuzzRegressionsTest::thresholdFrameOfAnyValue_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("dose");
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 1.5;
    QTest::newRow("infinite dose") << 0.35 << std::numeric_limits<double>::infinity();
    QTest::newRow("huge negative") << -1e308 << -1e308;
}

// The frame keeps its shape whatever a caller passes.
void Tm4040FuzzRegressionsTest::thresholdFrameOfAnyValue()
{
    QFETCH(double, rate);
    QFETCH(double, dose);
    const QByteArray frame = Tm4040Frames::writeThresholds(rate, dose);
    QCOMPARE(frame.size(), 15);
    QVERIFY(frame.startsWith("RX3008M"));
    QVERIFY(frame.endsWith('r'));
}

// A count near the top of the integer range used to overflow while being
// rounded up to whole packets.
void Tm4040FuzzRegressionsTest::packetsForLargestCounts()
{
    const int max = std::numeric_limits<int>::max();
    QCOMPARE(Tm4040Decoder::historyPackets(max), 167);
    QCOMPARE(Tm4040Decoder::historyPackets(max - 1), 167);
    QCOMPARE(Tm4040Decoder::historyPackets(502), 167);
    QCOMPARE(Tm4040Decoder::historyPackets(4), 2);
    QCOMPARE(Tm4040Decoder::historyPackets(std::numeric_limits<int>::min()), 0);
    const Tm4040Decoder::HistoryResult none = Tm4040Decoder::decodeHistory(QByteArray(), max);
    QVERIFY(none.events.isEmpty());
    QCOMPARE(none.invalidAt, -1);
}

QTEST_MAIN(Tm4040FuzzRegressionsTest)
#include "tst_tm4040fuzzregressions.moc"
