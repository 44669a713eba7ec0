// The layers above the link: IrLMP with the IAS server, IAS queries, Tiny TP
// credits and reassembly, IrCOMM nine-wire framing; and the whole client
// (discovery, IAS, connection, data) against a small secondary played in
// the test, on a fake clock, also over a line that corrupts frames.

#include "irda/IasMessage.h"
#include "irda/IrCommClient.h"
#include "irda/IrCommNineWire.h"
#include "irda/IrLapFrame.h"
#include "irda/IrLmpMux.h"
#include "irda/IrLmpPdu.h"
#include "irda/SirDeframer.h"
#include "irda/SirFrame.h"
#include "irda/TinyTpChannel.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A secondary station just good enough to talk to the client: answers
// discovery in a chosen slot, takes or refuses SNRM, answers IAS, takes the
// Tiny TP connection and echoes user data upper-cased.
class FakeSecondary
{
public:
    quint32 address = 0xC0FFEE01;
    int slot = 2;
    bool refuse = false;
    bool hasIrComm = true;
    quint8 lsap = 0x05;
    QByteArray received;

    QByteArray receive(const QByteArray &line)
    {
        m_deframer.receive(line);
        QByteArray out;
        const QList<QByteArray> frames = m_deframer.takeFrames();
        for (const QByteArray &bytes : frames)
            out += handle(IrLapFrame::parse(bytes));
        return out;
    }

private:
    QByteArray send(quint8 control, const QByteArray &info = QByteArray())
    {
        return SirFrame::encode(IrLapFrame::build(m_ca, false, control, info), 0);
    }

    QByteArray handle(const IrLapFrame &frame)
    {
        const quint8 type = frame.type();
        if (frame.kind == IrLapFrame::Unnumbered && type == IrLapFrame::XidCommand) {
            const int number = quint8(frame.info.at(10));
            if (number != slot)
                return QByteArray();
            m_primary = frame.info.mid(1, 4);
            QByteArray info = hex("01") + addressBytes() + m_primary + hex("01") + char(number)
                + hex("00 8204 00") + "TM4040";
            return SirFrame::encode(IrLapFrame::build(0x7F, false, 0xBF, info), 0);
        }
        if (frame.kind == IrLapFrame::Unnumbered && type == IrLapFrame::SNRM) {
            if (frame.info.mid(4, 4) != addressBytes())
                return QByteArray();
            m_ca = quint8(frame.info.at(8)) >> 1;
            if (refuse)
                return send(0x1F);
            m_connected = true;
            m_vr = m_vs = m_va = 0;
            m_sent.clear();
            QByteArray info = frame.info.mid(4, 4) + frame.info.left(4);
            return send(0x73, info + hex("01 01 3E 83 01 01 84 01 01 86 01 80 08 01 01"));
        }
        if (!m_connected || frame.connectionAddress != m_ca)
            return QByteArray();
        if (frame.kind == IrLapFrame::Unnumbered && type == IrLapFrame::DISC) {
            m_connected = false;
            return send(0x73);
        }
        // Go back N: what the primary acknowledged is done.
        while (m_va != frame.nr && !m_sent.isEmpty()) {
            m_sent.removeFirst();
            m_va = (m_va + 1) % 8;
        }
        if (frame.kind == IrLapFrame::Information && frame.ns == m_vr) {
            m_vr = (m_vr + 1) % 8;
            serve(frame.info);
        }
        if (!frame.pollFinal)
            return QByteArray();
        if (m_sent.isEmpty() && !m_pending.isEmpty()) {
            m_sent.append(m_pending.takeFirst());
            m_vs = (m_vs + 1) % 8;
        }
        if (m_sent.isEmpty())
            return SirFrame::encode(
                IrLapFrame::supervisory(m_ca, false, IrLapFrame::RR, m_vr, true), 0);
        return SirFrame::encode(
            IrLapFrame::information(m_ca, false, m_va, m_vr, true, m_sent.first()), 0);
    }

    QByteArray addressBytes() const
    {
        QByteArray bytes;
        for (int i = 0; i < 4; ++i)
            bytes.append(char(address >> (8 * i)));
        return bytes;
    }

