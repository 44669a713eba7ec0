// The IrLAP primary on a fake clock: discovery after the medium was quiet,
// connection and negotiation, the change of speed, windows of I-frames,
// retransmission, REJ, RNR, wrong Nr, keeping the link polled, link loss
// and disconnection. The secondary is played frame by frame.

#include "irda/IrLapFrame.h"
#include "irda/IrLapPrimary.h"
#include "irda/SirDeframer.h"
#include "irda/SirFrame.h"

#include <QtTest>

namespace {

constexpr quint32 Own = 0x11223344;
constexpr quint32 Peer = 0xA1B2C3D4;
constexpr quint8 Ca = 0x35;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray address(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
    return bytes;
}

// The primary with its clock and the frames it sent.
struct Rig
{
    IrMicros now = 0;
    IrLapPrimary lap;
    QList<IrTransmission> sent;

    Rig()
        : lap(config(), 0)
    { }

    static IrLapPrimary::Config config()
    {
        IrLapPrimary::Config c;
        c.ownAddress = Own;
        c.connectionAddress = Ca;
        c.discoveryInfo = hex("8404 00") + "pc";
        return c;
    }

    // Runs the clock to `until`, stepping from deadline to deadline.
    void runTo(IrMicros until)
    {
        for (int guard = 0; guard < 100000; ++guard) {
            const IrMicros next = lap.nextDeadline();
            if (next > until)
                break;
            now = qMax(now, next);
            lap.onTimer(now);
            sent += lap.takeTransmit();
        }
        now = until;
        lap.onTimer(now);
        sent += lap.takeTransmit();
    }
    void advance(IrMicros by) { runTo(now + by); }

    void reply(const QByteArray &frame)
    {
        lap.receiveBytes(SirFrame::encode(frame, 0), now);
        sent += lap.takeTransmit();
    }

    // The frames sent since the last call.
    QList<IrLapFrame> frames()
    {
        sent += lap.takeTransmit();
        QList<IrLapFrame> frames;
        for (const IrTransmission &transmission : qAsConst(sent)) {
            SirDeframer deframer;
            deframer.receive(transmission.line);
            const QList<QByteArray> raw = deframer.takeFrames();
            for (const QByteArray &bytes : raw)
                frames.append(IrLapFrame::parse(bytes));
        }
        sent.clear();
        return frames;
    }

    QList<IrLapEvent::Kind> eventKinds()
    {
        QList<IrLapEvent::Kind> kinds;
        const QList<IrLapEvent> events = lap.takeEvents();
        for (const IrLapEvent &event : events)
            kinds.append(event.kind);
        return kinds;
    }

    QByteArray data()
    {
        QByteArray data;
        const QList<IrLapEvent> events = lap.takeEvents();
        for (const IrLapEvent &event : events) {
            if (event.kind == IrLapEvent::Data)
                data += event.data + '|';
        }
        return data;
    }

    // Connected at 115200 b/s with the secondary's window and 64-byte frames.
    void connect(quint8 windowBits = 0x07, quint8 minTurnaroundBits = 0x80)
    {
        lap.connectTo(Peer, now);
        frames();
        advance(20 * IrMillisecond);
        IrLapParameters theirs;
        theirs.baudRates = 0x3E;
        theirs.windowSizes = windowBits;
        theirs.additionalBofs = 0x80;
        theirs.minTurnaround = minTurnaroundBits;
        theirs.linkDisconnect = 0x07;
        reply(IrLapFrame::build(Ca, false, IrLapFrame::UA | IrLapFrame::PollFinal,
                                address(Peer) + address(Own) + theirs.encode()));
        lap.takeEvents();
        // The first RR went out at once; the device's answer is awaited.
        frames();
    }

    static QByteArray rr(int nr, bool final = true)
    {
        return IrLapFrame::supervisory(Ca, false, IrLapFrame::RR, nr, final);
    }
};

} // namespace

class IrdaLapTest : public QObject
{
    Q_OBJECT
private slots:
    void discoveryWaitsForAQuietMedium();
    void discoveryGivesUpOnABusyMedium();
    void connectNegotiatesThenChangesSpeed();
    void refusalAndSilenceEndTheConnect();
    void windowsOfInformationFrames();
    void lostAnswerIsPolledAndResent();
    void longAnswerIsNotCutByThePoll();
    void gapInReceivedFramesAsksWithRej();
    void wrongNrAndStrangersAreDropped();
    void busyPeerGetsNoData();
    void idleLinkIsPolledCalmly();
    void silentPeerLosesTheLink();
    void disconnectWithDisc();
};

