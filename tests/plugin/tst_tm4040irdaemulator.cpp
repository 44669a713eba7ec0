// The emulator in IrDA mode as a whole, over its pseudo-terminal, driven by
// a small scripted primary station written here from the frame layouts of
// IrLAP, IrLMP, TinyTP and IrCOMM (not by a stack of ours).

#include "Tm4040Emulator.h"
#include "irda/Tm4040IrSirDeframer.h"
#include "irda/Tm4040IrSirFramer.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray PrimaryAddress = hex("A1B2C3D4");
const quint8 CommLsap = 0x0B;
const char PrimaryCommLsap = 0x02;

QByteArray xid(int slot)
{
    return hex("FF3F01") + PrimaryAddress + hex("FFFFFFFF 02") + char(slot) + char(0);
}

// The host's side of the dongle: frames out, frames in, and the sequence
// numbers of a primary station at connection address 2A.
class Primary
{
public:
    explicit Primary(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        setSpeed(B9600);
    }
    ~Primary() { ::close(m_fd); }

    void setSpeed(speed_t speed)
    {
        termios tio;
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, speed);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }

    void send(const QByteArray &frame)
    {
        const QByteArray line = Tm4040IrSirFramer::wrap(frame, 1);
        QVERIFY(::write(m_fd, line.constData(), size_t(line.size())) == line.size());
    }

    // Frames with a good FCS until `count` came, or one with the final
    // bit when `count` is 0, or `waitMs` passed.
    QList<QByteArray> receive(int count = 0, int waitMs = 3000)
    {
        QList<QByteArray> frames;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < waitMs) {
            QByteArray raw;
            while (m_deframer.takeFrame(&raw)) {
                if (!Tm4040IrSirFramer::checkFcs(raw))
                    continue;
                frames.append(raw.left(raw.size() - 2));
                if (count > 0 ? frames.size() == count : (quint8(raw.at(1)) & 0x10))
                    return frames;
            }
            pollfd fd = {m_fd, POLLIN, 0};
            ::poll(&fd, 1, int(qMax<qint64>(1, waitMs - timer.elapsed())));
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                m_deframer.feed(buffer, int(n));
        }
        return frames;
    }

    QList<QByteArray> exchange(const QByteArray &frame, int waitMs = 3000)
    {
        send(frame);
        return receive(0, waitMs);
    }

    // An I-frame with P and what comes back; the device's I-frames must
    // come in sequence. Returns their information fields.
    QList<QByteArray> sendI(const QByteArray &information)
    {
        const quint8 control = quint8(m_vr << 5 | m_vs << 1 | 0x10);
        m_vs = (m_vs + 1) % 8;
        return take(exchange(QByteArray("\x55", 1) + char(control) + information));
    }
    // RR with P, acknowledging what came so far.
    QByteArray rr() const { return hex("55") + char(0x11 | m_vr << 5); }
    QList<QByteArray> pollRr() { return take(exchange(rr())); }
    // A new link: sequence numbers from 0, the speed of discovery.
    void restart()
    {
        m_vs = m_vr = 0;
        setSpeed(B9600);
    }

    // Data of the IrCOMM connection: LSAPs, TinyTP byte, clen 0, data.
    QList<QByteArray> sendComm(const QByteArray &data)
    {
        return sendI(QByteArray(1, char(CommLsap)) + PrimaryCommLsap + char(0) + char(0) + data);
    }
    // The IrCOMM data inside the device's I-frames.
    static QByteArray commData(const QList<QByteArray> &frames)
    {
        QByteArray data;
        for (const QByteArray &info : frames) {
            if (info.size() >= 4 && info.at(0) == PrimaryCommLsap)
                data += info.mid(4 + quint8(info.at(3)));
        }
        return data;
    }

private:
    QList<QByteArray> take(const QList<QByteArray> &frames)
    {
        QList<QByteArray> information;
        for (const QByteArray &frame : frames) {
            if (frame.size() < 2 || quint8(frame.at(0)) != 0x54 || (frame.at(1) & 0x01))
                continue;
            if (((frame.at(1) >> 1) & 0x07) != m_vr) {
                qWarning("I-frame out of sequence");
                continue;
            }
            m_vr = (m_vr + 1) % 8;
            information.append(frame.mid(2));
        }
        return information;
    }

    int m_fd = -1;
    Tm4040IrSirDeframer m_deframer;
    int m_vs = 0;
    int m_vr = 0;
};