    void serve(const QByteArray &bytes)
    {
        IrLmpPdu pdu;
        QVERIFY(IrLmpPdu::parse(bytes, &pdu));
        if (pdu.control && pdu.opcode == IrLmpPdu::Connect) {
            QByteArray data;
            if (pdu.destination == lsap) {
                QCOMPARE(pdu.data, hex("14") + IrCommNineWire::connectParameters());
                data = hex("0A"); // ten credits, no parameters
            }
            m_pending.append(IrLmpPdu::controlPdu(pdu.source, pdu.destination, 0x81, 0, data));
        } else if (!pdu.control && pdu.destination == 0) {
            QByteArray className;
            QByteArray attribute;
            QVERIFY(IasMessage::parseGetValueByClass(pdu.data, &className, &attribute));
            const QByteArray answer = hasIrComm && className == "IrDA:IrCOMM"
                ? IasMessage::integerAnswer(1, lsap)
                : IasMessage::failure(IasMessage::GetValueByClass, IasMessage::NoSuchClass);
            m_pending.append(IrLmpPdu::dataPdu(pdu.source, 0, answer));
        } else if (!pdu.control && pdu.destination == lsap && pdu.data.size() > 1) {
            QByteArray control;
            QByteArray data;
            QVERIFY(IrCommNineWire::parse(pdu.data.mid(1), &control, &data));
            received += data;
            if (!data.isEmpty())
                m_pending.append(IrLmpPdu::dataPdu(
                    pdu.source, lsap, hex("01") + IrCommNineWire::frame(data.toUpper())));
        }
    }

    SirDeframer m_deframer;
    QByteArray m_primary;
    quint8 m_ca = 0x7F;
    bool m_connected = false;
    int m_vr = 0;
    int m_vs = 0;
    int m_va = 0;
    QList<QByteArray> m_sent; // one I-frame at a time, until acknowledged
    QList<QByteArray> m_pending;
};

// The client and the devices in range on one fake line.
struct Air
{
    IrMicros now = 0;
    IrCommClient client;
    QList<FakeSecondary *> devices;
    int corruptPercent = 0; // once the link is up
    QRandomGenerator random {20240501};
    QList<IrMicros> discoveries;

    Air()
        : client(config(), 0)
    { }

    static IrCommClient::Config config()
    {
        IrCommClient::Config c;
        c.lap.ownAddress = 0x51525354;
        c.lap.connectionAddress = 0x22;
        return c;
    }

    QByteArray damage(QByteArray line)
    {
        if (corruptPercent && client.lap().isConnected() && random.bounded(100) < corruptPercent) {
            const int at = random.bounded(line.size());
            line[at] = char(line.at(at) ^ 0x10);
        }
        return line;
    }

    // Runs until `done` holds or `limit` passes; lines arrive 2 ms after sending.
    template<typename Done> bool run(Done done, IrMicros limit)
    {
        const IrMicros end = now + limit;
        while (now < end && !done()) {
            const QList<IrTransmission> out = client.takeTransmit();
            QByteArray answers;
            for (const IrTransmission &transmission : out) {
                if (IrLapFrame::parse(transmission.frame).type() == IrLapFrame::XidCommand
                    && quint8(transmission.frame.at(12)) == 0)
                    discoveries.append(now);
                for (FakeSecondary *device : qAsConst(devices))
                    answers += device->receive(damage(transmission.line));
            }
            if (!answers.isEmpty()) {
                now += 2 * IrMillisecond;
                client.receiveBytes(damage(answers), now);
                continue;
            }
            now = qMin(end, qMax(now + 1, client.nextDeadline()));
            client.onTimer(now);
        }
        return done();
    }
};

} // namespace

class IrdaServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void iasMessages();
    void lmpAnswersPeerQueries();
    void tinyTpCreditsAndReassembly();
    void ircommFrames();
    void clientOpensAndMovesData();
    void clientTriesTheNextDeviceAfterARefusal();
    void clientGivesUpAfterThreeQuietRounds();
    void corruptedFramesStillGiveExactData();
};

void IrdaServiceTest::iasMessages()
{
    QCOMPARE(IasMessage::getValueByClass("IrDA:IrCOMM", "IrDA:TinyTP:LsapSel"),
             hex("84 0B") + "IrDA:IrCOMM" + hex("13") + "IrDA:TinyTP:LsapSel");
    quint32 value = 0;
    // Success, one object (id 1), integer 5, most significant byte first.
    QCOMPARE(IasMessage::parseIntegerAnswer(hex("84 00 0001 0001 01 00000005"), &value),
             IasMessage::Result::Integer);
    QCOMPARE(value, quint32(5));
    QCOMPARE(IasMessage::parseIntegerAnswer(hex("84 01"), &value), IasMessage::Result::NoSuchClass);
    QCOMPARE(IasMessage::parseIntegerAnswer(hex("84 00 0001 0001 03 00 02 4142"), &value),
             IasMessage::Result::NotAnInteger);
    QCOMPARE(IasMessage::parseIntegerAnswer(hex("84 00 0001 0001 01 0000"), &value),
             IasMessage::Result::Malformed);
    QByteArray className;
    QByteArray attribute;
    QVERIFY(!IasMessage::parseGetValueByClass(hex("84 05 4142"), &className, &attribute));
}

