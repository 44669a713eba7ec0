// The link under the command set: endpoints, exact reads with deadlines,
// faults of the line, the serial-port search, and use from several threads.

#include "IrDATransport.h"
#include "LinkEndpoint.h"
#include "Tm4040Emulator.h"
#include "Tm4040Plugin.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray ParamsRequest("RX3008Mp");

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedLog.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

bool logContains(const QString &text)
{
    for (const QString &line : qAsConst(capturedLog)) {
        if (line.contains(text))
            return true;
    }
    return false;
}

// Runs `work` on a thread of its own and waits for it.
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
    QVERIFY(thread->wait(10000));
    done.load(std::memory_order_acquire);
}

// A pseudo-terminal whose far end keeps sending `line` whatever it is told,
// as a GPS receiver or a modem on a serial port does.
class StreamingPort
{
public:
    explicit StreamingPort(const QByteArray &line)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_path = QString::fromLocal8Bit(::ptsname(m_master));
        // Held open so that the terminal stays up between the probes.
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        m_thread = std::thread([this, line]() {
            char drain[256];
            while (!m_stop) {
                (void)!::write(m_master, line.constData(), size_t(line.size()));
                while (::read(m_master, drain, sizeof drain) > 0) { }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~StreamingPort()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int fd : {m_slave, m_master}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    QString path() const { return m_path; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

Tm4040Scenario scenario()
{
    Tm4040Scenario s;
    s.clock = QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0));
    s.clockRunning = false;
    s.records = Tm4040Scenario::generateRecords(6, s.clock.addDays(-1));
    return s;
}

} // namespace

class Tm4040LinkTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void endpointParsing_data();
    void endpointParsing();
    void answerTimeoutSources();
    void tcpExchange();
    void answerInTwoPartsIsReadWhole();
    void missingAnswerFailsAfterTheLimit();
    void staleBytesDoNotSpoilTheNextAnswer();
    void droppedLinkFailsAtOnce_data();
    void droppedLinkFailsAtOnce();
    void badEndpoints();
    void serialLinkOverPseudoTerminal();
    void searchTakesTheFirstPortThatAnswers();
    void searchGivesUpAfterThreeRounds();
    void searchPassesByAPortThatStreamsOtherData();
    void callsFromDifferentThreads();
    void closeFromAnotherThreadEndsAWait();
    void closedLinkRefusesEverything();
};

void Tm4040LinkTest::initTestCase()
{
    previousHandler = qInstallMessageHandler(captureMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=true"));
}

void Tm4040LinkTest::cleanup()
{
    qunsetenv("TM4040_LINK");
    qunsetenv("TM4040_ANSWER_TIMEOUT_MS");
    IrDATransport::setAnswerTimeoutMs(0);
    IrDATransport::setDiscoveryPorts(QStringList());
    capturedLog.clear();
}

void Tm4040LinkTest::endpointParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("number"); // baud or port

    QTest::newRow("serial") << "serial:/dev/ttyUSB0" << int(LinkEndpoint::Serial) << "/dev/ttyUSB0"
                            << 9600;
    QTest::newRow("serial with speed")
        << "serial:/dev/ttyUSB0:115200" << int(LinkEndpoint::Serial) << "/dev/ttyUSB0" << 115200;
    QTest::newRow("irda") << "irda:/dev/ttyUSB0" << int(LinkEndpoint::IrDA) << "/dev/ttyUSB0"
                          << 115200;
    QTest::newRow("irda capped") << "irda:/dev/ttyS1:9600" << int(LinkEndpoint::IrDA) << "/dev/ttyS1"
                                 << 9600;
    QTest::newRow("irda without port") << "irda:" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("tcp") << "tcp:127.0.0.1:4040" << int(LinkEndpoint::Tcp) << "127.0.0.1" << 4040;
    QTest::newRow("tcp name") << " tcp:irgate.local:23 " << int(LinkEndpoint::Tcp) << "irgate.local"
                              << 23;
    QTest::newRow("tcp ipv6") << "tcp:[::1]:4040" << int(LinkEndpoint::Tcp) << "::1" << 4040;
    QTest::newRow("no scheme") << "/dev/ttyUSB0" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("empty serial") << "serial:" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("bad speed") << "serial:/dev/ttyS0:fast" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("no port") << "tcp:localhost" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("port 0") << "tcp:localhost:0" << int(LinkEndpoint::Invalid) << "" << 0;
    QTest::newRow("port too big") << "tcp:localhost:70000" << int(LinkEndpoint::Invalid) << "" << 0;
}

void Tm4040LinkTest::endpointParsing()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, where);
    QFETCH(int, number);
    const LinkEndpoint endpoint = LinkEndpoint::parse(text);
    QCOMPARE(int(endpoint.kind), kind);
    if (kind == LinkEndpoint::Serial || kind == LinkEndpoint::IrDA) {
        QCOMPARE(endpoint.path, where);
        QCOMPARE(endpoint.baud, number);
    } else if (kind == LinkEndpoint::Tcp) {
        QCOMPARE(endpoint.host, where);
        QCOMPARE(int(endpoint.port), number);
    }
}

