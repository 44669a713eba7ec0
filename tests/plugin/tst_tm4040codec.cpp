// Frame building and decoding as pure functions, against byte vectors
// written out from the protocol tables by hand.

#include "Tm4040Decoder.h"
#include "Tm4040Frames.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray withPrefix(const char *hex)
{
    return QByteArray("RX3008M") + QByteArray::fromHex(hex);
}

// A parameter block filled in by hand from the table of byte positions.
QByteArray sampleBlock()
{
    return bytes("59 58 23 31 12 09" // clock 23:58:59 31.12.2009, second first
                 "15 06 01" // alarm 06:15 on
                 "AA BB CC" // unused
                 "02 41 00 C0 00 01 00 C0" // pointers, count 241
                 "01 02 03" // next record in 01:02:03
                 "00 10 00" // step 00:10:00
                 "85" // cyclic, low bits 05
                 "EE" // unused
                 "40 40 12 34" // serial 40401234
                 "00 00 00 00 00 00 00 00"
                 "12 34 56" // rate threshold 123456 -> 1234.56
                 "00 01 50 00" // dose threshold 15000 -> 15.000 mSv
                 "3A" // firmware
                 "00 01 86 A0" // dose 100000 -> 1.0 mSv
                 "00 00 00 00");
}

} // namespace

class Tm4040CodecTest : public QObject
{
    Q_OBJECT
private slots:
    void bcdEncodingAndDecoding();
    void rounding();
    void simpleFrames();
    void thresholdFrames_data();
    void thresholdFrames();
    void historySettingsFrames();
    void parameterBlock();
    void parameterBlockRejectsWrongSize();
    void parameterBlockWithImpossibleClock();
    void whatReadsAsParameterBlock_data();
    void whatReadsAsParameterBlock();
    void historyRecord();
    void historyPacketsForCounts_data();
    void historyPacketsForCounts();
    void historyDecodingLimits();
    void historyStopsAtImpossibleDate();
};

void Tm4040CodecTest::bcdEncodingAndDecoding()
{
    QCOMPARE(int(Tm4040Frames::toBcd(0)), 0x00);
    QCOMPARE(int(Tm4040Frames::toBcd(9)), 0x09);
    QCOMPARE(int(Tm4040Frames::toBcd(10)), 0x10);
    QCOMPARE(int(Tm4040Frames::toBcd(59)), 0x59);
    QCOMPARE(int(Tm4040Frames::toBcd(99)), 0x99);
    QCOMPARE(Tm4040Decoder::bcd(0x59), 59);
    // A nibble above 9 counts with its own value.
    QCOMPARE(Tm4040Decoder::bcd(0xFF), 165);
    QCOMPARE(Tm4040Decoder::bcd(0x1A), 20);
    QCOMPARE(Tm4040Decoder::bcdNumber(bytes("12 34 56 78"), 0, 4), Q_INT64_C(12345678));
    QCOMPARE(Tm4040Decoder::bcdNumber(bytes("00 01"), 0, 2), Q_INT64_C(1));
    // Bytes beyond the data count as zero instead of reading past it.
    QCOMPARE(Tm4040Decoder::bcdNumber(bytes("12"), 0, 2), Q_INT64_C(1200));
}

void Tm4040CodecTest::rounding()
{
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(2.5), Q_INT64_C(3));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(2.4999), Q_INT64_C(2));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(0.0), Q_INT64_C(0));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-2.5), Q_INT64_C(-3));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-0.4), Q_INT64_C(0));
    QCOMPARE(Tm4040Frames::roundHalfAwayFromZero(-0.5), Q_INT64_C(-1));
}

void Tm4040CodecTest::simpleFrames()
{
    QCOMPARE(Tm4040Frames::readAllParams(), bytes("52 58 33 30 30 38 4D 70"));
    QCOMPARE(Tm4040Frames::resetAccumulatedED(), bytes("52 58 33 30 30 38 4D 64"));
    const QDateTime newYearsEve(QDate(2009, 12, 31), QTime(0, 0, 0));
    QCOMPARE(Tm4040Frames::writeTime(newYearsEve), withPrefix("00 00 00 31 12 09 74"));
    QCOMPARE(Tm4040Frames::writeTime(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 7))),
             withPrefix("07 45 13 29 02 24 74"));
    QCOMPARE(Tm4040Frames::writeAlarm(15, 6, true), withPrefix("15 06 01 62"));
    QCOMPARE(Tm4040Frames::writeAlarm(0, 23, false), withPrefix("00 23 00 62"));
    QCOMPARE(Tm4040Frames::history(1), withPrefix("00 01 01 48"));
    QCOMPARE(Tm4040Frames::history(167), withPrefix("00 01 A7 48"));
}

