// History download end to end through the emulator: packet counts, the
// decoded records, and what a failed download leaves behind.

#include "Tm4040Emulator.h"
#include "Tm4040Plugin.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

const QByteArray SampleRecord
    = QByteArray::fromHex("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00");

QByteArray historyFrame(const char *payloadHex)
{
    return QByteArray("RX3008M") + QByteArray::fromHex(payloadHex) + 'H';
}

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedLog.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

bool logHas(const QString &prefix)
{
    for (const QString &line : qAsConst(capturedLog)) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

// Owns the events a download returns.
struct Events
{
    ~Events() { qDeleteAll(list); }
    QList<HistoryEvent *> list;
};

Tm4040Scenario scenarioWith(int records)
{
    Tm4040Scenario s;
    s.clock = QDateTime(QDate(2024, 6, 1), QTime(9, 0, 0));
    s.clockRunning = false;
    s.records = Tm4040Scenario::generateRecords(records, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    return s;
}

struct Rig
{
    explicit Rig(const Tm4040Scenario &scenario, bool pty = false)
        : emulator(scenario)
    {
        started = pty ? emulator.startPty() : emulator.startTcp();
        emulator.exportLink();
        connected = started && plugin.connectDevice();
        emulator.clearReceivedFrames();
    }
    bool ok() const { return started && connected; }

    Tm4040Emulator emulator;
    Tm4040Plugin plugin;
    bool started = false;
    bool connected = false;
};

} // namespace

class Tm4040HistoryTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sampleRecord_data();
    void sampleRecord();
    void countOfOneTakesOneRecord();
    void countOfFourAsksTwoPackets();
    void countAbove501IsCapped();
    void month13EndsDecoding();
    void emptyHistorySendsNothingMore();
    void clearedMemoryGivesNoRecords();
    void repeatCallAddsNothing();
    void missingPacketDiscardsEverything();
    void droppedLinkFailsAtOnce_data();
    void droppedLinkFailsAtOnce();
    void slowLinkDownload();
};