void Tm4040LinkTest::answerTimeoutSources()
{
    QCOMPARE(IrDATransport::answerTimeoutMs(), 15000);
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "250");
    QCOMPARE(IrDATransport::answerTimeoutMs(), 250);
    IrDATransport::setAnswerTimeoutMs(700);
    QCOMPARE(IrDATransport::answerTimeoutMs(), 700);
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "nonsense");
    IrDATransport::setAnswerTimeoutMs(0);
    QCOMPARE(IrDATransport::answerTimeoutMs(), 15000);
}

void Tm4040LinkTest::tcpExchange()
{
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    QVERIFY(link.isOpen());
    QVERIFY(link.write(ParamsRequest));
    QByteArray answer;
    QVERIFY(link.read(answer, 56));
    QCOMPARE(answer, emulator.parameterBlock());
    QVERIFY(link.write(QByteArray("RX3008M") + QByteArray::fromHex("000102") + 'H'));
    QByteArray first, second;
    QVERIFY(link.read(first, 48));
    QVERIFY(link.read(second, 48));
    QCOMPARE(first + second, emulator.records().mid(0, 6).join());
}

void Tm4040LinkTest::answerInTwoPartsIsReadWhole()
{
    Tm4040Scenario s = scenario();
    s.faults.splitCommands = "p";
    s.faults.splitPauseMs = 300;
    Tm4040Emulator emulator(s);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    IrDATransport::setAnswerTimeoutMs(3000);
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(link.write(ParamsRequest));
    QByteArray answer;
    QVERIFY(link.read(answer, 56));
    // Taken as soon as the second part is in, not on a fixed polling step.
    QVERIFY2(timer.elapsed() >= 290 && timer.elapsed() < 1400,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(answer, emulator.parameterBlock());
}

void Tm4040LinkTest::missingAnswerFailsAfterTheLimit()
{
    Tm4040Scenario s = scenario();
    s.faults.silentCommands = "p";
    Tm4040Emulator emulator(s);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "300");
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    QVERIFY(link.write(ParamsRequest));
    QElapsedTimer timer;
    timer.start();
    QByteArray answer;
    QVERIFY(!link.read(answer, 56));
    QVERIFY2(timer.elapsed() >= 295 && timer.elapsed() < 1400,
             qPrintable(QString::number(timer.elapsed())));
    // A failed read leaves the link open for the caller to decide.
    QVERIFY(link.isOpen());
}

void Tm4040LinkTest::staleBytesDoNotSpoilTheNextAnswer()
{
    Tm4040Scenario s = scenario();
    s.faults.shortCommands = "p";
    s.faults.shortAnswerBytes = 20;
    Tm4040Emulator emulator(s);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    IrDATransport::setAnswerTimeoutMs(200);
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    QVERIFY(link.write(ParamsRequest));
    QByteArray answer;
    QVERIFY(!link.read(answer, 56));
    // The device now answers in full; the 20 bytes of the old answer must
    // not be taken as the start of the new one.
    emulator.setFaults(Tm4040Faults());
    QVERIFY(link.write(ParamsRequest));
    QVERIFY(link.read(answer, 56));
    QCOMPARE(answer, emulator.parameterBlock());
    QVERIFY(logContains(QStringLiteral("discarded stale bytes = 20")));
}

