// The layers of the emulator's IrDA mode on their own, with hand-built
// frames laid out field by field as IrPHY, IrLAP, IrLMP, TinyTP and IrCOMM
// define them, and a clock that is only a number.

#include "Tm4040DeviceModel.h"
#include "irda/Tm4040IrComm.h"
#include "irda/Tm4040IrLapSecondary.h"
#include "irda/Tm4040IrLmp.h"
#include "irda/Tm4040IrSirDeframer.h"
#include "irda/Tm4040IrSirFramer.h"
#include "irda/Tm4040IrTinyTp.h"
#include "irda/Tm4040IrdaAir.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const qint64 Second = 1000000;
const quint32 DeviceAddress = 0x11223344;
const QByteArray DeviceAddressBytes = hex("44332211"); // low byte first
const QByteArray PrimaryAddressBytes = hex("A1B2C3D4");

// Discovery command: broadcast, XID with P, format 01, source, any
// destination, flags (slot count), slot, version 0.
QByteArray xidCommand(int slot, quint8 flags = 0x02)
{
    return hex("FF3F01") + PrimaryAddressBytes + hex("FFFFFFFF") + char(flags) + char(slot)
        + char(0);
}

// SNRM with P to the device: source, destination, connection address 2A
// (with the C/R bit), then baud 9600..115200, 500 ms, 64 bytes, window 1,
// 12 extra BOFs, 10 ms, and the disconnect times 3, 8 and 12 s.
QByteArray snrm(const QByteArray &destination = DeviceAddressBytes)
{
    return hex("FF93") + PrimaryAddressBytes + destination
        + hex("55 01013E 820101 830101 840101 850104 860101 080107");
}

Tm4040IrLapSecondary::Config lapConfig()
{
    Tm4040IrLapSecondary::Config config;
    config.address = DeviceAddress;
    config.discoveryInfo = hex("800400") + "TM";
    config.firstSlot = true;
    config.offer.baud = Tm4040IrQos::baudMaskUpTo(57600);
    config.offer.dataSize = 0x3F;
    config.offer.windowSize = 0x7F;
    config.offer.additionalBofs = 0x80;
    config.offer.disconnectTime = 0x03;
    return config;
}

QList<QByteArray> frames(Tm4040IrLapSecondary &lap)
{
    QList<QByteArray> result;
    for (const Tm4040IrLapSecondary::Output &output : lap.takeOutput())
        result.append(output.frame);
    return result;
}

// The frames with a good FCS that the air gives back for one frame.
QList<QByteArray> airExchange(Tm4040IrdaAir &air, const QByteArray &frame, qint64 nowUs)
{
    const QByteArray line = Tm4040IrSirFramer::wrap(frame, 0);
    air.receive(line.constData(), line.size(), nowUs);
    Tm4040IrSirDeframer deframer;
    for (const Tm4040IrdaAir::Chunk &chunk : air.takeWire())
        deframer.feed(chunk.bytes.constData(), chunk.bytes.size());
    QList<QByteArray> frames;
    QByteArray raw;
    while (deframer.takeFrame(&raw)) {
        if (Tm4040IrSirFramer::checkFcs(raw))
            frames.append(raw.left(raw.size() - 2));
    }
    return frames;
}

// A primary at connection address 2A, one frame a turn, 100 ms a turn.
// What it sends it sends again until the device's Nr shows it arrived,
// as a real one does when its F-timer runs out.
class AirPrimary
{
public:
    explicit AirPrimary(Tm4040IrdaAir &air)
        : m_air(air)
    { }

