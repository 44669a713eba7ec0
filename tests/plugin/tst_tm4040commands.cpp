// The TM4040 command set end to end: the plug-in object talks to the
// emulator over loopback TCP or a pseudo-terminal; the frames the emulator
// receives are compared byte for byte with the written protocol.

#include "Tm4040Emulator.h"
#include "Tm4040Plugin.h"

#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

QByteArray frame(const char *payloadHex, char letter)
{
    return QByteArray("RX3008M") + QByteArray::fromHex(payloadHex) + letter;
}

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedLog.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

Tm4040Scenario baseScenario()
{
    Tm4040Scenario s;
    s.serialNumber = 40401234;
    s.firmwareVersion = 0x3A;
    s.clock = QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59));
    s.clockRunning = false;
    s.accumulatedDoseRaw = 0x000186A0;
    s.alarmHour = 6;
    s.alarmMinute = 15;
    s.alarmEnabled = true;
    s.medThresholdRaw = 35;
    s.edThresholdRaw = 1500;
    s.nextRecordMinutes = 4;
    s.nextRecordSeconds = 59;
    s.historyStepMinutes = 10;
    s.historyMode = 0x85;
    s.records = Tm4040Scenario::generateRecords(241, s.clock.addDays(-2));
    return s;
}

// An emulator and a plug-in connected to it.
struct Rig
{
    explicit Rig(const Tm4040Scenario &scenario = baseScenario(), bool pty = false)
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

class OtherSettings : public DeviceSettings
{
public:
    int owner = 7;
};

} // namespace

class Tm4040CommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyOperationFailsBeforeConnecting();
    void fixedAnswers();
    void deviceInfo_data();
    void deviceInfo();
    void deviceInfoWithImpossibleClock();
    void writeTimeOfNewYearsEve_data();
    void writeTimeOfNewYearsEve();
    void invalidTimeIsNotSent();
    void readSettingsFillsTheRecord();
    void writeSettingsSendsFourFrames_data();
    void writeSettingsSendsFourFrames();
    void writeSettingsWithDoseResetSendsFive();
    void unchangedSettingsWriteBackWhatWasRead();
    void clearingOnWrite();
    void clearHistoryKeepsTimingAndMode();
    void accumulatedDose();
    void foreignSettingsAndNullPointers();
    void faultsStopTheSequence_data();
    void faultsStopTheSequence();
    void slowAndSplitAnswersStillWork();
    void reconnectReplacesTheLink();
    void disconnectDuringADownload();

private:
    void addLinkRows();
};