void IrdaLapTest::discoveryWaitsForAQuietMedium()
{
    Rig rig;
    rig.runTo(200 * IrMillisecond);
    QVERIFY(rig.lap.startDiscovery(rig.now));
    // Someone else's bytes restart the 500 ms of listening.
    rig.advance(100 * IrMillisecond);
    rig.lap.receiveBytes(hex("C0 12 34"), rig.now);
    rig.advance(499 * IrMillisecond);
    QVERIFY(rig.frames().isEmpty());
    rig.advance(1 * IrMillisecond);
    QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().type(), IrLapFrame::XidCommand);
    QCOMPARE(frames.first().info, hex("01") + address(Own) + hex("FFFFFFFF 01 00 00"));
    QCOMPARE(rig.lap.lineBaud(), 9600);

    // Two devices answer (one twice), a third answers someone else.
    const auto answer = [&](quint32 from, quint32 to, const QByteArray &info) {
        rig.reply(
            IrLapFrame::build(0x7F, false, IrLapFrame::XidResponse | IrLapFrame::PollFinal,
                              hex("01") + address(from) + address(to) + hex("01 00 00") + info));
    };
    rig.advance(40 * IrMillisecond);
    answer(Peer, Own, hex("8204 00") + "TM4040");
    answer(Peer, Own, hex("8204 00") + "TM4040");
    answer(0x55, 0x99, hex("00"));
    rig.advance(200 * IrMillisecond);
    answer(0x66778899, Own, QByteArray());
    rig.advance(2 * IrSecond);
    frames = rig.frames();
    // Slots 1 to 5 and the final frame with our own discovery information.
    QCOMPARE(frames.size(), 6);
    QCOMPARE(quint8(frames.last().info.at(10)), quint8(0xFF));
    QVERIFY(frames.last().info.endsWith(hex("8404 00") + "pc"));
    const QList<IrLapEvent> events = rig.lap.takeEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(int(events.first().kind), int(IrLapEvent::DiscoveryDone));
    QCOMPARE(events.first().devices.size(), 2);
    QCOMPARE(events.first().devices.at(0).address, Peer);
    QCOMPARE(events.first().devices.at(0).name(), QStringLiteral("TM4040"));
    QCOMPARE(events.first().devices.at(1).address, quint32(0x66778899));
}

void IrdaLapTest::discoveryGivesUpOnABusyMedium()
{
    Rig rig;
    rig.lap.startDiscovery(rig.now);
    for (int i = 0; i < 40; ++i) {
        rig.advance(100 * IrMillisecond);
        rig.lap.receiveBytes(hex("55"), rig.now);
    }
    QVERIFY(rig.frames().isEmpty());
    const QList<IrLapEvent> events = rig.lap.takeEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.first().reason, QStringLiteral("media busy"));
}

void IrdaLapTest::connectNegotiatesThenChangesSpeed()
{
    Rig rig;
    QVERIFY(rig.lap.connectTo(Peer, rig.now));
    QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    const IrLapFrame snrm = frames.first();
    QCOMPARE(snrm.connectionAddress, IrLapFrame::BroadcastAddress);
    QCOMPARE(snrm.control, quint8(0x93));
    // Source, destination, new connection address, then what we offer.
    QCOMPARE(snrm.info.left(9), address(Own) + address(Peer) + char(Ca << 1));
    QCOMPARE(snrm.info.mid(9),
             hex("01 01 3E 82 01 01 83 01 3F 84 01 7F 85 01 80 86 01 04 08 01 07"));

    IrLapParameters theirs;
    theirs.baudRates = 0x3E;
    theirs.dataSizes = 0x3F;
    theirs.windowSizes = 0x7F;
    theirs.additionalBofs = 0x80;
    theirs.minTurnaround = 0x01; // 10 ms
    theirs.linkDisconnect = 0x03;
    rig.advance(30 * IrMillisecond);
    // A UA meant for another primary changes nothing.
    rig.reply(IrLapFrame::build(Ca, false, 0x73, address(Peer) + address(0x999) + theirs.encode()));
    QCOMPARE(rig.lap.lineBaud(), 9600);
    rig.reply(IrLapFrame::build(Ca, false, 0x73, address(Peer) + address(Own) + theirs.encode()));
    QCOMPARE(rig.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::Connected);
    QCOMPARE(rig.lap.lineBaud(), 115200);
    QCOMPARE(rig.lap.qos().disconnectTime, 8 * IrSecond);
    QCOMPARE(rig.lap.maxInfoSize(), 2048);
    // The first RR goes at the new speed, after the device's 10 ms.
    rig.advance(9 * IrMillisecond);
    QVERIFY(rig.sent.isEmpty());
    rig.advance(1 * IrMillisecond);
    QCOMPARE(rig.sent.size(), 1);
    QCOMPARE(rig.sent.first().baud, 115200);
    QCOMPARE(rig.frames().first().control, quint8(0x11)); // RR, P, Nr 0
}