    // Discovery, SNRM (64-byte frames, window 1), RR, the IrCOMM connection.
    bool connect()
    {
        QByteArray device;
        for (int slot = 0; slot < 8 && device.isEmpty(); ++slot) {
            for (const QByteArray &frame : airExchange(m_air, xidCommand(slot), m_now))
                device = frame.mid(3, 4);
        }
        const QList<QByteArray> ua = airExchange(m_air, snrm(device), m_now);
        return ua.size() == 1 && ua.first().left(2) == hex("5473") && poll()
            && send(hex("8B02 0100 40 03000104"));
    }
    bool send(const QByteArray &information)
    {
        for (int turn = 0; turn < 100; ++turn) {
            ++m_turns;
            if (this->turn(information))
                return true;
        }
        return false;
    }
    bool poll() { return turn(QByteArray()) || true; }
    // The IrCOMM data received (LSAPs, TinyTP byte, clen, data).
    QByteArray data;
    int turns() const { return m_turns; }
    qint64 now() const { return m_now; }

private:
    bool turn(const QByteArray &information)
    {
        m_now += 100000;
        const quint8 nr = quint8(m_vr << 5);
        const QByteArray frame = information.isEmpty()
            ? hex("55") + char(0x11 | nr)
            : hex("55") + char(0x10 | nr | m_vs << 1) + information;
        bool acknowledged = false;
        for (const QByteArray &answer : airExchange(m_air, frame, m_now)) {
            const quint8 control = quint8(answer.at(1));
            if ((control & 0x01) == 0 && ((control >> 1) & 0x07) == m_vr) {
                m_vr = (m_vr + 1) % 8;
                const QByteArray info = answer.mid(2);
                if (info.size() >= 4 && info.at(0) == 0x02)
                    data += info.mid(4 + quint8(info.at(3)));
            }
            if ((control & 0x03) != 0x03 && (control >> 5) == (m_vs + 1) % 8)
                acknowledged = true;
        }
        if (acknowledged && !information.isEmpty())
            m_vs = (m_vs + 1) % 8;
        return acknowledged;
    }

    Tm4040IrdaAir &m_air;
    int m_vs = 0;
    int m_vr = 0;
    qint64 m_now = 0;
    int m_turns = 0;
};

// A connected secondary, the UA already taken.
void connectLink(Tm4040IrLapSecondary &lap)
{
    lap.receive(snrm(), 0);
    lap.takeOutput();
    lap.takeEvents();
}

} // namespace

class Tm4040IrdaLayersTest : public QObject
{
    Q_OBJECT
private slots:
    void fcsAndSirFraming();
    void deframerDropsWhatIsNotWhole();
    void discoveryAnswerInItsSlot();
    void connectionNegotiatesAndChangesSpeed();
    void refusalAndDisconnect();
    void sequenceNumbersAndRetransmission();
    void busyAndOutOfSequence();
    void watchdogDropsASilentLink();
    void iasAnswersThroughLmp();
    void tinyTpCreditsAndReassembly();
    void ircommControlChannel();
    void airTwoDevicesFirstRefuses();
    void historyComesWholeThroughLostFrames();
    void busySpellHoldsTheCommandBack();
};

void Tm4040IrdaLayersTest::fcsAndSirFraming()
{
    // The CRC-CCITT check value of "123456789", complemented as sent.
    QCOMPARE(Tm4040IrSirFramer::fcs("123456789"), quint16(0x906E));
    // FCS 7D00, low byte first; every C0, C1 and 7D escaped, the FCS too.
    const QByteArray frame = hex("FE7DC07DC1");
    const QByteArray line = hex("FFFF C0 FE 7D5D 7DE0 7D5D 7DE1 00 7D5D C1");
    QCOMPARE(Tm4040IrSirFramer::wrap(frame, 2), line);
    QVERIFY(Tm4040IrSirFramer::checkFcs(frame + hex("007D")));
    QVERIFY(!Tm4040IrSirFramer::checkFcs(frame + hex("017D")));

    Tm4040IrSirDeframer deframer;
    // Fed a byte at a time, with noise before the frame.
    const QByteArray input = hex("0013FF") + line;
    for (const char byte : input)
        deframer.feed(&byte, 1);
    QByteArray out;
    QVERIFY(deframer.takeFrame(&out));
    QCOMPARE(out, frame + hex("007D"));
    QVERIFY(!deframer.takeFrame(&out));
}

