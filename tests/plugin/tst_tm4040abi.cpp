// A client of libtm4040.so that knows only its own copy of the contract:
// it loads the library by path, takes getPlugin, and drives all sixteen
// operations against the emulator. The frames must match the protocol
// byte for byte.

#include "tst_tm4040abi_contract.h"

#include "Tm4040Emulator.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

using GetPlugin = AbstractPlugin *(*)();

QByteArray hexFrame(const char *hex)
{
    return QByteArray::fromHex(hex);
}

const QByteArray SampleRecord
    = QByteArray::fromHex("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00");

Tm4040Scenario scenario()
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
    s.medThresholdRaw = 500000;
    s.edThresholdRaw = 20000;
    s.nextRecordMinutes = 4;
    s.nextRecordSeconds = 59;
    s.historyStepMinutes = 10;
    s.historyMode = 0x85;
    s.records = {SampleRecord, SampleRecord, SampleRecord, SampleRecord};
    return s;
}

class ForeignSettings : public DeviceSettings
{
public:
    double level = 3.0;
};

template<typename Work> void onOtherThread(Work work)
{
    // The release after the work and the acquire after wait() show race
    // detectors the order that wait() gives: Qt's own locks are invisible
    // to them.
    std::atomic<bool> done {false};
    QScopedPointer<QThread> thread(QThread::create([&] {
        work();
        done.store(true, std::memory_order_release);
    }));
    thread->start();
    QVERIFY(thread->wait(20000));
    done.load(std::memory_order_acquire);
}

} // namespace

class Tm4040AbiTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void getPluginReturnsOneObject();
    void everyOperationFailsBeforeConnecting();
    void sixteenOperations_data();
    void sixteenOperations();
    void foreignSettingsRecord();
    void callsFromThreadsInTurn();
    void answerLimitFromTheEnvironment();

private:
    QLibrary m_library;
    AbstractPlugin *m_plugin = nullptr;
};

void Tm4040AbiTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=false"));
    QString dir = qEnvironmentVariable("ORVANE_PLUGIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../mydlls");
    m_library.setFileName(dir + QStringLiteral("/libtm4040.so"));
    QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
    const auto getPlugin = reinterpret_cast<GetPlugin>(m_library.resolve("getPlugin"));
    QVERIFY(getPlugin);
    m_plugin = getPlugin();
    QVERIFY(m_plugin);
    // Only the entry point is visible.
    QVERIFY(!m_library.resolve("_ZN12Tm4040Plugin13connectDeviceEv"));
    QVERIFY(!m_library.resolve("_ZN13IrDATransport17setAnswerTimeoutMsEi"));
}

void Tm4040AbiTest::cleanup()
{
    m_plugin->disconnectDevice();
    qunsetenv("TM4040_LINK");
    qunsetenv("TM4040_ANSWER_TIMEOUT_MS");
}

void Tm4040AbiTest::getPluginReturnsOneObject()
{
    const auto getPlugin = reinterpret_cast<GetPlugin>(m_library.resolve("getPlugin"));
    QCOMPARE(getPlugin(), m_plugin);
    QCOMPARE(getPlugin(), getPlugin());
}

void Tm4040AbiTest::everyOperationFailsBeforeConnecting()
{
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    m_plugin->disconnectDevice();
    DeviceInfo info {};
    QVERIFY(!m_plugin->readDeviceInfo(&info));
    QVERIFY(m_plugin->readDeviceTime().isNull());
    QVERIFY(!m_plugin->writeTime(QDateTime::currentDateTime()));
    QList<HistoryEvent *> events;
    QVERIFY(!m_plugin->readHistory(events, true));
    QVERIFY(events.isEmpty());
    QVERIFY(!m_plugin->clearHistory());
    Tm4040Settings settings {};
    QVERIFY(!m_plugin->readSettings(&settings));
    QVERIFY(!m_plugin->writeSettings(&settings, false));
    double dose = 0;
    QVERIFY(!m_plugin->readAccumulatedED(&dose));
    QVERIFY(!m_plugin->resetAccumulatedED());
    QCOMPARE(emulator.connectionCount(), 0);
    QVERIFY(emulator.receivedFrames().isEmpty());
}