void IrdaLapTest::refusalAndSilenceEndTheConnect()
{
    Rig refused;
    refused.lap.connectTo(Peer, 0);
    refused.reply(IrLapFrame::build(Ca, false, IrLapFrame::DM | IrLapFrame::PollFinal));
    QCOMPARE(refused.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::ConnectFailed);
    QCOMPARE(int(refused.lap.state()), int(IrLapPrimary::State::Ndm));

    Rig silent;
    silent.lap.connectTo(Peer, 0);
    silent.advance(5 * IrSecond);
    QCOMPARE(silent.frames().size(), 3); // SNRM and two retries
    QCOMPARE(silent.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::ConnectFailed);
}

void IrdaLapTest::windowsOfInformationFrames()
{
    Rig rig;
    rig.connect(0x04); // the device takes 3 frames at a time
    for (int i = 0; i < 5; ++i)
        QVERIFY(rig.lap.send(QByteArray(1, char('a' + i))));
    QVERIFY(!rig.lap.send(QByteArray(65, 'x'))); // over the 64 bytes it takes
    rig.reply(Rig::rr(0));
    QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(int(frames.at(i).kind), int(IrLapFrame::Information));
        QCOMPARE(frames.at(i).ns, i);
        QCOMPARE(frames.at(i).pollFinal, i == 2);
    }
    // The device answers with data of its own and acknowledges all three.
    rig.reply(IrLapFrame::information(Ca, false, 0, 3, false, "X"));
    rig.reply(IrLapFrame::information(Ca, false, 1, 3, true, "Y"));
    QCOMPARE(rig.data(), QByteArray("X|Y|"));
    frames = rig.frames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0).ns, 3);
    QCOMPARE(frames.at(0).nr, 2);
    QCOMPARE(frames.at(1).info, QByteArray("e"));
    rig.reply(Rig::rr(5));
    QCOMPARE(rig.lap.pendingFrames(), 0);
}

void IrdaLapTest::lostAnswerIsPolledAndResent()
{
    Rig rig;
    rig.connect();
    rig.lap.send("one");
    rig.lap.send("two");
    rig.reply(Rig::rr(0));
    QCOMPARE(rig.frames().size(), 2);
    // Nothing comes back: after the F timer the device is polled.
    rig.advance(499 * IrMillisecond);
    QVERIFY(rig.frames().isEmpty());
    rig.advance(10 * IrMillisecond);
    QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().type(), IrLapFrame::RR);
    QVERIFY(frames.first().pollFinal);
    // It got the first frame only: the second goes again, same Ns.
    rig.reply(Rig::rr(1));
    frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().ns, 1);
    QCOMPARE(frames.first().info, QByteArray("two"));
    QCOMPARE(rig.lap.stats().retransmissions, 1);
}

void IrdaLapTest::longAnswerIsNotCutByThePoll()
{
    Rig rig;
    rig.connect();
    // A 900-byte frame trickles in for longer than the F timer.
    const QByteArray info(900, 'h');
    const QByteArray line
        = SirFrame::encode(IrLapFrame::information(Ca, false, 0, 0, true, info), 0);
    for (const char byte : line) {
        rig.advance(1 * IrMillisecond);
        rig.lap.receiveBytes(QByteArray(1, byte), rig.now);
    }
    QCOMPARE(rig.lap.stats().pollTimeouts, 0);
    QCOMPARE(rig.data(), info + '|');
}

