// The bottom of the infrared stack: the FCS, SIR framing and the deframer
// with damaged input, the IrLAP frame and parameter codecs and the
// negotiation of the connection terms.

#include "irda/IrDiscoveredDevice.h"
#include "irda/IrFcs.h"
#include "irda/IrLapFrame.h"
#include "irda/IrLapParameters.h"
#include "irda/IrLapQos.h"
#include "irda/SirDeframer.h"
#include "irda/SirFrame.h"

#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class IrdaFramingTest : public QObject
{
    Q_OBJECT
private slots:
    void fcsVectors();
    void encodeEscapesFlagBytes();
    void deframer_data();
    void deframer();
    void deframerTakesBytesOneByOne();
    void controlFields();
    void xidResponseOfTheFrameLog();
    void parameterLists();
    void negotiation();
};

void IrdaFramingTest::fcsVectors()
{
    // The CRC-CCITT of the HDLC family over "123456789", complemented and
    // sent low byte first: 906E.
    QCOMPARE(IrFcs::bytesFor("123456789"), hex("6E 90"));
    // A frame followed by its FCS leaves the register at F0B8.
    const QByteArray frame = hex("FF 3F 01 29 23 BE 84 FF FF FF FF 01 00 00");
    const QByteArray sealed = frame + IrFcs::bytesFor(frame);
    QCOMPARE(IrFcs::update(IrFcs::Initial, sealed.constData(), sealed.size()), quint16(0xF0B8));
    QVERIFY(IrFcs::holds(sealed.constData(), sealed.size()));
    // Every single-bit error is seen.
    for (int bit = 0; bit < sealed.size() * 8; ++bit) {
        QByteArray damaged = sealed;
        damaged[bit / 8] = char(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        QVERIFY2(!IrFcs::holds(damaged.constData(), damaged.size()),
                 qPrintable(QString::number(bit)));
    }
}

void IrdaFramingTest::encodeEscapesFlagBytes()
{
    const QByteArray frame = hex("C0 C1 7D 20");
    const QByteArray line = SirFrame::encode(frame, 3);
    // Three XBOFs, the BOF, each flag byte as 7D and the byte XOR 20.
    QVERIFY(line.startsWith(hex("FF FF FF C0 7D E0 7D E1 7D 5D 20")));
    QCOMPARE(line.right(1), hex("C1"));
    QCOMPARE(line.count(char(0xC0)), 1);
    SirDeframer deframer;
    deframer.receive(line);
    QCOMPARE(deframer.takeFrames(), QList<QByteArray>() << frame);
}

void IrdaFramingTest::deframer_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("good");
    QTest::addColumn<int>("dropped");

    const QByteArray rr = hex("6B 11");
    const QByteArray good = SirFrame::encode(rr, 0);
    QByteArray badFcs = good;
    badFcs[badFcs.size() - 2] = char(badFcs.at(badFcs.size() - 2) ^ 0x01);
    QTest::newRow("good") << good << 1 << 0;
    QTest::newRow("noise around frames")
        << hex("00 12 C1 7D") + good + hex("55 AA") + good << 2 << 0;
    QTest::newRow("bad FCS") << badFcs + good << 1 << 1;
    QTest::newRow("too short") << hex("C0 6B C1") + good << 1 << 1;
    QTest::newRow("cut by a new BOF") << hex("C0 6B 11 22") + good << 1 << 1;
    QTest::newRow("escape before EOF") << hex("C0 6B 11 7D C1") + good << 1 << 1;
    QTest::newRow("no EOF yet") << good + hex("C0 6B 11") << 1 << 0;
    QTest::newRow("oversized") << SirFrame::encode(
                                      QByteArray(SirDeframer::DefaultMaxFrameSize, 'x'), 0)
            + good << 1 << 1;
}

void IrdaFramingTest::deframer()
{
    QFETCH(QByteArray, line);
    QFETCH(int, good);
    QFETCH(int, dropped);
    SirDeframer deframer;
    deframer.receive(line);
    const QList<QByteArray> frames = deframer.takeFrames();
    QCOMPARE(frames.size(), good);
    for (const QByteArray &frame : frames)
        QCOMPARE(frame, hex("6B 11"));
    QCOMPARE(deframer.droppedFrames(), dropped);
}

void IrdaFramingTest::deframerTakesBytesOneByOne()
{
    const QByteArray info = QByteArray::fromHex("00 C0 C1 7D FF") + QByteArray(300, 'a');
    const QByteArray line = SirFrame::encode(hex("6A 20") + info, 10);
    SirDeframer deframer;
    for (const char byte : line)
        deframer.receive(&byte, 1);
    QCOMPARE(deframer.takeFrames(), QList<QByteArray>() << hex("6A 20") + info);
}