void Tm4040CommandsTest::initTestCase()
{
    previousHandler = qInstallMessageHandler(captureMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=true"));
}

void Tm4040CommandsTest::init()
{
    IrDATransport::setAnswerTimeoutMs(2000);
    capturedLog.clear();
}

void Tm4040CommandsTest::cleanup()
{
    IrDATransport::setAnswerTimeoutMs(0);
    qunsetenv("TM4040_LINK");
}

void Tm4040CommandsTest::addLinkRows()
{
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void Tm4040CommandsTest::everyOperationFailsBeforeConnecting()
{
    Tm4040Emulator emulator(baseScenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    Tm4040Plugin plugin;
    for (int round = 0; round < 2; ++round) {
        DeviceInfo info;
        QVERIFY(!plugin.readDeviceInfo(&info));
        QVERIFY(info.name.isEmpty());
        QVERIFY(plugin.readDeviceTime().isNull());
        QVERIFY(!plugin.writeTime(QDateTime::currentDateTime()));
        QList<HistoryEvent *> events;
        QVERIFY(!plugin.readHistory(events, true));
        QVERIFY(events.isEmpty());
        QVERIFY(!plugin.clearHistory());
        Tm4040Settings settings;
        QVERIFY(!plugin.readSettings(&settings));
        QVERIFY(!plugin.writeSettings(&settings, false));
        double dose = -1;
        QVERIFY(!plugin.readAccumulatedED(&dose));
        QCOMPARE(dose, -1.0);
        QVERIFY(!plugin.resetAccumulatedED());
        // ... and again after an explicit disconnect of a link never made.
        plugin.disconnectDevice();
    }
    QCOMPARE(emulator.connectionCount(), 0);
    QVERIFY(emulator.receivedFrames().isEmpty());

    // After a real connection and a disconnect, nothing goes out either.
    QVERIFY(plugin.connectDevice());
    plugin.disconnectDevice();
    DeviceInfo info;
    QVERIFY(!plugin.readDeviceInfo(&info));
    QVERIFY(!plugin.resetAccumulatedED());
    QVERIFY(emulator.receivedFrames().isEmpty());
}

void Tm4040CommandsTest::fixedAnswers()
{
    Tm4040Plugin plugin;
    QVERIFY(plugin.isSingleChannel());
    QVERIFY(plugin.reservedTime().isNull());
    plugin.reserved1();
    plugin.reserved2();
    plugin.reserved3();
    QList<HistoryEvent *> events;
    QVERIFY(!plugin.readHistory(events, false));
}

void Tm4040CommandsTest::deviceInfo_data()
{
    addLinkRows();
}

void Tm4040CommandsTest::deviceInfo()
{
    QFETCH(bool, pty);
    Rig rig(baseScenario(), pty);
    QVERIFY(rig.ok());
    DeviceInfo info;
    QVERIFY(rig.plugin.readDeviceInfo(&info));
    QCOMPARE(info.name, QString::fromUtf8("КВР-ТМ4040"));
    QCOMPARE(info.serialNumber, 40401234);
    QVERIFY(info.manufactureDate.isNull());
    QCOMPARE(info.firmwareVersion, 0x3A);
    QCOMPARE(info.deviceTime, QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(info.accumulatedDose, 1.0);
    QCOMPARE(info.historyCount, 241);
    QVERIFY(info.cyclicHistory);
    QCOMPARE(info.reservedDouble1, 0.0);
    QCOMPARE(info.reservedDouble2, 0.0);
    QCOMPARE(info.reservedDouble3, 0.0);
    QVERIFY(!info.reservedFlag);
    QCOMPARE(rig.emulator.receivedFrames(), QList<QByteArray> {frame("", 'p')});
    QCOMPARE(rig.plugin.readDeviceTime(), QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
    QVERIFY(capturedLog.contains(QStringLiteral("readAllParams ok = true")));
    QVERIFY(capturedLog.contains(QStringLiteral("params size = 56")));
    QVERIFY(capturedLog.contains(QStringLiteral("Device time: 23:59:59 31.12.2009")));
}

void Tm4040CommandsTest::deviceInfoWithImpossibleClock()
{
    Rig rig;
    QVERIFY(rig.ok());
    {
        // Another host leaves the clock at month 13.
        QTcpSocket other;
        other.connectToHost(QStringLiteral("127.0.0.1"), rig.emulator.tcpPort());
        QVERIFY(other.waitForConnected(2000));
        other.write(frame("00 00 12 01 13 09", 't'));
        QVERIFY(other.waitForBytesWritten(2000));
        QTRY_COMPARE(rig.emulator.receivedLetters(), QByteArray("t"));
    }
    QVERIFY(rig.plugin.connectDevice());
    DeviceInfo info;
    QVERIFY(rig.plugin.readDeviceInfo(&info));
    QVERIFY(info.deviceTime.isNull());
    QCOMPARE(info.serialNumber, 40401234);
    QVERIFY(rig.plugin.readDeviceTime().isNull());
}

void Tm4040CommandsTest::writeTimeOfNewYearsEve_data()
{
    addLinkRows();
}

void Tm4040CommandsTest::writeTimeOfNewYearsEve()
{
    QFETCH(bool, pty);
    Rig rig(baseScenario(), pty);
    QVERIFY(rig.ok());
    QVERIFY(rig.plugin.writeTime(QDateTime(QDate(2009, 12, 31), QTime(0, 0, 0))));
    QCOMPARE(rig.emulator.receivedFrames(),
             QList<QByteArray> {QByteArray::fromHex("52 58 33 30 30 38 4D 00 00 00 31 12 09 74")});
    QCOMPARE(rig.emulator.parameterBlock().left(6), QByteArray::fromHex("00 00 00 31 12 09"));
    QCOMPARE(rig.plugin.readDeviceTime(), QDateTime(QDate(2009, 12, 31), QTime(0, 0, 0)));
    QVERIFY(capturedLog.contains(
        QStringLiteral("writeTime cmd = 52 58 33 30 30 38 4D 00 00 00 31 12 09 74")));
    QVERIFY(capturedLog.contains(QStringLiteral("writeTime ok = true")));
}

void Tm4040CommandsTest::invalidTimeIsNotSent()
{
    Rig rig;
    QVERIFY(rig.ok());
    QVERIFY(!rig.plugin.writeTime(QDateTime()));
    QVERIFY(rig.emulator.receivedFrames().isEmpty());
}

void Tm4040CommandsTest::readSettingsFillsTheRecord()
{
    Rig rig;
    QVERIFY(rig.ok());
    Tm4040Settings s;
    s.clearHistoryOnWrite = true;
    s.resetAccumulatedDose = true;
    QVERIFY(rig.plugin.readSettings(&s));
    QCOMPARE(s.medThreshold, 0.35);
    QCOMPARE(s.edThreshold, 1.5);
    QCOMPARE(int(s.alarmHour), 6);
    QCOMPARE(int(s.alarmMinute), 15);
    QVERIFY(s.alarmEnabled);
    QCOMPARE(int(s.historyStepHours), 0);
    QCOMPARE(int(s.historyStepMinutes), 10);
    QCOMPARE(int(s.historyStepSeconds), 0);
    QCOMPARE(int(s.nextRecordHours), 0);
    QCOMPARE(int(s.nextRecordMinutes), 4);
    QCOMPARE(int(s.nextRecordSeconds), 59);
    QVERIFY(s.cyclicHistory);
    QCOMPARE(int(s.historyEventsCount), 241);
    QCOMPARE(s.accumulatedDose, 1.0);
    // Requests are the caller's; reading leaves them alone.
    QVERIFY(s.clearHistoryOnWrite);
    QVERIFY(s.resetAccumulatedDose);
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("p"));
}

void Tm4040CommandsTest::writeSettingsSendsFourFrames_data()
{
    addLinkRows();
}

void Tm4040CommandsTest::writeSettingsSendsFourFrames()
{
    QFETCH(bool, pty);
    Tm4040Scenario scenario = baseScenario();
    scenario.medThresholdRaw = 500000;
    scenario.edThresholdRaw = 1;
    Rig rig(scenario, pty);
    QVERIFY(rig.ok());
    const QByteArray before = rig.emulator.parameterBlock();
    Tm4040Settings s;
    s.medThreshold = 0.35;
    s.edThreshold = 1.5;
    s.alarmHour = 7;
    s.alarmMinute = 45;
    s.alarmEnabled = false;
    s.nextRecordHours = 1;
    s.nextRecordMinutes = 2;
    s.nextRecordSeconds = 3;
    s.historyStepHours = 12;
    s.historyStepMinutes = 30;
    s.historyStepSeconds = 0;
    s.cyclicHistory = false;
    QVERIFY(rig.plugin.writeSettings(&s, true));
    const QList<QByteArray> frames = rig.emulator.receivedFrames();
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames.at(0), frame("00 00 35 00 00 15 00", 'r'));
    QCOMPARE(frames.at(1), frame("45 07 00", 'b'));
    QCOMPARE(frames.at(2), frame("", 'p'));
    // Pointers as read, the new timing, the mode with bit 7 cleared and
    // bits 0 to 6 as the device had them.
    QCOMPARE(frames.at(3),
             QByteArray("RX3008M") + before.mid(12, 8) + QByteArray::fromHex("01 02 03 12 30 00 05")
                 + 'h');
    const QByteArray after = rig.emulator.parameterBlock();
    QCOMPARE(after.mid(40, 7), QByteArray::fromHex("00 00 35 00 00 15 00"));
    QCOMPARE(after.mid(6, 3), QByteArray::fromHex("45 07 00"));
    QCOMPARE(after.mid(12, 8), before.mid(12, 8));
    QCOMPARE(after.mid(48, 4), QByteArray::fromHex("00 01 86 A0"));
    QCOMPARE(rig.emulator.records().size(), 241);
    QVERIFY(capturedLog.contains(
        QStringLiteral("writeThresholds cmd = 52 58 33 30 30 38 4D 00 00 35 00 00 15 00 72")));
    QVERIFY(
        capturedLog.contains(QStringLiteral("writeAlarm cmd = 52 58 33 30 30 38 4D 45 07 00 62")));
}

void Tm4040CommandsTest::writeSettingsWithDoseResetSendsFive()
{
    Rig rig;
    QVERIFY(rig.ok());
    Tm4040Settings s;
    QVERIFY(rig.plugin.readSettings(&s));
    rig.emulator.clearReceivedFrames();
    s.resetAccumulatedDose = true;
    QVERIFY(rig.plugin.writeSettings(&s, false));
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("rbphd"));
    QCOMPARE(rig.emulator.receivedFrames().last(), QByteArray::fromHex("52 58 33 30 30 38 4D 64"));
    QCOMPARE(rig.emulator.parameterBlock().mid(48, 4), QByteArray(4, '\0'));
}

void Tm4040CommandsTest::unchangedSettingsWriteBackWhatWasRead()
{
    Rig rig;
    QVERIFY(rig.ok());
    const QByteArray block = rig.emulator.parameterBlock();
    Tm4040Settings s;
    QVERIFY(rig.plugin.readSettings(&s));
    QVERIFY(rig.plugin.writeSettings(&s, false));
    const QList<QByteArray> frames = rig.emulator.receivedFrames();
    QCOMPARE(frames.size(), 5);
    QCOMPARE(frames.at(1), frame("00 00 35 00 00 15 00", 'r'));
    QCOMPARE(frames.at(2), frame("15 06 01", 'b'));
    QCOMPARE(frames.at(4), QByteArray("RX3008M") + block.mid(12, 15) + 'h');
    QCOMPARE(rig.emulator.parameterBlock().mid(6, 50), block.mid(6, 50));
}

void Tm4040CommandsTest::clearingOnWrite()
{
    Rig rig;
    QVERIFY(rig.ok());
    const QByteArray block = rig.emulator.parameterBlock();
    Tm4040Settings s;
    QVERIFY(rig.plugin.readSettings(&s));
    s.clearHistoryOnWrite = true;
    QVERIFY(rig.plugin.writeSettings(&s, false));
    QCOMPARE(rig.emulator.receivedFrames().last(),
             frame("00 01 00 C0 00 01 00 C0", 'h').chopped(1) + block.mid(20, 7) + 'h');
    QVERIFY(rig.emulator.records().isEmpty());
}

void Tm4040CommandsTest::clearHistoryKeepsTimingAndMode()
{
    Rig rig;
    QVERIFY(rig.ok());
    const QByteArray block = rig.emulator.parameterBlock();
    QVERIFY(rig.plugin.clearHistory());
    const QList<QByteArray> frames = rig.emulator.receivedFrames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0), frame("", 'p'));
    QCOMPARE(frames.at(1),
             QByteArray::fromHex("52 58 33 30 30 38 4D 00 01 00 C0 00 01 00 C0") + block.mid(20, 7)
                 + 'h');
    QCOMPARE(block.mid(20, 7), QByteArray::fromHex("00 04 59 00 10 00 85"));
    QVERIFY(rig.emulator.records().isEmpty());
    QCOMPARE(rig.emulator.parameterBlock().mid(20, 7), block.mid(20, 7));
    QVERIFY(capturedLog.contains(QStringLiteral("clearHistory ok = true")));
}