void Tm4040IrdaLayersTest::deframerDropsWhatIsNotWhole()
{
    Tm4040IrSirDeframer deframer(8);
    const QByteArray good = hex("C0 FF13 1234 C1");
    // Cut short by a new BOF, an escaped EOF (abort), too short, too long.
    const QByteArray bad = hex("C0 FF13 C0 FF13 7D C1 C0 FF12 C1 C0 0102030405060708090A C1");
    deframer.feed(bad.constData(), bad.size());
    deframer.feed(good.constData(), good.size());
    QByteArray out;
    QVERIFY(deframer.takeFrame(&out));
    QCOMPARE(out, hex("FF131234"));
    QVERIFY(!deframer.takeFrame(&out));
    QCOMPARE(deframer.droppedFrames(), qint64(4));
}

void Tm4040IrdaLayersTest::discoveryAnswerInItsSlot()
{
    Tm4040IrLapSecondary::Config config = lapConfig();
    config.firstSlot = false;
    config.lowestSlot = 1;
    Tm4040IrLapSecondary lap(config);
    QList<QByteArray> answers;
    int answeredSlot = -1;
    for (int slot = 0; slot < 8; ++slot) {
        lap.receive(xidCommand(slot), 0);
        for (const QByteArray &frame : frames(lap)) {
            answers.append(frame);
            answeredSlot = slot;
        }
    }
    lap.receive(xidCommand(0xFF), 0);
    QCOMPARE(answers.size(), 1);
    QVERIFY(answeredSlot >= 1);
    // Broadcast response, XID with F, format 01, our address, the
    // primary's, flags, the slot, version 0, hints 80 04, ASCII, nickname.
    QCOMPARE(answers.first(),
             hex("FEBF01") + DeviceAddressBytes + PrimaryAddressBytes + char(0x02)
                 + char(answeredSlot) + char(0) + hex("800400") + "TM");
    // An XID addressed to another device is not ours to answer.
    lap.receive(hex("FF3F01") + PrimaryAddressBytes + hex("01000000 00 00 00"), 0);
    QVERIFY(frames(lap).isEmpty());
    QCOMPARE(lap.stats().discoveryAnswers, 1);
}

void Tm4040IrdaLayersTest::connectionNegotiatesAndChangesSpeed()
{
    Tm4040IrLapSecondary lap(lapConfig());
    QCOMPARE(lap.baud(), 9600);
    lap.receive(snrm(hex("01020304")), 0); // another device's
    QVERIFY(lap.takeOutput().isEmpty());
    lap.receive(snrm(), 0);
    const QList<Tm4040IrLapSecondary::Output> output = lap.takeOutput();
    QCOMPARE(output.size(), 1);
    // UA with F at the connection address, our address, the primary's;
    // baud and disconnect time are the common ones (up to our 57600; 3
    // and 8 s), the others our own.
    QCOMPARE(output.first().frame,
             hex("5473") + DeviceAddressBytes + PrimaryAddressBytes
                 + hex("01011E 820101 83013F 84017F 850180 860101 080103"));
    QCOMPARE(output.first().baud, 9600);
    QCOMPARE(lap.baud(), 57600);
    QCOMPARE(lap.negotiated().disconnectSeconds(), 8);
    QCOMPARE(lap.takeEvents(), {Tm4040IrLapSecondary::Event::Connected});
    // What we send is held to the primary's data size and window.
    QCOMPARE(lap.maxInfoSize(), 64);
    QCOMPARE(lap.window(), 1);
    QCOMPARE(lap.extraBofs(), 6); // 12 at 115200, scaled to 57600

    // A primary that takes 2048-byte frames at 9600 baud gets none longer
    // than 500 ms of the line carry (400 bytes with the frame around it).
    Tm4040IrLapSecondary slow(lapConfig());
    slow.receive(hex("FF93") + PrimaryAddressBytes + DeviceAddressBytes
                     + hex("55 010102 820101 83013F 84017F"),
                 0);
    QCOMPARE(slow.baud(), 9600);
    QCOMPARE(slow.maxInfoSize(), 394);
}

