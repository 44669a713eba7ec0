// The emulator on its own, driven with raw frames over a TCP socket: it
// must behave as the protocol describes a device, or the plug-in tests
// that rest on it prove nothing.

#include "Tm4040Emulator.h"
#include "Tm4040FrameSplitter.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest>

namespace {

QByteArray frame(const char *payloadHex, char letter)
{
    return QByteArray("RX3008M") + QByteArray::fromHex(payloadHex) + letter;
}

// A host that writes frames and collects what comes back.
class RawHost
{
public:
    explicit RawHost(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        m_socket.waitForConnected(2000);
    }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // Everything that arrives within `waitMs` or until `expected` bytes came.
    QByteArray exchange(const QByteArray &request, int expected, int waitMs = 2000)
    {
        if (!request.isEmpty()) {
            m_socket.write(request);
            m_socket.waitForBytesWritten(1000);
        }
        QByteArray answer;
        QElapsedTimer timer;
        timer.start();
        while (answer.size() < expected && timer.elapsed() < waitMs) {
            if (m_socket.bytesAvailable() == 0)
                m_socket.waitForReadyRead(int(qMax<qint64>(1, waitMs - timer.elapsed())));
            answer.append(m_socket.readAll());
            if (m_socket.state() != QAbstractSocket::ConnectedState && !m_socket.bytesAvailable())
                break;
        }
        return answer;
    }

    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
};

Tm4040Scenario frozenScenario()
{
    Tm4040Scenario scenario;
    scenario.clock = QDateTime(QDate(2009, 12, 31), QTime(23, 59, 58));
    scenario.clockRunning = false;
    return scenario;
}

} // namespace

class Tm4040EmulatorTest : public QObject
{
    Q_OBJECT
private slots:
    void parameterBlockLayout();
    void commandsChangeTheDevice();
    void clearingEmptiesTheMemory();
    void historyPackets();
    void historyFaults();
    void silentShortAndSplitAnswers();
    void slowLinkTakesItsByteTime();
    void stateSurvivesReconnection();
    void splitterCutsFrames();
    void recordsFromFile();
};

void Tm4040EmulatorTest::parameterBlockLayout()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.serialNumber = 40401234;
    scenario.firmwareVersion = 0x3A;
    scenario.accumulatedDoseRaw = 0x000186A0;
    scenario.alarmHour = 6;
    scenario.alarmMinute = 15;
    scenario.alarmEnabled = true;
    scenario.medThresholdRaw = 35;
    scenario.edThresholdRaw = 1500;
    scenario.records = Tm4040Scenario::generateRecords(241, scenario.clock.addDays(-3));
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());
    QVERIFY(host.isConnected());

    const QByteArray block = host.exchange(frame("", 'p'), 56);
    QCOMPARE(block.size(), 56);
    QCOMPARE(block, emulator.parameterBlock());
    QCOMPARE(block.mid(0, 9), QByteArray::fromHex("58 59 23 31 12 09 15 06 01"));
    QCOMPARE(block.mid(12, 2), QByteArray::fromHex("02 41"));
    QCOMPARE(block.mid(20, 7), QByteArray::fromHex("00 04 59 00 05 00 85"));
    QCOMPARE(block.mid(28, 4), QByteArray::fromHex("40 40 12 34"));
    QCOMPARE(block.mid(40, 7), QByteArray::fromHex("00 00 35 00 00 15 00"));
    QCOMPARE(block.mid(47, 5), QByteArray::fromHex("3A 00 01 86 A0"));
    QCOMPARE(emulator.receivedLetters(), QByteArray("p"));
    QCOMPARE(emulator.connectionCount(), 1);
}