// Discovery, then SNRM with baud 9600 to 115200, 64-byte frames, window 1,
// no extra BOFs, 3 s; the host follows the speed; the IrCOMM connection
// (TinyTP credit 14, nine-wire). Returns the device's address bytes.
QByteArray connectComm(Primary &primary)
{
    primary.restart();
    for (int slot = 0; slot < 8; ++slot)
        primary.send(xid(slot));
    const QList<QByteArray> answers = primary.receive(1);
    if (answers.size() != 1)
        return QByteArray();
    primary.send(xid(0xFF) + hex("800400") + "PC");
    const QByteArray device = answers.first().mid(3, 4);
    const QList<QByteArray> ua
        = primary.exchange(hex("FF93") + PrimaryAddress + device
                           + hex("55 01013E 820101 830101 840101 850180 860180 080101"));
    if (ua.size() != 1 || ua.first().left(2) != hex("5473"))
        return QByteArray();
    primary.setSpeed(B115200);
    primary.pollRr();
    primary.sendI(hex("8B02 0100 0E 03000104"));
    return device;
}

Tm4040Scenario frozenScenario()
{
    Tm4040Scenario scenario;
    scenario.clock = QDateTime(QDate(2024, 5, 1), QTime(8, 0));
    scenario.clockRunning = false;
    scenario.irdaAddress = 0x40404040;
    scenario.records = Tm4040Scenario::generateRecords(10, scenario.clock.addDays(-1));
    return scenario;
}

} // namespace

class Tm4040IrdaEmulatorTest : public QObject
{
    Q_OBJECT
private slots:
    void wholeSession();
    void deviceFallsSilentInAHistory();
    void realTimingAtTheSpeedLimit();
};

void Tm4040IrdaEmulatorTest::wholeSession()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.faults.irda.checkHostSpeed = true;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startPty(Tm4040Emulator::PtyMode::Irda));
    QVERIFY(emulator.link().startsWith("irda:/dev/"));
    QCOMPARE(emulator.irdaAddress(), quint32(0x40404040));
    Primary primary(emulator.ptyPath());

    // Discovery: one answer in one of the 8 slots, with the nickname.
    for (int slot = 0; slot < 8; ++slot)
        primary.send(xid(slot));
    const QList<QByteArray> answers = primary.receive(1);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.first().left(11), hex("FEBF01 40404040") + PrimaryAddress);
    QCOMPARE(answers.first().mid(13), hex("00 800400") + "Watch RX4040 v0.1");
    primary.send(xid(0xFF) + hex("800400") + "PC");

    // Connection at 9600: UA with the common speeds, then 115200.
    const QList<QByteArray> ua
        = primary.exchange(hex("FF93") + PrimaryAddress
                           + hex("40404040 55 01013E 820101 830101 840101 850180 860180 080101"));
    QCOMPARE(ua,
             {hex("5473 40404040") + PrimaryAddress
              + hex("01013E 820101 83013F 84017F 850180 860104 080101")});
    // The dongle hears nothing while the host is still at 9600.
    QVERIFY(primary.exchange(hex("5511"), 200).isEmpty());
    primary.setSpeed(B115200);
    QCOMPARE(primary.exchange(hex("5511")), {hex("5411")});
    QCOMPARE(emulator.irdaCounters().baud, 115200);

    // IAS: connect LSAP 1 to 0, ask for the IrCOMM service's TinyTP
    // selector (integer 0B), disconnect.
    QCOMPARE(primary.sendI(hex("80010100")), {hex("81008100")});
    QCOMPARE(primary.sendI(hex("000184 0B") + "IrDA:IrCOMM" + char(0x13) + "IrDA:TinyTP:LsapSel"),
             {hex("0100 84 00 0001 0001 01 0000000B")});
    QVERIFY(primary.sendI(hex("80010201")).isEmpty());

    // IrCOMM: LSAP 2 to 0B, TinyTP credit 14, nine-wire. The answer
    // gives 8 credits, takes SDUs up to 4096 bytes, nine-wire, DCE lines.
    QCOMPARE(primary.sendI(hex("8B02 0100 0E 03000104")),
             {hex("820B 8100 88 04 01021000 06 000104 2101B0")});

    // The commands inside the stream, answered as over any other link.
    const QList<QByteArray> block = primary.sendComm("RX3008Mp");
    QCOMPARE(block.size(), 1);
    QCOMPARE(block.first().left(4), hex("020B 01 00")); // one credit back, clen 0
    QCOMPARE(Primary::commData(block), emulator.parameterBlock());
    const QByteArray thresholds = hex("00003500001500");
    const QByteArray answer = Primary::commData(primary.sendComm("RX3008M" + thresholds + 'r'));
    QCOMPARE(answer.mid(40, 7), thresholds);

    QByteArray history = Primary::commData(primary.sendComm(hex("52583330 30384D 000104 48")));
    for (int polls = 0; history.size() < 4 * 48 && polls < 10; ++polls)
        history += Primary::commData(primary.pollRr());
    QByteArray memory;
    for (const QByteArray &record : emulator.records())
        memory += record;
    QCOMPARE(history.left(160), memory);
    QCOMPARE(history.mid(160), QByteArray(32, char(0xFF)));
    QCOMPARE(emulator.receivedLetters(), QByteArray("prH"));

    // Disconnection: UA at the link's speed, then back to 9600.
    QCOMPARE(primary.exchange(hex("5553")), {hex("5473")});
    const Tm4040IrdaCounters counters = emulator.irdaCounters();
    QCOMPARE(counters.baud, 9600);
    QCOMPARE(counters.disconnects, 1);
    QCOMPARE(counters.iasQueries, 1);
    QCOMPARE(counters.hostSpeedMismatches, qint64(1));
    QCOMPARE(counters.badFrames, qint64(0));
    QCOMPARE(emulator.connectionCount(), 1);
}