void Tm4040CodecTest::thresholdFrames_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("dose");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("0.35 and 1.5") << 0.35 << 1.5 << bytes("00 00 35 00 00 15 00");
    QTest::newRow("largest") << 9999.99 << 99999.999 << bytes("99 99 99 99 99 99 99");
    QTest::newRow("zero") << 0.0 << 0.0 << bytes("00 00 00 00 00 00 00");
    QTest::newRow("halves round up") << 0.125 << 0.0005 << bytes("00 00 13 00 00 00 01");
    QTest::newRow("below a half") << 0.1249 << 0.0004 << bytes("00 00 12 00 00 00 00");
    QTest::newRow("5000 and 0.001") << 5000.0 << 0.001 << bytes("50 00 00 00 00 00 01");
    // Digits beyond the field are dropped.
    QTest::newRow("too large") << 12345.67 << 123456.789 << bytes("23 45 67 23 45 67 89");
}

void Tm4040CodecTest::thresholdFrames()
{
    QFETCH(double, rate);
    QFETCH(double, dose);
    QFETCH(QByteArray, payload);
    QCOMPARE(Tm4040Frames::writeThresholds(rate, dose), QByteArray("RX3008M") + payload + 'r');
}

void Tm4040CodecTest::historySettingsFrames()
{
    const quint8 timing[6] = {1, 2, 3, 0, 10, 0};
    QCOMPARE(Tm4040Frames::writeHistorySettings(bytes("02 41 00 C0 00 01 00 C0"), timing, 0x05),
             withPrefix("02 41 00 C0 00 01 00 C0 01 02 03 00 10 00 05 68"));
    // Clearing keeps the timing and mode bytes exactly as the device gave them.
    QCOMPARE(Tm4040Frames::clearHistory(sampleBlock()),
             withPrefix("00 01 00 C0 00 01 00 C0 01 02 03 00 10 00 85 68"));
}

void Tm4040CodecTest::parameterBlock()
{
    Tm4040Decoder::Parameters p;
    QVERIFY(Tm4040Decoder::decodeParameters(sampleBlock(), &p));
    QCOMPARE(p.deviceTime, QDateTime(QDate(2009, 12, 31), QTime(23, 58, 59)));
    QCOMPARE(p.alarmMinute, 15);
    QCOMPARE(p.alarmHour, 6);
    QVERIFY(p.alarmEnabled);
    QCOMPARE(p.historyCount, 241);
    QCOMPARE(p.nextRecordHours, 1);
    QCOMPARE(p.nextRecordMinutes, 2);
    QCOMPARE(p.nextRecordSeconds, 3);
    QCOMPARE(p.historyStepHours, 0);
    QCOMPARE(p.historyStepMinutes, 10);
    QCOMPARE(p.historyStepSeconds, 0);
    QVERIFY(p.cyclicHistory);
    QCOMPARE(int(p.historyMode), 0x85);
    QCOMPARE(p.serialNumber, 40401234);
    QCOMPARE(p.medThreshold(), 1234.56);
    QCOMPARE(p.edThreshold(), 15.0);
    QCOMPARE(int(p.firmwareVersion), 0x3A);
    QCOMPARE(p.accumulatedDoseRaw, 100000u);
    QCOMPARE(p.accumulatedDose(), 1.0);

    QByteArray linear = sampleBlock();
    linear[26] = char(0x7F);
    linear[8] = char(0x00);
    QVERIFY(Tm4040Decoder::decodeParameters(linear, &p));
    QVERIFY(!p.cyclicHistory);
    QVERIFY(!p.alarmEnabled);
}

void Tm4040CodecTest::parameterBlockRejectsWrongSize()
{
    Tm4040Decoder::Parameters p;
    QVERIFY(!Tm4040Decoder::decodeParameters(sampleBlock().left(55), &p));
    QVERIFY(!Tm4040Decoder::decodeParameters(QByteArray(), &p));
    QCOMPARE(Tm4040Decoder::historyCount(sampleBlock().left(13)), -1);
    QCOMPARE(Tm4040Decoder::historyCount(sampleBlock().left(14)), 241);
}

void Tm4040CodecTest::parameterBlockWithImpossibleClock()
{
    QByteArray block = sampleBlock();
    block[4] = char(0x13); // month 13
    Tm4040Decoder::Parameters p;
    QVERIFY(Tm4040Decoder::decodeParameters(block, &p));
    QVERIFY(p.deviceTime.isNull());
    QCOMPARE(p.month, 13);
}