void IrdaServiceTest::lmpAnswersPeerQueries()
{
    IrLmpMux mux("orvane");
    // The peer connects from its LSAP 0x21 to our IAS and asks for our name.
    mux.receive(IrLmpPdu::controlPdu(0x00, 0x21, IrLmpPdu::Connect, 0));
    mux.receive(IrLmpPdu::dataPdu(0x00, 0x21, IasMessage::getValueByClass("Device", "DeviceName")));
    mux.receive(IrLmpPdu::dataPdu(0x00, 0x21, IasMessage::getValueByClass("IrLAN", "x")));
    // Something for a selector nobody listens on.
    mux.receive(IrLmpPdu::controlPdu(0x30, 0x21, IrLmpPdu::Connect, 0));
    mux.receive(IrLmpPdu::dataPdu(0x31, 0x21, "stray"));
    mux.receive(hex("80")); // too short
    const QList<QByteArray> out = mux.takeOutgoing();
    QCOMPARE(out.size(), 5);
    QCOMPARE(out.at(0), hex("A1 00 81 00"));
    QCOMPARE(out.at(1), hex("21 00 84 00 0001 0000 03 00 06") + "orvane");
    QCOMPARE(out.at(2), hex("21 00 84 01"));
    QCOMPARE(out.at(3), hex("A1 30 02 08"));
    QCOMPARE(out.at(4), hex("A1 31 02 06"));
    QVERIFY(mux.takeIndications().isEmpty());
    QCOMPARE(mux.rejected(), 2);
}

void IrdaServiceTest::tinyTpCreditsAndReassembly()
{
    TinyTpChannel channel(4, 16);
    QCOMPARE(channel.connectHeader(), hex("04"));
    QByteArray userData;
    // The peer grants 2 and names a MaxSduSize of 64; IrCOMM data follows.
    QVERIFY(channel.acceptConnect(hex("82 04 01 02 0040 03 00 01 04"), &userData));
    QCOMPARE(channel.sendCredit(), 2);
    QCOMPARE(channel.peerMaxSduSize(), quint32(64));
    QCOMPARE(userData, hex("03 00 01 04"));
    QVERIFY(!channel.acceptConnect(hex("82 05 01 02"), &userData));

    // Three SDUs, two credits: the third waits.
    for (const char *sdu : {"a", "b", "c"})
        QVERIFY(channel.queue(sdu, 10));
    QCOMPARE(channel.takePdus(), QList<QByteArray>() << hex("00") + "a" << hex("00") + "b");
    QVERIFY(channel.takePdus().isEmpty());
    // A flow PDU brings credit; the data the peer sends uses ours.
    QVERIFY(channel.receive(hex("01")));
    QVERIFY(channel.receive(hex("80") + "xy")); // more to come
    QVERIFY(channel.receive(hex("00") + "z"));
    QVERIFY(channel.receive(hex("00") + "w"));
    QCOMPARE(channel.takeSdus(),
             QList<QByteArray>() << "xyz"
                                 << "w");
    // The third SDU grants back the three used; the peer is kept topped up.
    QCOMPARE(channel.takePdus(), QList<QByteArray>() << hex("03") + "c");
    QCOMPARE(channel.peerCredit(), 4);
    // An SDU larger than we take goes whole, never a piece of it.
    QVERIFY(channel.receive(hex("80") + QByteArray(10, 'p')));
    QVERIFY(channel.receive(hex("00") + QByteArray(10, 'q')));
    QVERIFY(channel.receive(hex("00") + "ok"));
    QCOMPARE(channel.takeSdus(), QList<QByteArray>() << "ok");
    QCOMPARE(channel.discardedSdus(), 1);
    QVERIFY(!channel.receive(QByteArray()));
    // A segmented SDU goes out only to a peer that takes it.
    QVERIFY(channel.queue(QByteArray(20, 's'), 10));
    TinyTpChannel plain;
    QVERIFY(!plain.queue(QByteArray(20, 's'), 10));
}