void Tm4040IrdaEmulatorTest::deviceFallsSilentInAHistory()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.faults.dropLinkAfterPacket = 2;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startPty(Tm4040Emulator::PtyMode::Irda));
    Primary primary(emulator.ptyPath());
    QVERIFY(!connectComm(primary).isEmpty());

    // Two packets (96 bytes) come, then the device leaves: polls go
    // unanswered.
    QByteArray history = Primary::commData(primary.sendComm(hex("52583330 30384D 000104 48")));
    for (int polls = 0; history.size() < 96 && polls < 10; ++polls)
        history += Primary::commData(primary.pollRr());
    QCOMPARE(history.size(), 96);
    QVERIFY(primary.exchange(primary.rr(), 200).isEmpty());

    // Back in the beam for the next discovery, and it connects again.
    Tm4040Faults faults = emulator.faults();
    faults.dropLinkAfterPacket = 0;
    emulator.setFaults(faults);
    QCOMPARE(connectComm(primary), hex("40404040"));
    QCOMPARE(emulator.connectionCount(), 2);
}

void Tm4040IrdaEmulatorTest::realTimingAtTheSpeedLimit()
{
    Tm4040Scenario scenario = frozenScenario();
    scenario.faults.irda.maxBaud = 9600;
    scenario.faults.irda.realTiming = true;
    Tm4040Emulator emulator(scenario);
    QVERIFY(emulator.startPty(Tm4040Emulator::PtyMode::Irda));
    Primary primary(emulator.ptyPath());
    QVERIFY(!connectComm(primary).isEmpty());
    QCOMPARE(emulator.irdaCounters().baud, 9600);

    // The answer's frame: 56 bytes, 4 of headers, address, control, FCS,
    // BOF and EOF: 66 bytes of 10 bits at 9600 baud, about 69 ms.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Primary::commData(primary.sendComm("RX3008Mp")).size(), 56);
    QVERIFY2(timer.elapsed() >= 65, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(Tm4040IrdaEmulatorTest)
#include "tst_tm4040irdaemulator.moc"