void Tm4040EmulatorTest::commandsChangeTheDevice()
{
    Tm4040Emulator emulator(frozenScenario());
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());

    QByteArray answer = host.exchange(frame("05 04 03 02 01 10", 't'), 56);
    QCOMPARE(answer.size(), 56);
    QCOMPARE(answer.left(6), QByteArray::fromHex("05 04 03 02 01 10"));
    answer = host.exchange(frame("45 21 01", 'b'), 56);
    QCOMPARE(answer.mid(6, 3), QByteArray::fromHex("45 21 01"));
    answer = host.exchange(frame("12 34 56 00 98 76 54", 'r'), 56);
    QCOMPARE(answer.mid(40, 7), QByteArray::fromHex("12 34 56 00 98 76 54"));
    answer = host.exchange(frame("00 04 00 C0 00 01 00 C0 01 00 00 02 00 00 05", 'h'), 56);
    QCOMPARE(answer.mid(12, 15),
             QByteArray::fromHex("00 04 00 C0 00 01 00 C0 01 00 00 02 00 00 05"));
    answer = host.exchange(frame("", 'd'), 56);
    QCOMPARE(answer.mid(48, 4), QByteArray(4, '\0'));
    QCOMPARE(emulator.receivedLetters(), QByteArray("tbrhd"));
    QCOMPARE(emulator.parameterBlock(), answer);

    // A clock set to something impossible reads back as it was written.
    answer = host.exchange(frame("00 00 00 01 13 10", 't'), 56);
    QCOMPARE(answer.left(6), QByteArray::fromHex("00 00 00 01 13 10"));
}

void Tm4040EmulatorTest::clearingEmptiesTheMemory()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.records = Tm4040Scenario::generateRecords(5, scenario.clock.addDays(-1));
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());
    const QByteArray answer
        = host.exchange(frame("00 01 00 C0 00 01 00 C0 00 04 59 00 05 00 85", 'h'), 56);
    QVERIFY(emulator.records().isEmpty());
    // The cleared pointers read as a count of 1 over unwritten memory.
    QCOMPARE(answer.mid(12, 2), QByteArray::fromHex("00 01"));
    QCOMPARE(host.exchange(frame("00 01 01", 'H'), 48), QByteArray(48, char(0xFF)));
}

void Tm4040EmulatorTest::historyPackets()
{
    const QByteArray record
        = QByteArray::fromHex("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00");
    Tm4040Scenario scenario = frozenScenario();
    scenario.records = {record, record, record, record};
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());
    QCOMPARE(host.exchange(frame("", 'p'), 56).mid(12, 2), QByteArray::fromHex("00 04"));
    const QByteArray packets = host.exchange(frame("00 01 02", 'H'), 96);
    QCOMPARE(packets.size(), 96);
    QCOMPARE(packets.left(64), record + record + record + record);
    QCOMPARE(packets.mid(64), QByteArray(32, char(0xFF)));
    // Nothing more than asked for.
    QCOMPARE(host.exchange(QByteArray(), 1, 100), QByteArray());
}

void Tm4040EmulatorTest::historyFaults()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.records = Tm4040Scenario::generateRecords(9, scenario.clock.addDays(-1));
    scenario.faults.missingHistoryPacket = 2;
    scenario.faults.impossibleDateRecord = 1;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    {
        RawHost host(emulator.tcpPort());
        const QByteArray packets = host.exchange(frame("00 01 03", 'H'), 144, 300);
        QCOMPARE(packets.size(), 96);
        QCOMPARE(packets.mid(0, 16).at(10), char(0x13));
        QCOMPARE(packets.mid(48, 48),
                 emulator.records().at(6) + emulator.records().at(7) + emulator.records().at(8));
    }
    Tm4040Faults faults;
    faults.dropLinkAfterPacket = 1;
    emulator.setFaults(faults);
    RawHost host(emulator.tcpPort());
    const QByteArray packets = host.exchange(frame("00 01 03", 'H'), 144, 1000);
    QCOMPARE(packets.size(), 48);
    QTRY_COMPARE(host.socket().state(), QAbstractSocket::UnconnectedState);
}