void Tm4040HistoryTest::initTestCase()
{
    previousHandler = qInstallMessageHandler(captureMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=true"));
}

void Tm4040HistoryTest::init()
{
    IrDATransport::setAnswerTimeoutMs(2000);
    capturedLog.clear();
}

void Tm4040HistoryTest::cleanup()
{
    IrDATransport::setAnswerTimeoutMs(0);
    qunsetenv("TM4040_LINK");
}

void Tm4040HistoryTest::sampleRecord_data()
{
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void Tm4040HistoryTest::sampleRecord()
{
    QFETCH(bool, pty);
    Tm4040Scenario scenario = scenarioWith(0);
    scenario.records = {SampleRecord};
    Rig rig(scenario, pty);
    QVERIFY(rig.ok());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QCOMPARE(rig.emulator.receivedFrames(),
             (QList<QByteArray> {"RX3008Mp", historyFrame("00 01 01")}));
    QCOMPARE(events.list.size(), 1);
    const HistoryEvent &e = *events.list.first();
    QCOMPARE(e.kind, 2);
    QCOMPARE(e.channel, 2);
    QCOMPARE(e.number, 123);
    QCOMPARE(e.ed, 6789.012f);
    QCOMPARE(e.med, 1.5f);
    QCOMPARE(e.dateTime, QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
    // Flags 0x45, bit 7 first.
    const bool flags[8] = {e.cyclicHistory, e.timezoneChanged, e.edThreshold,   e.medThreshold,
                           e.batteryLow,    e.memoryFault,     e.detectorFault, e.hvFault};
    const bool expected[8] = {false, true, false, false, false, true, false, true};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(flags[i], expected[i]);

    QVERIFY(capturedLog.contains(QStringLiteral("History events count = 1")));
    QVERIFY(capturedLog.contains(QStringLiteral("History packets count = 1")));
    QVERIFY(capturedLog.contains(QStringLiteral("history cmd = 52 58 33 30 30 38 4D 00 01 01 48")));
    QVERIFY(logHas(QStringLiteral("history packet 1 = 12 34 56 78 90 12 00 01 50 09 12 31")));
    QVERIFY(capturedLog.contains(QStringLiteral("history response size = 48")));
    QVERIFY(logHas(QStringLiteral("history event 123 dt = 2009-12-31T23:59:59 ED = 6789.01")));
    QVERIFY(capturedLog.contains(QStringLiteral("Parsed history events = 1")));
}

void Tm4040HistoryTest::countOfOneTakesOneRecord()
{
    Tm4040Scenario scenario = scenarioWith(3);
    scenario.reportedCount = 1;
    Rig rig(scenario);
    QVERIFY(rig.ok());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QCOMPARE(rig.emulator.receivedFrames().last(), historyFrame("00 01 01"));
    QCOMPARE(events.list.size(), 1);
    QCOMPARE(events.list.first()->number, 1);
}

void Tm4040HistoryTest::countOfFourAsksTwoPackets()
{
    Rig rig(scenarioWith(4));
    QVERIFY(rig.ok());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QCOMPARE(rig.emulator.receivedFrames().last(), historyFrame("00 01 02"));
    QCOMPARE(events.list.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(events.list.at(i)->number, i + 1);
        QCOMPARE(events.list.at(i)->ed, float((i + 1) * 7 / 1000.0));
        QCOMPARE(events.list.at(i)->dateTime,
                 QDateTime(QDate(2024, 5, 1), QTime(8, 0)).addSecs(300 * i));
    }
}

void Tm4040HistoryTest::countAbove501IsCapped()
{
    Rig rig(scenarioWith(600));
    QVERIFY(rig.ok());
    QCOMPARE(rig.emulator.parameterBlock().mid(12, 2), QByteArray::fromHex("06 00"));
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=false"));
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=true"));
    QCOMPARE(rig.emulator.receivedFrames().last(), historyFrame("00 01 A7"));
    QCOMPARE(events.list.size(), 501);
    QCOMPARE(events.list.last()->number, 501);
    QTRY_COMPARE(rig.emulator.bytesSent(), qint64(56 + 167 * 48));
}

void Tm4040HistoryTest::month13EndsDecoding()
{
    Tm4040Scenario scenario = scenarioWith(5);
    scenario.faults.impossibleDateRecord = 3;
    Rig rig(scenario);
    QVERIFY(rig.ok());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QCOMPARE(events.list.size(), 2);
    QCOMPARE(events.list.at(1)->number, 2);
    QVERIFY(logHas(
        QStringLiteral("Invalid history datetime, event = 00 30 00 00 00 21 00 00 12 24 13")));
    QVERIFY(!logHas(QStringLiteral("Parsed history events")));
}

void Tm4040HistoryTest::emptyHistorySendsNothingMore()
{
    Rig rig(scenarioWith(0));
    QVERIFY(rig.ok());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QVERIFY(events.list.isEmpty());
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("p"));
}

void Tm4040HistoryTest::clearedMemoryGivesNoRecords()
{
    Rig rig(scenarioWith(10));
    QVERIFY(rig.ok());
    QVERIFY(rig.plugin.clearHistory());
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QVERIFY(events.list.isEmpty());
    QCOMPARE(rig.emulator.receivedFrames().last(), historyFrame("00 01 01"));
}

void Tm4040HistoryTest::repeatCallAddsNothing()
{
    Rig rig(scenarioWith(3));
    QVERIFY(rig.ok());
    Events events;
    events.list.append(new HistoryEvent);
    QVERIFY(!rig.plugin.readHistory(events.list, false));
    QCOMPARE(events.list.size(), 1);
    QVERIFY(rig.emulator.receivedFrames().isEmpty());
    // A download appends after what the caller already holds.
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QCOMPARE(events.list.size(), 4);
    QCOMPARE(events.list.first()->number, 0);
}

void Tm4040HistoryTest::missingPacketDiscardsEverything()
{
    Tm4040Scenario scenario = scenarioWith(6);
    scenario.faults.missingHistoryPacket = 1;
    Rig rig(scenario);
    QVERIFY(rig.ok());
    IrDATransport::setAnswerTimeoutMs(300);
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QVERIFY(events.list.isEmpty());
    QVERIFY(capturedLog.contains(QStringLiteral("history receive failed at packet 2 of 2")));
}

void Tm4040HistoryTest::droppedLinkFailsAtOnce_data()
{
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void Tm4040HistoryTest::droppedLinkFailsAtOnce()
{
    QFETCH(bool, pty);
    Tm4040Scenario scenario = scenarioWith(9);
    scenario.faults.dropLinkAfterPacket = 1;
    Rig rig(scenario, pty);
    QVERIFY(rig.ok());
    IrDATransport::setAnswerTimeoutMs(5000);
    QElapsedTimer timer;
    timer.start();
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(events.list.isEmpty());
    QVERIFY(capturedLog.contains(QStringLiteral("history receive failed at packet 2 of 3")));
}

void Tm4040HistoryTest::slowLinkDownload()
{
    Tm4040Scenario scenario = scenarioWith(12);
    scenario.faults.baudRate = 9600;
    Rig rig(scenario, true);
    QVERIFY(rig.ok());
    IrDATransport::setAnswerTimeoutMs(500);
    QElapsedTimer timer;
    timer.start();
    Events events;
    QVERIFY(!rig.plugin.readHistory(events.list, true));
    // 56 + 4 x 48 bytes at 960 bytes a second: about 260 ms.
    QVERIFY2(timer.elapsed() >= 250 && timer.elapsed() < 1500,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(events.list.size(), 12);
}

QTEST_GUILESS_MAIN(Tm4040HistoryTest)
#include "tst_tm4040history.moc"