void Tm4040IrdaLayersTest::refusalAndDisconnect()
{
    Tm4040IrLapSecondary::Config config = lapConfig();
    config.refuse = true;
    Tm4040IrLapSecondary refusing(config);
    refusing.receive(snrm(), 0);
    QCOMPARE(frames(refusing), {hex("541F")}); // DM with F
    QVERIFY(!refusing.isConnected());

    Tm4040IrLapSecondary lap(lapConfig());
    connectLink(lap);
    lap.receive(hex("5553"), Second); // DISC with P
    const QList<Tm4040IrLapSecondary::Output> output = lap.takeOutput();
    QCOMPARE(output.size(), 1);
    QCOMPARE(output.first().frame, hex("5473")); // UA with F, at the link's speed
    QCOMPARE(output.first().baud, 57600);
    QCOMPARE(lap.baud(), 9600);
    QCOMPARE(lap.takeEvents(), {Tm4040IrLapSecondary::Event::Disconnected});
    // A repeated DISC after our UA got lost: DM.
    lap.receive(hex("5553"), Second);
    QCOMPARE(frames(lap), {hex("541F")});
}

void Tm4040IrdaLayersTest::sequenceNumbersAndRetransmission()
{
    Tm4040IrLapSecondary lap(lapConfig());
    connectLink(lap);
    lap.receive(hex("5511"), 0); // RR, Nr 0, P
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5411")}); // RR, Nr 0, F

    lap.receive(hex("5510") + "abc", 0); // I, Ns 0, Nr 0, P
    QCOMPARE(lap.takeReceived(), {QByteArray("abc")});
    lap.queueData("one");
    lap.queueData("two");
    lap.respond(0);
    // The primary takes one frame at a time: Ns 0 with Nr 1 and F.
    QCOMPARE(frames(lap), {hex("5430") + "one"});
    lap.receive(hex("5531"), 0); // RR Nr 1: "one" arrived
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5432") + "two"}); // Ns 1
    lap.receive(hex("5531"), 0); // still Nr 1: "two" was lost
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5432") + "two"});
    QCOMPARE(lap.stats().retransmissions, qint64(1));
    lap.receive(hex("5551"), 0); // Nr 2
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5431")});
    QCOMPARE(lap.pendingFrames(), 0);

    // An Nr that acknowledges frames never sent breaks the rules: its
    // data is not taken, the poll is still answered.
    lap.receive(hex("55B2") + "bad", 0); // I, Ns 1, Nr 5, P
    QVERIFY(lap.takeReceived().isEmpty());
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5431")});
    QCOMPARE(lap.stats().protocolErrors, qint64(1));
}

void Tm4040IrdaLayersTest::busyAndOutOfSequence()
{
    Tm4040IrLapSecondary lap(lapConfig());
    connectLink(lap);
    lap.setLocalBusy(true);
    lap.receive(hex("5510") + "abc", 0);
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5415")}); // RNR, Nr 0: not taken
    QVERIFY(lap.takeReceived().isEmpty());
    lap.setLocalBusy(false);
    lap.receive(hex("5512") + "def", 0); // Ns 1 while Ns 0 is expected
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5419")}); // REJ, Nr 0
    lap.receive(hex("5510") + "abc", 0);
    lap.respond(0);
    QCOMPARE(frames(lap), {hex("5431")});
    QCOMPARE(lap.takeReceived(), {QByteArray("abc")});
    QCOMPARE(lap.stats().rnrSent, qint64(1));
    QCOMPARE(lap.stats().rejSent, qint64(1));
}