void Tm4040LinkTest::droppedLinkFailsAtOnce_data()
{
    QTest::addColumn<bool>("pty");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void Tm4040LinkTest::droppedLinkFailsAtOnce()
{
    QFETCH(bool, pty);
    Tm4040Scenario s = scenario();
    s.faults.dropLinkAfterPacket = 1;
    Tm4040Emulator emulator(s);
    QVERIFY(pty ? emulator.startPty() : emulator.startTcp());
    emulator.exportLink();
    IrDATransport::setAnswerTimeoutMs(5000);
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    QVERIFY(link.write(QByteArray("RX3008M") + QByteArray::fromHex("000102") + 'H'));
    QByteArray packet;
    QVERIFY(link.read(packet, 48));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.read(packet, 48));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    // Writing to a link whose other end has gone fails without killing the
    // process with SIGPIPE.
    QTest::qWait(50);
    link.write(ParamsRequest);
    QVERIFY(!link.read(packet, 56));
}

void Tm4040LinkTest::badEndpoints()
{
    IrDATransport link;
    qputenv("TM4040_LINK", "irda:whatever");
    QVERIFY(!link.connectTo(QString(), QString(), true));
    QVERIFY(!link.isOpen());

    // A port nobody listens on: take a free one and close it again.
    quint16 port;
    {
        Tm4040Emulator probe;
        QVERIFY(probe.startTcp());
        port = probe.tcpPort();
    }
    qputenv("TM4040_LINK", QByteArray("tcp:127.0.0.1:") + QByteArray::number(port));
    capturedLog.clear();
    QVERIFY(!link.connectTo(QString(), QString(), true));
    QVERIFY(logContains(QStringLiteral("Connect error =")));

    qputenv("TM4040_LINK", "serial:/dev/no-such-tm4040-port");
    QVERIFY(!link.connectTo(QString(), QString(), true));
    qputenv("TM4040_LINK", "serial:/dev/null");
    QVERIFY(!link.connectTo(QString(), QString(), true)); // not a terminal
}

void Tm4040LinkTest::serialLinkOverPseudoTerminal()
{
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startPty());
    QVERIFY(emulator.link().startsWith(QLatin1String("serial:/dev/")));
    qputenv("TM4040_LINK", (emulator.link() + QStringLiteral(":115200")).toLocal8Bit());
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(link.write(ParamsRequest));
        QByteArray answer;
        QVERIFY(link.read(answer, 56));
        QCOMPARE(answer, emulator.parameterBlock());
    }
    // Reconnecting to the same terminal works: the emulator keeps it alive.
    link.close();
    QVERIFY(link.connectTo(QString(), QString(), true));
    QVERIFY(link.write(ParamsRequest));
    QByteArray answer;
    QVERIFY(link.read(answer, 56));
    QCOMPARE(emulator.receivedLetters(), QByteArray("pppp"));
}

void Tm4040LinkTest::searchTakesTheFirstPortThatAnswers()
{
    Tm4040Scenario silent = scenario();
    silent.faults.silentCommands = "p";
    Tm4040Emulator away(silent);
    Tm4040Scenario present = scenario();
    present.serialNumber = 11112222;
    Tm4040Emulator inRange(present);
    QVERIFY(away.startPty());
    QVERIFY(inRange.startPty());
    IrDATransport::setDiscoveryPorts(
        {QStringLiteral("/dev/no-such-tm4040-port"), away.ptyPath(), inRange.ptyPath()});
    IrDATransport::setAnswerTimeoutMs(200);
    IrDATransport link;
    link.setDiscoveryProbe(ParamsRequest, 56);
    QVERIFY(link.connectTo(QString(), QString(), true));
    QCOMPARE(away.receivedLetters(), QByteArray("p"));
    QCOMPARE(inRange.receivedLetters(), QByteArray("p"));
    // The link stays on the port that answered.
    QVERIFY(link.write(ParamsRequest));
    QByteArray answer;
    QVERIFY(link.read(answer, 56));
    QCOMPARE(answer.mid(28, 4), QByteArray::fromHex("11 11 22 22"));
}