void Tm4040CommandsTest::accumulatedDose()
{
    Rig rig;
    QVERIFY(rig.ok());
    double dose = -1;
    QVERIFY(rig.plugin.readAccumulatedED(&dose));
    QCOMPARE(dose, 1.0); // 00 01 86 A0
    QVERIFY(capturedLog.contains(QStringLiteral("Accumulated ED raw = 100000")));
    QVERIFY(rig.plugin.resetAccumulatedED());
    QCOMPARE(rig.emulator.receivedFrames().last(), QByteArray::fromHex("52 58 33 30 30 38 4D 64"));
    QVERIFY(rig.plugin.readAccumulatedED(&dose));
    QCOMPARE(dose, 0.0);
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("pdp"));
}

void Tm4040CommandsTest::foreignSettingsAndNullPointers()
{
    Rig rig;
    QVERIFY(rig.ok());
    OtherSettings other;
    QVERIFY(!rig.plugin.readSettings(&other));
    QVERIFY(!rig.plugin.writeSettings(&other, true));
    QCOMPARE(other.owner, 7);
    QVERIFY(!rig.plugin.readSettings(nullptr));
    QVERIFY(!rig.plugin.writeSettings(nullptr, false));
    QVERIFY(!rig.plugin.readDeviceInfo(nullptr));
    QVERIFY(!rig.plugin.readAccumulatedED(nullptr));
    QVERIFY(rig.emulator.receivedFrames().isEmpty());
}