void Tm4040IrdaLayersTest::watchdogDropsASilentLink()
{
    Tm4040IrLapSecondary lap(lapConfig()); // 8 s negotiated
    connectLink(lap);
    lap.receive(hex("5511"), 5 * Second);
    lap.respond(5 * Second);
    QCOMPARE(lap.nextDeadline(), 13 * Second);
    lap.onTimer(13 * Second - 1);
    QVERIFY(lap.isConnected());
    lap.onTimer(13 * Second);
    QVERIFY(!lap.isConnected());
    QCOMPARE(lap.baud(), 9600);
    QCOMPARE(lap.takeEvents(), {Tm4040IrLapSecondary::Event::LinkLost});
    QCOMPARE(lap.nextDeadline(), qint64(-1));
}

void Tm4040IrdaLayersTest::iasAnswersThroughLmp()
{
    Tm4040IrIasServer ias;
    ias.addString("Device", "DeviceName", "TM");
    ias.addInteger("IrDA:IrCOMM", "IrDA:TinyTP:LsapSel", 0x0B);
    ias.addOctets("IrDA:IrCOMM", "Parameters", hex("000104"));
    Tm4040IrLmp lmp(ias, {0x0B});

    lmp.receive(hex("80050100")); // connect, LSAP 5 to IAS
    QCOMPARE(lmp.takeOutgoing(), {hex("85008100")});
    // GetValueByClass("IrDA:IrCOMM", "IrDA:TinyTP:LsapSel").
    const QByteArray query = hex("000584 0B") + "IrDA:IrCOMM" + char(0x13) + "IrDA:TinyTP:LsapSel";
    lmp.receive(query);
    // Success, one object (identifier 1), integer 0B.
    QCOMPARE(lmp.takeOutgoing(), {hex("0500 84 00 0001 0001 01 0000000B")});
    lmp.receive(hex("000584 0B") + "IrDA:IrCOMM" + char(0x0A) + "Parameters");
    QCOMPARE(lmp.takeOutgoing(), {hex("0500 84 00 0001 0001 02 0003 000104")});
    lmp.receive(hex("000584 05") + "IrLPT" + char(0x0A) + "Parameters");
    QCOMPARE(lmp.takeOutgoing(), {hex("0500 84 01")}); // no such class
    lmp.receive(hex("000584 06") + "Device" + char(0x04) + "Name");
    QCOMPARE(lmp.takeOutgoing(), {hex("0500 84 02")}); // no such attribute
    QCOMPARE(lmp.iasQueries(), 4);

    // The service comes up to the layer above; unknown selectors are
    // refused, data on no connection is answered with a disconnect.
    lmp.receive(hex("8B06 0100") + "x");
    const QList<Tm4040IrLmp::Event> events = lmp.takeEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.first().local, quint8(0x0B));
    QCOMPARE(events.first().data, QByteArray("x"));
    lmp.receive(hex("8C06 0100"));
    QCOMPARE(lmp.takeOutgoing(), {hex("860C 0208")});
    lmp.receive(hex("0B07") + "data");
    QCOMPARE(lmp.takeOutgoing(), {hex("870B 0206")});
}