void IrdaFramingTest::controlFields()
{
    // I-frame Ns 2, Nr 5, P; RR Nr 3 with F; SNRM with P.
    QCOMPARE(IrLapFrame::information(0x35, true, 2, 5, true, "x"), hex("6B B4 78"));
    QCOMPARE(IrLapFrame::supervisory(0x35, false, IrLapFrame::RR, 3, true), hex("6A 71"));
    const IrLapFrame i = IrLapFrame::parse(hex("6B B4 78"));
    QCOMPARE(int(i.kind), int(IrLapFrame::Information));
    QVERIFY(i.command && i.pollFinal);
    QCOMPARE(i.ns, 2);
    QCOMPARE(i.nr, 5);
    QCOMPARE(i.connectionAddress, quint8(0x35));
    const IrLapFrame rnr = IrLapFrame::parse(hex("6A 35"));
    QCOMPARE(int(rnr.kind), int(IrLapFrame::Supervisory));
    QCOMPARE(rnr.type(), IrLapFrame::RNR);
    QCOMPARE(rnr.nr, 1);
    const IrLapFrame ua = IrLapFrame::parse(hex("6A 73"));
    QCOMPARE(ua.type(), IrLapFrame::UA);
    QVERIFY(ua.pollFinal && !ua.command);
    QCOMPARE(int(IrLapFrame::parse(hex("6A")).kind), int(IrLapFrame::Invalid));
}

void IrdaFramingTest::xidResponseOfTheFrameLog()
{
    // A discovery answer as a published frame log shows it: broadcast
    // response, XID with F, format 01, source ABCD1234, destination
    // 2923BE84, 6 slots, slot 0, version 0, hints 82 04 (PDA, IrCOMM),
    // ASCII, " MSP430 ".
    const IrLapFrame frame
        = IrLapFrame::parse(hex("FE BF 01 AB CD 12 34 29 23 BE 84 01 00 00 82 04 00 20 4D 53 50 34 "
                                "33 30 20"));
    QCOMPARE(frame.connectionAddress, IrLapFrame::BroadcastAddress);
    QCOMPARE(frame.type(), IrLapFrame::XidResponse);
    IrDiscoveredDevice device;
    QVERIFY(IrDiscoveredDevice::parseInfo(frame.info.mid(12), &device));
    QCOMPARE(device.hints, hex("82 04"));
    QVERIFY(device.offersIrComm());
    QCOMPARE(device.name(), QStringLiteral(" MSP430 "));
    // Hint bytes that promise more than is there.
    QVERIFY(!IrDiscoveredDevice::parseInfo(hex("82 84"), &device));
}

void IrdaFramingTest::parameterLists()
{
    IrLapParameters parameters;
    // Baud rate with two value bytes, an unknown parameter, a window of 7.
    QVERIFY(IrLapParameters::decode(hex("01 02 3E 00 99 01 55 84 01 7F"), &parameters));
    QCOMPARE(parameters.baudRates, quint16(0x003E));
    QCOMPARE(parameters.windowSizes, quint8(0x7F));
    QCOMPARE(parameters.dataSizes, quint8(0x01)); // left out: 64 bytes
    QVERIFY(!IrLapParameters::decode(hex("01 02 3E"), &parameters));
    QVERIFY(!IrLapParameters::decode(hex("82"), &parameters));
    const IrLapParameters offer = IrLapParameters();
    IrLapParameters again;
    QVERIFY(IrLapParameters::decode(offer.encode(), &again));
    QCOMPARE(again.encode(), offer.encode());
}

void IrdaFramingTest::negotiation()
{
    IrLapParameters ours;
    ours.baudRates = IrLapParameters::baudBitsUpTo(115200);
    ours.linkDisconnect = 0x07;
    IrLapParameters theirs;
    theirs.baudRates = 0x06; // 9600, 19200
    theirs.linkDisconnect = 0x03; // 3 or 8 s
    theirs.dataSizes = 0x0F; // up to 512 bytes
    theirs.windowSizes = 0x07; // up to 3 frames
    theirs.additionalBofs = 0x04; // 12 at 115.2 kb/s
    theirs.minTurnaround = 0x02; // 5 ms
    IrLapQos qos = IrLapQos::negotiate(ours, theirs);
    QCOMPARE(qos.baud, 19200);
    QCOMPARE(qos.disconnectTime, 8 * IrSecond);
    QCOMPARE(qos.thresholdTime, 3 * IrSecond);
    QCOMPARE(qos.peerDataSize, 512);
    QCOMPARE(qos.peerWindow, 3);
    QCOMPARE(qos.peerAdditionalBofs, 2); // 12 scaled to 19.2 kb/s
    QCOMPARE(qos.peerMinTurnaround, 5 * IrMillisecond);
    // Nothing in common: the stations stay at 9600 b/s and 3 s.
    theirs.baudRates = 0x01;
    theirs.linkDisconnect = 0x80;
    qos = IrLapQos::negotiate(ours, theirs);
    QCOMPARE(qos.baud, 9600);
    QCOMPARE(qos.disconnectTime, 3 * IrSecond);
    // A cap of 38400 b/s offers 9600 to 38400 only.
    QCOMPARE(IrLapParameters::baudBitsUpTo(38400), quint16(0x0E));
}

QTEST_GUILESS_MAIN(IrdaFramingTest)
#include "tst_irdaframing.moc"