void Tm4040AbiTest::sixteenOperations_data()
{
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void Tm4040AbiTest::sixteenOperations()
{
    QFETCH(bool, pty);
    Tm4040Emulator emulator(scenario());
    QVERIFY(pty ? emulator.startPty() : emulator.startTcp());
    emulator.exportLink();
    const QByteArray block = emulator.parameterBlock();
    QList<QByteArray> expected;

    // 0
    QVERIFY(m_plugin->isSingleChannel());
    // 1
    QVERIFY(m_plugin->connectDevice());
    // 3
    DeviceInfo info {};
    QVERIFY(m_plugin->readDeviceInfo(&info));
    expected << hexFrame("52 58 33 30 30 38 4D 70");
    QCOMPARE(info.name, QString::fromUtf8("КВР-ТМ4040"));
    QCOMPARE(info.serialNumber, 40401234);
    QVERIFY(info.manufactureDate.isNull());
    QCOMPARE(info.firmwareVersion, 0x3A);
    QCOMPARE(info.deviceTime, QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
    QCOMPARE(info.accumulatedDose, 1.0);
    QCOMPARE(info.historyCount, 4);
    QVERIFY(info.cyclicHistory);
    QVERIFY(!info.spareFlag);
    // 4
    QCOMPARE(m_plugin->readDeviceTime(), QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
    expected << hexFrame("52 58 33 30 30 38 4D 70");
    // 5
    QVERIFY(m_plugin->writeTime(QDateTime(QDate(2009, 12, 31), QTime(0, 0, 0))));
    expected << hexFrame("52 58 33 30 30 38 4D 00 00 00 31 12 09 74");
    // 6, 7, 8: nothing on the wire
    m_plugin->slot6();
    m_plugin->slot7();
    m_plugin->slot8();
    // 9
    QList<HistoryEvent *> events;
    QVERIFY(!m_plugin->readHistory(events, true));
    expected << hexFrame("52 58 33 30 30 38 4D 70") << hexFrame("52 58 33 30 30 38 4D 00 01 02 48");
    QCOMPARE(events.size(), 4);
    for (const HistoryEvent *e : qAsConst(events)) {
        QCOMPARE(e->kind, 2);
        QCOMPARE(e->channel, 2);
        QCOMPARE(e->number, 123);
        QCOMPARE(e->ed, 6789.012f);
        QCOMPARE(e->med, 1.5f);
        QCOMPARE(e->dateTime, QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59)));
        QVERIFY(!e->cyclicHistory && e->timezoneChanged && !e->edThreshold && !e->medThreshold);
        QVERIFY(!e->batteryLow && e->memoryFault && !e->detectorFault && e->hvFault);
    }
    qDeleteAll(events); // the caller owns them; same heap on both sides
    QVERIFY(!m_plugin->readHistory(events, false));
    // 11
    Tm4040Settings settings {};
    settings.clearHistoryOnWrite = false;
    QVERIFY(m_plugin->readSettings(&settings));
    expected << hexFrame("52 58 33 30 30 38 4D 70");
    QCOMPARE(settings.medThreshold, 5000.0);
    QCOMPARE(settings.edThreshold, 20.0);
    QCOMPARE(int(settings.historyStepMinutes), 10);
    QCOMPARE(int(settings.nextRecordMinutes), 4);
    QCOMPARE(int(settings.nextRecordSeconds), 59);
    QVERIFY(settings.cyclicHistory);
    QCOMPARE(int(settings.historyEventsCount), 4);
    QVERIFY(settings.alarmEnabled);
    QCOMPARE(int(settings.alarmHour), 6);
    QCOMPARE(int(settings.alarmMinute), 15);
    QCOMPARE(settings.accumulatedDose, 1.0);
    QCOMPARE(settings.spare, 0.0);
    // 12: four frames, then a fifth with the dose reset
    settings.medThreshold = 0.35;
    settings.edThreshold = 1.5;
    QVERIFY(m_plugin->writeSettings(&settings, false));
    expected << hexFrame("52 58 33 30 30 38 4D 00 00 35 00 00 15 00 72")
             << hexFrame("52 58 33 30 30 38 4D 15 06 01 62") << hexFrame("52 58 33 30 30 38 4D 70")
             << QByteArray("RX3008M") + block.mid(12, 15) + 'h';
    settings.resetAccumulatedDose = true;
    QVERIFY(m_plugin->writeSettings(&settings, true));
    expected << hexFrame("52 58 33 30 30 38 4D 00 00 35 00 00 15 00 72")
             << hexFrame("52 58 33 30 30 38 4D 15 06 01 62") << hexFrame("52 58 33 30 30 38 4D 70")
             << QByteArray("RX3008M") + block.mid(12, 15) + 'h'
             << hexFrame("52 58 33 30 30 38 4D 64");
    // 13
    double dose = -1;
    QVERIFY(m_plugin->readAccumulatedED(&dose));
    expected << hexFrame("52 58 33 30 30 38 4D 70");
    QCOMPARE(dose, 0.0);
    // 14
    QVERIFY(m_plugin->resetAccumulatedED());
    expected << hexFrame("52 58 33 30 30 38 4D 64");
    // 10
    QVERIFY(m_plugin->clearHistory());
    expected << hexFrame("52 58 33 30 30 38 4D 70")
             << hexFrame("52 58 33 30 30 38 4D 00 01 00 C0 00 01 00 C0 00 04 59 00 10 00 85 68");
    QVERIFY(emulator.records().isEmpty());
    // 15
    QVERIFY(m_plugin->slot15().isNull());
    // 2
    m_plugin->disconnectDevice();
    QVERIFY(!m_plugin->readDeviceInfo(&info));

    const QList<QByteArray> received = emulator.receivedFrames();
    QCOMPARE(received.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(received.at(i).toHex(' '), expected.at(i).toHex(' '));
    QCOMPARE(emulator.parameterBlock().mid(40, 7), QByteArray::fromHex("00 00 35 00 00 15 00"));
}

void Tm4040AbiTest::foreignSettingsRecord()
{
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    QVERIFY(m_plugin->connectDevice());
    ForeignSettings foreign;
    QVERIFY(!m_plugin->readSettings(&foreign));
    QVERIFY(!m_plugin->writeSettings(&foreign, false));
    QCOMPARE(foreign.level, 3.0);
    QVERIFY(emulator.receivedFrames().isEmpty());
}

void Tm4040AbiTest::callsFromThreadsInTurn()
{
    // As the program does: a search worker connects, an import worker
    // downloads, the settings dialog reads on the GUI thread.
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    bool connected = false;
    DeviceInfo info {};
    onOtherThread(
        [&] { connected = m_plugin->connectDevice() && m_plugin->readDeviceInfo(&info); });
    QVERIFY(connected);
    QCOMPARE(info.serialNumber, 40401234);
    QList<HistoryEvent *> events;
    onOtherThread([&] { m_plugin->readHistory(events, true); });
    QCOMPARE(events.size(), 4);
    qDeleteAll(events);
    Tm4040Settings settings {};
    QVERIFY(m_plugin->readSettings(&settings));
    QCOMPARE(int(settings.historyEventsCount), 4);
    onOtherThread([&] { m_plugin->disconnectDevice(); });
    QCOMPARE(emulator.receivedLetters(), QByteArray("ppHp"));
}

void Tm4040AbiTest::answerLimitFromTheEnvironment()
{
    Tm4040Scenario silent = scenario();
    silent.faults.silentCommands = "p";
    Tm4040Emulator emulator(silent);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "300");
    QVERIFY(m_plugin->connectDevice());
    QElapsedTimer timer;
    timer.start();
    DeviceInfo info {};
    QVERIFY(!m_plugin->readDeviceInfo(&info));
    QVERIFY2(timer.elapsed() >= 290 && timer.elapsed() < 2000,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(emulator.receivedLetters(), QByteArray("p"));
}

QTEST_GUILESS_MAIN(Tm4040AbiTest)
#include "tst_tm4040abi.moc"