void Tm4040LinkTest::searchGivesUpAfterThreeRounds()
{
    Tm4040Scenario silent = scenario();
    silent.faults.silentCommands = "p";
    Tm4040Emulator away(silent);
    QVERIFY(away.startPty());
    IrDATransport::setDiscoveryPorts({away.ptyPath()});
    IrDATransport::setAnswerTimeoutMs(100);
    IrDATransport link;
    link.setDiscoveryProbe(ParamsRequest, 56);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!link.connectTo(QString(), QString(), true));
    // Three rounds: an IrDA discovery (half a second of listening, seven
    // slots) and a probe of 100 ms each, two pauses of 200 ms.
    QVERIFY2(timer.elapsed() >= 3 * 500 + 3 * 100 + 2 * 200 && timer.elapsed() < 9000,
             qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(away.receivedLetters(), QByteArray("ppp"));
    QVERIFY(!link.isOpen());
}

// 56 bytes alone do not make a dosimeter: the plug-in's search passes by a
// port that streams other data and takes the one that sends a parameter block.
void Tm4040LinkTest::searchPassesByAPortThatStreamsOtherData()
{
    StreamingPort gps("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    QVERIFY(!gps.path().isEmpty());
    Tm4040Emulator inRange(scenario());
    QVERIFY(inRange.startPty());
    IrDATransport::setDiscoveryPorts({gps.path(), inRange.ptyPath()});
    IrDATransport::setAnswerTimeoutMs(300);
    Tm4040Plugin plugin;
    QVERIFY(plugin.connectDevice());
    DeviceInfo info;
    QVERIFY(plugin.readDeviceInfo(&info));
    QCOMPARE(info.serialNumber, qint32(scenario().serialNumber));
    QVERIFY(logContains(QStringLiteral("not a device answer")));
    plugin.disconnectDevice();
}

void Tm4040LinkTest::callsFromDifferentThreads()
{
    Tm4040Emulator emulator(scenario());
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    IrDATransport link;
    bool connected = false;
    onOtherThread([&] { connected = link.connectTo(QString(), QString(), true); });
    QVERIFY(connected);
    QByteArray fromWorker;
    bool workerOk = false;
    onOtherThread([&] { workerOk = link.write(ParamsRequest) && link.read(fromWorker, 56); });
    QVERIFY(workerOk);
    QByteArray fromMain;
    QVERIFY(link.write(ParamsRequest));
    QVERIFY(link.read(fromMain, 56));
    QCOMPARE(fromWorker, fromMain);
    onOtherThread([&] { link.close(); });
    QVERIFY(!link.isOpen());
    QCOMPARE(emulator.connectionCount(), 1);
}

void Tm4040LinkTest::closeFromAnotherThreadEndsAWait()
{
    Tm4040Scenario s = scenario();
    s.faults.silentCommands = "p";
    Tm4040Emulator emulator(s);
    QVERIFY(emulator.startTcp());
    emulator.exportLink();
    IrDATransport::setAnswerTimeoutMs(10000);
    IrDATransport link;
    QVERIFY(link.connectTo(QString(), QString(), true));
    bool readOk = true;
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> done {false};
    QScopedPointer<QThread> worker(QThread::create([&] {
        QByteArray answer;
        readOk = link.write(ParamsRequest) && link.read(answer, 56);
        done.store(true, std::memory_order_release);
    }));
    worker->start();
    QTRY_COMPARE(emulator.receivedLetters(), QByteArray("p"));
    link.close();
    QVERIFY(worker->wait(2000));
    done.load(std::memory_order_acquire);
    QVERIFY(!readOk);
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!link.isOpen());
    // The link can be opened again afterwards.
    emulator.setFaults(Tm4040Faults());
    QVERIFY(link.connectTo(QString(), QString(), true));
    QByteArray answer;
    QVERIFY(link.write(ParamsRequest) && link.read(answer, 56));
}

void Tm4040LinkTest::closedLinkRefusesEverything()
{
    IrDATransport link;
    QByteArray answer;
    QVERIFY(!link.write(ParamsRequest));
    QVERIFY(!link.read(answer, 56));
    link.close();
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(Tm4040LinkTest)
#include "tst_tm4040link.moc"