void IrdaServiceTest::ircommFrames()
{
    QCOMPARE(IrCommNineWire::connectParameters(), hex("06 00 01 04 01 01 01"));
    QCOMPARE(IrCommNineWire::frame("RX3008Mp"), hex("00") + "RX3008Mp");
    QByteArray control;
    QByteArray data;
    QVERIFY(IrCommNineWire::parse(hex("03 21 01 30") + "abc", &control, &data));
    QCOMPARE(data, QByteArray("abc"));
    QCOMPARE(IrCommNineWire::dceLines(control), 0x30);
    // clen or a parameter past the end: nothing passes.
    QVERIFY(!IrCommNineWire::parse(hex("05 21 01"), &control, &data));
    QVERIFY(!IrCommNineWire::parse(hex("02 21 05") + "abc", &control, &data));
}

void IrdaServiceTest::clientOpensAndMovesData()
{
    FakeSecondary device;
    Air air;
    air.devices << &device;
    QVERIFY(air.client.open(air.now));
    QVERIFY(
        air.run([&] { return air.client.state() != IrCommClient::State::Opening; }, 10 * IrSecond));
    QVERIFY2(air.client.isOpen(), qPrintable(air.client.failure()));
    QCOMPARE(air.client.devices().first().name(), QStringLiteral("TM4040"));
    QVERIFY(air.client.write("RX3008Mp"));
    QVERIFY(air.run([&] { return air.client.bytesAvailable() >= 8; }, 2 * IrSecond));
    QCOMPARE(air.client.takeReceived(), QByteArray("RX3008MP"));
    QCOMPARE(device.received, QByteArray("RX3008Mp"));
    QVERIFY(air.client.writeDrained());
    air.client.close(air.now);
    QVERIFY(air.run([&] { return air.client.state() == IrCommClient::State::Closed; }, IrSecond));
    QCOMPARE(air.client.lineBaud(), 9600);
}

void IrdaServiceTest::clientTriesTheNextDeviceAfterARefusal()
{
    FakeSecondary refusing;
    refusing.address = 0x0A0A0A0A;
    refusing.slot = 0;
    refusing.refuse = true;
    FakeSecondary noService;
    noService.address = 0x0B0B0B0B;
    noService.slot = 1;
    noService.hasIrComm = false;
    FakeSecondary good;
    good.slot = 4;
    Air air;
    air.devices << &refusing << &noService << &good;
    air.client.open(air.now);
    QVERIFY(air.run([&] { return air.client.isOpen(); }, 20 * IrSecond));
    const QList<IrCommClient::Refusal> refusals = air.client.takeRefusals();
    QCOMPARE(refusals.size(), 2);
    QCOMPARE(refusals.at(0).device.address, quint32(0x0A0A0A0A));
    QCOMPARE(refusals.at(0).reason, QStringLiteral("refused (DM)"));
    QCOMPARE(refusals.at(1).reason, QStringLiteral("IAS: no such class for IrDA:IrCOMM"));
    QCOMPARE(air.client.lap().peerAddress(), good.address);
}

void IrdaServiceTest::clientGivesUpAfterThreeQuietRounds()
{
    Air air;
    air.client.open(air.now);
    QVERIFY(
        air.run([&] { return air.client.state() == IrCommClient::State::Failed; }, 20 * IrSecond));
    QCOMPARE(air.client.failure(), QStringLiteral("no device in range"));
    QCOMPARE(air.discoveries.size(), 3);
    // Each round ends with the final slot; the next begins after 200 ms.
    const IrMicros round = air.discoveries.at(1) - air.discoveries.at(0);
    QVERIFY2(round > 200 * IrMillisecond && round < 1500 * IrMillisecond,
             qPrintable(QString::number(round)));
}

void IrdaServiceTest::corruptedFramesStillGiveExactData()
{
    FakeSecondary device;
    Air air;
    air.devices << &device;
    air.corruptPercent = 10;
    air.client.open(air.now);
    QVERIFY(air.run([&] { return air.client.isOpen(); }, 60 * IrSecond));
    QByteArray sent;
    for (int i = 0; i < 40; ++i) {
        const QByteArray chunk = QByteArray::number(i).rightJustified(3, '0') + "abcdefgh";
        sent += chunk;
        air.client.write(chunk);
        QVERIFY(air.run([&] { return air.client.writeDrained(); }, 30 * IrSecond));
    }
    QVERIFY(air.run([&] { return air.client.bytesAvailable() >= sent.size(); }, 30 * IrSecond));
    QCOMPARE(air.client.takeReceived(), sent.toUpper());
    QVERIFY(air.client.lap().stats().pollTimeouts > 0);
}

QTEST_GUILESS_MAIN(IrdaServiceTest)
#include "tst_irdaservice.moc"