void Tm4040CommandsTest::faultsStopTheSequence_data()
{
    QTest::addColumn<QByteArray>("silent");
    QTest::addColumn<QByteArray>("shortAnswer");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("letters");

    QTest::newRow("no block: info") << QByteArray("p") << QByteArray() << "info" << QByteArray("p");
    QTest::newRow("short block: info")
        << QByteArray() << QByteArray("p") << "info" << QByteArray("p");
    QTest::newRow("no block: time") << QByteArray("p") << QByteArray() << "time" << QByteArray("p");
    QTest::newRow("no block: settings")
        << QByteArray("p") << QByteArray() << "readSettings" << QByteArray("p");
    QTest::newRow("no block: clear")
        << QByteArray("p") << QByteArray() << "clear" << QByteArray("p");
    QTest::newRow("no block: dose") << QByteArray("p") << QByteArray() << "dose" << QByteArray("p");
    QTest::newRow("no block: history")
        << QByteArray("p") << QByteArray() << "history" << QByteArray("p");
    QTest::newRow("no block: write")
        << QByteArray("p") << QByteArray() << "write" << QByteArray("rbp");
    QTest::newRow("no r answer") << QByteArray("r") << QByteArray() << "write" << QByteArray("r");
    QTest::newRow("short b answer")
        << QByteArray() << QByteArray("b") << "write" << QByteArray("rb");
    QTest::newRow("no h answer") << QByteArray("h") << QByteArray() << "write"
                                 << QByteArray("rbph");
    QTest::newRow("no d answer") << QByteArray("d") << QByteArray() << "reset" << QByteArray("d");
    QTest::newRow("no t answer") << QByteArray("t") << QByteArray() << "writeTime"
                                 << QByteArray("t");
}