void Tm4040EmulatorTest::silentShortAndSplitAnswers()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.faults.silentCommands = "d";
    scenario.faults.shortCommands = "b";
    scenario.faults.shortAnswerBytes = 20;
    scenario.faults.splitCommands = "p";
    scenario.faults.splitPauseMs = 200;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());

    QCOMPARE(host.exchange(frame("", 'd'), 56, 200), QByteArray());
    QCOMPARE(host.exchange(frame("00 07 01", 'b'), 56, 200).size(), 20);
    // The device still took the silent command.
    QCOMPARE(emulator.parameterBlock().mid(48, 4), QByteArray(4, '\0'));

    QElapsedTimer timer;
    timer.start();
    const QByteArray first = host.exchange(frame("", 'p'), 56, 100);
    QCOMPARE(first.size(), 28);
    const QByteArray rest = host.exchange(QByteArray(), 28, 2000);
    QCOMPARE(rest.size(), 28);
    QVERIFY2(timer.elapsed() >= 190, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(first + rest, emulator.parameterBlock());
}

void Tm4040EmulatorTest::slowLinkTakesItsByteTime()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.records = Tm4040Scenario::generateRecords(12, scenario.clock.addDays(-1));
    scenario.faults.baudRate = 9600;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startTcp());
    RawHost host(emulator.tcpPort());
    QElapsedTimer timer;
    timer.start();
    // 4 packets, 192 bytes of 10 bits at 9600 baud: 200 ms.
    const QByteArray packets = host.exchange(frame("00 01 04", 'H'), 192, 3000);
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(packets.size(), 192);
    QVERIFY2(elapsed >= 195 && elapsed < 1500, qPrintable(QString::number(elapsed)));
}

void Tm4040EmulatorTest::stateSurvivesReconnection()
{
    Tm4040Emulator emulator(frozenScenario());
    QVERIFY(emulator.startTcp());
    {
        RawHost host(emulator.tcpPort());
        host.exchange(frame("00 00 00 00 00 00 00", 'r'), 56);
    }
    RawHost second(emulator.tcpPort());
    QCOMPARE(second.exchange(frame("", 'p'), 56).mid(40, 7), QByteArray(7, '\0'));
    QTRY_COMPARE(emulator.connectionCount(), 2);
}

void Tm4040EmulatorTest::splitterCutsFrames()
{
    Tm4040FrameSplitter splitter;
    QByteArray out;
    // Noise before the prefix is skipped; a whole longest frame goes at once.
    const QByteArray h = frame("70 04 00 C0 00 01 00 C0 00 04 59 00 05 00 85", 'h');
    splitter.append(QByteArray("\xFF\x00zz", 4) + h);
    QVERIFY(splitter.next(&out, false));
    QCOMPARE(out, h);
    // The 'h' frame above begins like a 'p' frame ("RX3008M" 70); a short
    // frame waits for the host to go quiet.
    splitter.append(frame("", 'p'));
    QVERIFY(!splitter.next(&out, false));
    QVERIFY(splitter.next(&out, true));
    QCOMPARE(out, frame("", 'p'));
    // Two frames back to back.
    splitter.append(frame("", 'd') + frame("00 01 A7", 'H'));
    QVERIFY(splitter.next(&out, true));
    QCOMPARE(out, frame("", 'd'));
    QVERIFY(splitter.next(&out, true));
    QCOMPARE(out, frame("00 01 A7", 'H'));
    QVERIFY(splitter.isEmpty());
    // A frame that never completes gives way to the next one.
    splitter.append(QByteArray("RX3008M\x12") + frame("", 'p'));
    QVERIFY(splitter.next(&out, true));
    QCOMPARE(out, frame("", 'p'));
}

void Tm4040EmulatorTest::recordsFromFile()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("# two records\n"
               "12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00\n"
               "\n"
               "0010000000070000102405010800 0000\n");
    file.close();
    QList<QByteArray> records;
    QString error;
    QVERIFY(Tm4040Scenario::loadRecords(file.fileName(), &records, &error));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0), QByteArray::fromHex("12 34 56 78 90 12 00 01 50 09 12 31 23 59 59 00"));
    QVERIFY(file.open());
    file.write("12 34 zz\n");
    file.close();
    QVERIFY(!Tm4040Scenario::loadRecords(file.fileName(), &records, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(Tm4040EmulatorTest)
#include "tst_tm4040emulator.moc"