void Tm4040IrdaLayersTest::tinyTpCreditsAndReassembly()
{
    Tm4040IrTinyTp ttp(8, 16);
    QByteArray userData;
    // The primary gives 2 credits, takes segmented SDUs up to 1024 bytes.
    QVERIFY(ttp.takeConnect(hex("82 04 01020400") + "comm", &userData));
    QCOMPARE(userData, QByteArray("comm"));
    QCOMPARE(ttp.peerMaxSduSize(), 1024);
    QCOMPARE(ttp.connectPdu("ok"), hex("88 04 01020010") + "ok");
    QVERIFY(!ttp.takeConnect(hex("82 05 010204"), &userData)); // list runs past the end

    // Two data PDUs on two credits; the third waits for credit.
    ttp.send("a");
    ttp.send("b");
    ttp.send("c");
    QByteArray pdu;
    QVERIFY(ttp.takePdu(&pdu, 10));
    QCOMPARE(pdu, hex("00") + "a");
    QVERIFY(ttp.takePdu(&pdu, 10));
    QVERIFY(!ttp.takePdu(&pdu, 10));
    ttp.receive(hex("01")); // credit alone
    QVERIFY(ttp.takePdu(&pdu, 10));
    QCOMPARE(pdu, hex("00") + "c");

    // Segments join into one SDU; each used one of our 8 credits, which
    // come back once the peer is down to half.
    ttp.receive(hex("80") + "ab");
    ttp.receive(hex("80") + "cd");
    ttp.receive(hex("00") + "ef");
    QByteArray sdu;
    QVERIFY(ttp.takeSdu(&sdu));
    QCOMPARE(sdu, QByteArray("abcdef"));
    QVERIFY(!ttp.takePdu(&pdu, 10));
    ttp.receive(hex("00") + "g");
    QVERIFY(ttp.takeSdu(&sdu));
    QVERIFY(ttp.takePdu(&pdu, 10));
    QCOMPARE(pdu, hex("04")); // 4 credits, no data
    // An SDU larger than our 16 bytes is dropped whole.
    ttp.receive(hex("80") + QByteArray(10, 'x'));
    ttp.receive(hex("80") + QByteArray(10, 'y'));
    ttp.receive(hex("00") + "z");
    QVERIFY(!ttp.takeSdu(&sdu));
    QVERIFY(ttp.protocolErrors() > 0);
    // A long SDU goes in segments with M set on all but the last.
    Tm4040IrTinyTp sender;
    sender.takeConnect(hex("05"), &userData);
    sender.send("12345");
    QVERIFY(sender.takePdu(&pdu, 4));
    QCOMPARE(pdu, hex("80") + "123");
    QVERIFY(sender.takePdu(&pdu, 4));
    QCOMPARE(pdu, hex("00") + "45");
}

void Tm4040IrdaLayersTest::ircommControlChannel()
{
    Tm4040IrComm comm;
    // clen 3: service type nine-wire. The answer: the type chosen and
    // the DCE lines (CTS, DSR, CD).
    QCOMPARE(comm.acceptConnect(hex("03 000104")), hex("06 000104 2101B0"));
    comm.receiveSdu(hex("00") + "RX3008Mp");
    // DTE lines and a poll for ours, with data behind them.
    comm.receiveSdu(hex("05 20010C 2200") + "more");
    QCOMPARE(comm.takeData(), QByteArray("RX3008Mpmore"));
    QCOMPARE(comm.dteLines(), quint8(0x0C));
    comm.receiveSdu(hex("05 2200") + "lost"); // clen past the parameters: dropped
    QVERIFY(comm.takeData().isEmpty());
    QCOMPARE(comm.droppedSdus(), qint64(1));

    comm.write(QByteArray(10, 'a'));
    QByteArray sdu;
    QVERIFY(comm.takeSdu(&sdu, 9));
    QCOMPARE(sdu, hex("03 2101B0") + "aaaaa");
    QVERIFY(comm.takeSdu(&sdu, 9));
    QCOMPARE(sdu, hex("00") + "aaaaa");
    QVERIFY(!comm.takeSdu(&sdu, 9));
}