void Tm4040CommandsTest::faultsStopTheSequence()
{
    QFETCH(QByteArray, silent);
    QFETCH(QByteArray, shortAnswer);
    QFETCH(QString, operation);
    QFETCH(QByteArray, letters);
    Tm4040Scenario scenario = baseScenario();
    scenario.faults.silentCommands = silent;
    scenario.faults.shortCommands = shortAnswer;
    Rig rig(scenario);
    QVERIFY(rig.ok());
    IrDATransport::setAnswerTimeoutMs(250);

    bool ok = true;
    if (operation == "info") {
        DeviceInfo info;
        ok = rig.plugin.readDeviceInfo(&info);
    } else if (operation == "time") {
        ok = rig.plugin.readDeviceTime().isValid();
    } else if (operation == "readSettings") {
        Tm4040Settings s;
        ok = rig.plugin.readSettings(&s);
    } else if (operation == "clear") {
        ok = rig.plugin.clearHistory();
    } else if (operation == "dose") {
        double dose = 0;
        ok = rig.plugin.readAccumulatedED(&dose);
    } else if (operation == "history") {
        QList<HistoryEvent *> events;
        ok = rig.plugin.readHistory(events, true) || !events.isEmpty();
        qDeleteAll(events);
    } else if (operation == "write") {
        Tm4040Settings s;
        s.resetAccumulatedDose = true;
        ok = rig.plugin.writeSettings(&s, false);
    } else if (operation == "reset") {
        ok = rig.plugin.resetAccumulatedED();
    } else if (operation == "writeTime") {
        ok = rig.plugin.writeTime(QDateTime::currentDateTime());
    }
    QVERIFY(!ok);
    // Nothing is sent after the step that failed.
    QTest::qWait(20);
    QCOMPARE(rig.emulator.receivedLetters(), letters);
}