void IrdaLapTest::gapInReceivedFramesAsksWithRej()
{
    Rig rig;
    rig.connect();
    // Frame 0 is lost on the way; frame 1 must not be passed up.
    rig.reply(IrLapFrame::information(Ca, false, 1, 0, true, "B"));
    QCOMPARE(rig.data(), QByteArray());
    const QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().type(), IrLapFrame::REJ);
    QCOMPARE(frames.first().nr, 0);
    rig.reply(IrLapFrame::information(Ca, false, 0, 0, false, "A"));
    rig.reply(IrLapFrame::information(Ca, false, 1, 0, true, "B"));
    QCOMPARE(rig.data(), QByteArray("A|B|"));
}

void IrdaLapTest::wrongNrAndStrangersAreDropped()
{
    Rig rig;
    rig.connect();
    rig.advance(1);
    rig.frames();
    const int rejected = rig.lap.stats().rejected;
    // Nr 4 acknowledges frames never sent; another address; a command.
    rig.reply(IrLapFrame::information(Ca, false, 0, 4, true, "bad"));
    rig.reply(IrLapFrame::information(0x22, false, 0, 0, true, "other"));
    rig.reply(IrLapFrame::information(Ca, true, 0, 0, true, "command"));
    QCOMPARE(rig.data(), QByteArray());
    QCOMPARE(rig.lap.stats().rejected, rejected + 3);
    // The link goes on with the proper frame.
    rig.reply(IrLapFrame::information(Ca, false, 0, 0, true, "good"));
    QCOMPARE(rig.data(), QByteArray("good|"));
}

void IrdaLapTest::busyPeerGetsNoData()
{
    Rig rig;
    rig.connect();
    rig.advance(1);
    rig.frames();
    rig.reply(IrLapFrame::supervisory(Ca, false, IrLapFrame::RNR, 0, true));
    rig.lap.send("wait");
    rig.advance(29 * IrMillisecond);
    QVERIFY(rig.frames().isEmpty());
    rig.advance(1 * IrMillisecond);
    QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().type(), IrLapFrame::RR);
    rig.reply(Rig::rr(0));
    frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().info, QByteArray("wait"));
}

void IrdaLapTest::idleLinkIsPolledCalmly()
{
    Rig rig;
    rig.connect();
    // Answered at once while something may still come...
    rig.reply(Rig::rr(0));
    QCOMPARE(rig.frames().size(), 1);
    // ...then, with nothing moving, 30 ms after each answer.
    rig.reply(Rig::rr(0));
    rig.advance(29 * IrMillisecond);
    QVERIFY(rig.frames().isEmpty());
    rig.advance(1 * IrMillisecond);
    QCOMPARE(rig.frames().size(), 1);
    // Data waiting does not wait for the poll pace.
    rig.reply(Rig::rr(0));
    rig.lap.send("now");
    rig.advance(1);
    const QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().info, QByteArray("now"));
}

void IrdaLapTest::silentPeerLosesTheLink()
{
    Rig rig;
    rig.connect();
    rig.advance(1);
    rig.frames();
    rig.advance(11 * IrSecond);
    QCOMPARE(rig.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::Threshold);
    QCOMPARE(rig.lap.lineBaud(), 115200);
    rig.advance(2 * IrSecond);
    QCOMPARE(rig.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::LinkLost);
    QCOMPARE(rig.lap.lineBaud(), 9600);
    QVERIFY(rig.frames().size() >= 20); // polled all the while
}

void IrdaLapTest::disconnectWithDisc()
{
    Rig rig;
    rig.connect();
    rig.advance(1);
    rig.frames();
    rig.lap.send("last");
    rig.lap.disconnect(rig.now);
    rig.reply(Rig::rr(0));
    rig.advance(1);
    // Queued data first, then DISC once it is acknowledged.
    QCOMPARE(rig.frames().first().info, QByteArray("last"));
    rig.reply(Rig::rr(1));
    rig.advance(1);
    const QList<IrLapFrame> frames = rig.frames();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().control, quint8(0x53));
    rig.reply(IrLapFrame::build(Ca, false, IrLapFrame::UA | IrLapFrame::PollFinal));
    QCOMPARE(rig.eventKinds(), QList<IrLapEvent::Kind>() << IrLapEvent::Disconnected);
    QCOMPARE(rig.lap.lineBaud(), 9600);
}

QTEST_GUILESS_MAIN(IrdaLapTest)
#include "tst_irdalap.moc"