void Tm4040CodecTest::whatReadsAsParameterBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("accepted");
    const auto changed = [](int offset, const char *hex) {
        return sampleBlock().replace(offset, int(std::strlen(hex) / 2), bytes(hex));
    };
    QTest::newRow("device") << sampleBlock() << true;
    QTest::newRow("cleared clock") << changed(0, "000000000000") << true;
    QTest::newRow("GPS sentence")
        << QByteArray("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n")
               .left(56)
        << false;
    QTest::newRow("zeros") << QByteArray(56, '\0') << false;
    QTest::newRow("55 bytes") << sampleBlock().left(55) << false;
    QTest::newRow("hour 24") << changed(2, "24") << false;
    QTest::newRow("month 13") << changed(4, "13") << false;
    QTest::newRow("serial not BCD") << changed(28, "4A") << false;
    QTest::newRow("serial 0") << changed(28, "00000000") << false;
    QTest::newRow("threshold not BCD") << changed(44, "F0") << false;
}

void Tm4040CodecTest::whatReadsAsParameterBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, accepted);
    QCOMPARE(Tm4040Decoder::isParameterBlock(block), accepted);
}

void Tm4040CodecTest::historyRecord()
{
    HistoryEvent event;
    QVERIFY(Tm4040Decoder::decodeRecord(
        bytes("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00").constData(), &event));
    QCOMPARE(event.kind, 2);
    QCOMPARE(event.channel, 2);
    QCOMPARE(event.number, 123);
    QCOMPARE(int(Tm4040Decoder::flagsOf(event)), 0x45);
    // 0x45: timezoneChanged, memoryFault and hvFault.
    QVERIFY(!event.cyclicHistory);
    QVERIFY(event.timezoneChanged);
    QVERIFY(!event.edThreshold);
    QVERIFY(!event.medThreshold);
    QVERIFY(!event.batteryLow);
    QVERIFY(event.memoryFault);
    QVERIFY(!event.detectorFault);
    QVERIFY(event.hvFault);
    QCOMPARE(event.ed, 6789.012f);
    QCOMPARE(event.med, 1.50f);
    QCOMPARE(event.dateTime, QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));

    QVERIFY(Tm4040Decoder::decodeRecord(
        bytes("99 9F F9 99 99 99 99 99 99 99 02 28 00 00 00 00").constData(), &event));
    QCOMPARE(event.number, 999);
    QCOMPARE(int(Tm4040Decoder::flagsOf(event)), 0xFF);
    QCOMPARE(event.ed, 9999.999f);
    QCOMPARE(event.med, 9999.99f);
    QCOMPARE(event.dateTime, QDateTime(QDate(2099, 2, 28), QTime(0, 0, 0)));
}

void Tm4040CodecTest::historyPacketsForCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("packets");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("4") << 4 << 2;
    QTest::newRow("501") << 501 << 167;
    QTest::newRow("502") << 502 << 167;
    QTest::newRow("9999") << 9999 << 167;
}

void Tm4040CodecTest::historyPacketsForCounts()
{
    QFETCH(int, count);
    QFETCH(int, packets);
    QCOMPARE(Tm4040Decoder::historyPackets(count), packets);
}

void Tm4040CodecTest::historyDecodingLimits()
{
    const QByteArray record = bytes("00 10 00 00 12 34 00 01 00 24 05 01 08 00 00 00");
    const QByteArray packet = record + record + record;
    // A count of 1 delivers one record although the packet holds three.
    auto result = Tm4040Decoder::decodeHistory(packet, 1);
    QCOMPARE(result.events.size(), 1);
    QCOMPARE(result.examined, 1);
    QCOMPARE(result.events.first().ed, 1.234f);
    // A count beyond the buffer stops at the last whole record.
    result = Tm4040Decoder::decodeHistory(packet + record.left(15), 10);
    QCOMPARE(result.events.size(), 3);
    QCOMPARE(result.invalidAt, -1);
    result = Tm4040Decoder::decodeHistory(QByteArray(), 3);
    QVERIFY(result.events.isEmpty());
}

void Tm4040CodecTest::historyStopsAtImpossibleDate()
{
    const QByteArray good = bytes("00 10 00 00 00 07 00 00 10 24 05 01 08 00 00 00");
    const QByteArray month13 = bytes("00 20 00 00 00 14 00 00 10 24 13 01 08 00 00 00");
    const QByteArray blank(16, char(0xFF));
    auto result = Tm4040Decoder::decodeHistory(good + good + month13 + good + good + good, 6);
    QCOMPARE(result.events.size(), 2);
    QCOMPARE(result.invalidAt, 2);
    QCOMPARE(result.invalidRecord, month13);
    // Unwritten memory reads FF, which is no date either.
    result = Tm4040Decoder::decodeHistory(blank + blank + blank, 1);
    QVERIFY(result.events.isEmpty());
    QCOMPARE(result.invalidAt, 0);
}

QTEST_APPLESS_MAIN(Tm4040CodecTest)
#include "tst_tm4040codec.moc"