void Tm4040CommandsTest::slowAndSplitAnswersStillWork()
{
    Tm4040Scenario scenario = baseScenario();
    scenario.faults.baudRate = 9600;
    scenario.faults.splitCommands = "ph";
    scenario.faults.splitPauseMs = 300;
    Rig rig(scenario, true);
    QVERIFY(rig.ok());
    IrDATransport::setAnswerTimeoutMs(1500);
    DeviceInfo info;
    QVERIFY(rig.plugin.readDeviceInfo(&info));
    QCOMPARE(info.serialNumber, 40401234);
    QVERIFY(rig.plugin.clearHistory());
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("pph"));
}

void Tm4040CommandsTest::reconnectReplacesTheLink()
{
    Rig rig;
    QVERIFY(rig.ok());
    QVERIFY(rig.plugin.connectDevice());
    QVERIFY(rig.plugin.connectDevice());
    QTRY_COMPARE(rig.emulator.connectionCount(), 3);
    double dose = 0;
    QVERIFY(rig.plugin.readAccumulatedED(&dose));
    QCOMPARE(rig.emulator.receivedLetters(), QByteArray("p"));
}

void Tm4040CommandsTest::disconnectDuringADownload()
{
    // A dialog closed during an import disconnects on the GUI thread while
    // the worker still waits for packets.
    Tm4040Scenario scenario = baseScenario();
    scenario.faults.baudRate = 9600; // 241 records: about 8.4 s
    Rig rig(scenario);
    QVERIFY(rig.ok());
    QList<HistoryEvent *> events;
    bool more = true;
    // The release and the acquire after wait() show race detectors the order
    // that wait() gives: Qt's own locks are invisible to them.
    std::atomic<bool> done {false};
    QScopedPointer<QThread> worker(QThread::create([&] {
        more = rig.plugin.readHistory(events, true);
        done.store(true, std::memory_order_release);
    }));
    worker->start();
    QTRY_COMPARE(rig.emulator.receivedLetters(), QByteArray("pH"));
    QTest::qWait(100);
    rig.plugin.disconnectDevice();
    QVERIFY(worker->wait(2000));
    done.load(std::memory_order_acquire);
    QVERIFY(!more);
    QVERIFY(events.isEmpty());
    DeviceInfo info;
    QVERIFY(!rig.plugin.readDeviceInfo(&info));
}

QTEST_GUILESS_MAIN(Tm4040CommandsTest)
#include "tst_tm4040commands.moc"