void Tm4040IrdaLayersTest::airTwoDevicesFirstRefuses()
{
    Tm4040Scenario scenario;
    scenario.irdaAddress = DeviceAddress;
    Tm4040IrdaFaults faults;
    faults.secondDeviceRefusing = true;
    Tm4040IrdaAir air(scenario, [](const QByteArray &) { return Tm4040Answer(); });
    air.setFaults(faults, 0);
    QList<QByteArray> answers;
    for (int slot = 0; slot < 8; ++slot) {
        const QByteArray line = Tm4040IrSirFramer::wrap(xidCommand(slot), 0);
        air.receive(line.constData(), line.size(), 0);
        for (const Tm4040IrdaAir::Chunk &chunk : air.takeWire())
            answers.append(chunk.bytes);
    }
    QCOMPARE(answers.size(), 2);
    Tm4040IrSirDeframer deframer;
    QByteArray other;
    QByteArray dosimeter;
    deframer.feed(answers.at(0).constData(), answers.at(0).size());
    deframer.feed(answers.at(1).constData(), answers.at(1).size());
    QVERIFY(deframer.takeFrame(&other) && deframer.takeFrame(&dosimeter));
    QCOMPARE(other.at(12), char(0)); // the other device answers in slot 0
    QCOMPARE(dosimeter.mid(3, 4), DeviceAddressBytes);
    QVERIFY(other.mid(3, 4) != DeviceAddressBytes);

    QCOMPARE(airExchange(air, snrm(other.mid(3, 4)), Second), {hex("541F")});
    QCOMPARE(airExchange(air, snrm(), Second).first().left(2), hex("5473"));
    QCOMPARE(air.counters().refusals, 1);
    QCOMPARE(air.counters().linkConnections, 1);
    QCOMPARE(air.baud(), 115200);
}

void Tm4040IrdaLayersTest::historyComesWholeThroughLostFrames()
{
    Tm4040Scenario scenario;
    scenario.clock = QDateTime(QDate(2024, 5, 1), QTime(8, 0));
    scenario.records = Tm4040Scenario::generateRecords(501, scenario.clock.addDays(-10));
    Tm4040DeviceModel model(scenario);
    Tm4040IrdaAir air(scenario, [&model](const QByteArray &frame) {
        return model.handle(frame, Tm4040Faults());
    });
    AirPrimary primary(air);
    QVERIFY(primary.connect());
    Tm4040IrdaFaults faults;
    faults.seed = 12;
    faults.dropToDevice = faults.dropFromDevice = 0.1;
    faults.corruptToDevice = faults.corruptFromDevice = 0.1;
    air.setFaults(faults, primary.now());

    // The whole memory, 167 packets, in frames of 60 bytes.
    QVERIFY(primary.send(hex("0B02 00 00") + "RX3008M" + hex("0001A7") + 'H'));
    for (int turn = 0; primary.data.size() < 8016 && turn < 1000; ++turn) {
        if (turn % 50 == 49)
            QVERIFY(primary.send(hex("0B02 32"))); // 50 more TinyTP credits
        primary.poll();
    }
    QByteArray memory;
    for (const QByteArray &record : model.records())
        memory += record;
    QCOMPARE(primary.data, memory);
    const Tm4040IrdaCounters counters = air.counters();
    QVERIFY(counters.retransmissions > 0);
    QVERIFY(counters.droppedToDevice > 0 && counters.droppedFromDevice > 0);
    QVERIFY(counters.corruptedToDevice > 0 && counters.corruptedFromDevice > 0);
    QCOMPARE(counters.linkLosses, 0);
}

void Tm4040IrdaLayersTest::busySpellHoldsTheCommandBack()
{
    Tm4040Scenario scenario;
    scenario.faults.irda.busyMs = 450;
    scenario.faults.irda.busyAfterIFrames = 1; // after the IrCOMM connection
    Tm4040DeviceModel model(scenario);
    QByteArray frames;
    Tm4040IrdaAir air(scenario, [&](const QByteArray &frame) {
        frames += frame;
        return model.handle(frame, Tm4040Faults());
    });
    air.setFaults(scenario.faults.irda, 0);
    AirPrimary primary(air);
    QVERIFY(primary.connect());
    const int turnsBefore = primary.turns();
    QVERIFY(primary.send(hex("0B02 00 00") + "RX3008Mp"));
    // Turns of 100 ms: RNR until the 450 ms are over.
    QCOMPARE(primary.turns() - turnsBefore, 5);
    QCOMPARE(frames, QByteArray("RX3008Mp"));
    QCOMPARE(primary.data.size(), 56);
    QCOMPARE(air.counters().rnrSent, qint64(4));
}

QTEST_GUILESS_MAIN(Tm4040IrdaLayersTest)
#include "tst_tm4040irdalayers.moc"
