// The infrared stack: arbitrary bytes into the SIR deframer and into every
// layer's parser, and frames built from the input into a connected link and
// an open IrCOMM client.
//
// Input: read twice. First as line bytes for the deframer. Then as a chain
// of frames, each a length byte and that many bytes (address, control,
// information); these are sealed with a good FCS so that they reach the
// link primary, and their information fields go to the upper parsers as
// well. Properties: the deframer only passes frames whose FCS holds; the
// link passes up only information fields of I-frames it was given, never
// other bytes; the client never hands up more than it was given.

#include "FuzzCheck.h"

#include "irda/IasMessage.h"
#include "irda/IrCommClient.h"
#include "irda/IrCommNineWire.h"
#include "irda/IrDiscoveredDevice.h"
#include "irda/IrFcs.h"
#include "irda/IrLapFrame.h"
#include "irda/IrLapPrimary.h"
#include "irda/IrLmpMux.h"
#include "irda/SirDeframer.h"
#include "irda/SirFrame.h"
#include "irda/TinyTpChannel.h"

#include <cstdint>

namespace {

constexpr quint32 Own = 0x11223344;
constexpr quint32 Peer = 0xA1B2C3D4;
constexpr quint8 Ca = 0x35;

QByteArray address(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char(value >> (8 * i)));
    return bytes;
}

QByteArray sealed(const QByteArray &frame)
{
    return SirFrame::encode(frame, 0);
}

void parseEverything(const QByteArray &bytes)
{
    IrLapParameters parameters;
    for (int skip : {0, 8, 9})
        IrLapParameters::decode(bytes.mid(skip), &parameters);
    IrDiscoveredDevice device;
    if (IrDiscoveredDevice::parseInfo(bytes, &device))
        device.name();
    IrLmpPdu pdu;
    IrLmpPdu::parse(bytes, &pdu);
    quint32 value = 0;
    IasMessage::parseIntegerAnswer(bytes, &value);
    QByteArray a;
    QByteArray b;
    IasMessage::parseGetValueByClass(bytes, &a, &b);
    if (IrCommNineWire::parse(bytes, &a, &b))
        FUZZ_CHECK(a.size() + b.size() + 1 == bytes.size());
    IrCommNineWire::dceLines(bytes);
    TinyTpChannel channel(8, 256);
    channel.acceptConnect(bytes, &a);
    channel.receive(bytes);
    for (const QByteArray &sdu : channel.takeSdus())
        FUZZ_CHECK(sdu.size() <= 256);
    IrLmpMux mux("fuzz");
    mux.receive(bytes);
    mux.takeOutgoing();
}

void checkDeframer(const QByteArray &line)
{
    SirDeframer deframer(600);
    deframer.receive(line);
    int total = 0;
    for (const QByteArray &frame : deframer.takeFrames()) {
        // Each frame had a BOF, its FCS and an EOF around it.
        total += frame.size() + 4;
        FUZZ_CHECK(total <= line.size());
        FUZZ_CHECK(frame.size() >= 2 && frame.size() <= 598);
        const QByteArray withFcs = frame + IrFcs::bytesFor(frame);
        FUZZ_CHECK(IrFcs::holds(withFcs.constData(), withFcs.size()));
        parseEverything(frame);
    }
}

QList<QByteArray> chainOf(const QByteArray &input)
{
    QList<QByteArray> frames;
    int at = 0;
    // Two windows of eight frames reach every state; more only cost time.
    while (at < input.size() && frames.size() < 16) {
        const int length = quint8(input.at(at++));
        frames.append(input.mid(at, length));
        at += length;
    }
    return frames;
}

IrLapPrimary connectedLink()
{
    IrLapPrimary::Config config;
    config.ownAddress = Own;
    config.connectionAddress = Ca;
    IrLapPrimary lap(config, 0);
    lap.connectTo(Peer, 0);
    lap.receiveBytes(sealed(IrLapFrame::build(Ca, false, 0x73,
                                              address(Peer) + address(Own)
                                                  + QByteArray::fromHex("0101 3E 8601 80"))),
                     0);
    FUZZ_CHECK(lap.isConnected());
    lap.send("probe");
    lap.takeTransmit();
    lap.takeEvents();
    return lap;
}

void driveLink(const QList<QByteArray> &frames)
{
    // Made once; every input starts from a copy.
    static const IrLapPrimary connected = connectedLink();
    IrLapPrimary lap(connected);
    IrMicros now = 0;
    QList<QByteArray> given;
    for (const QByteArray &frame : frames) {
        now += 1 + (frame.isEmpty() ? 0 : quint8(frame.at(0))) * 4000;
        lap.onTimer(now);
        lap.receiveBytes(sealed(frame), now);
        const IrLapFrame parsed = IrLapFrame::parse(frame);
        if (parsed.kind == IrLapFrame::Information)
            given.append(parsed.info);
        for (const IrLapEvent &event : lap.takeEvents()) {
            if (event.kind == IrLapEvent::Data)
                FUZZ_CHECK(given.contains(event.data));
        }
        const int baud = lap.lineBaud();
        FUZZ_CHECK(baud == 9600 || baud == 19200 || baud == 38400 || baud == 57600
                   || baud == 115200);
        for (const IrTransmission &transmission : lap.takeTransmit())
            FUZZ_CHECK(transmission.line.size() >= 6);
    }
}

// The device's side of the client's link: its next I-frame (with F), which
// acknowledges every I-frame the client sent.
struct Device
{
    IrMicros now = 0;
    int vs = 0;
    int nr = 0;

    void answer(IrCommClient &client, const QByteArray &info)
    {
        for (const IrTransmission &transmission : client.takeTransmit()) {
            const IrLapFrame sent = IrLapFrame::parse(transmission.frame);
            if (sent.kind == IrLapFrame::Information)
                nr = (sent.ns + 1) % 8;
        }
        client.receiveBytes(sealed(IrLapFrame::information(Ca, false, vs, nr, true, info)), now);
        vs = (vs + 1) % 8;
        now += 20 * IrMillisecond;
        client.onTimer(now);
    }
};

// An IrCOMM client made open by the answers of a well-behaved device.
IrCommClient openClient(Device &device)
{
    IrCommClient::Config config;
    config.lap.ownAddress = Own;
    config.lap.connectionAddress = Ca;
    config.lap.mediaSense = 0;
    config.lap.discoverySlots = 1;
    IrCommClient client(config, device.now);
    client.open(device.now);
    client.receiveBytes(
        sealed(IrLapFrame::build(0x7F, false, 0xBF,
                                 QByteArray::fromHex("01") + address(Peer) + address(Own)
                                     + QByteArray::fromHex("010000 8204 00") + "TM")),
        device.now);
    for (int i = 0; i < 4 && client.lap().state() != IrLapPrimary::State::Connecting; ++i) {
        device.now = client.nextDeadline();
        client.onTimer(device.now);
    }
    client.receiveBytes(sealed(IrLapFrame::build(Ca, false, 0x73, address(Peer) + address(Own))),
                        device.now);
    client.onTimer(device.now += 20 * IrMillisecond);
    device.answer(client, QByteArray::fromHex("92 00 81 00")); // IAS connect confirm to 0x12
    device.answer(client, QByteArray::fromHex("12 00 84 00 0001 0001 01 00000005"));
    device.answer(client, QByteArray::fromHex("93 05 81 00 10"));
    FUZZ_CHECK(client.isOpen());
    return client;
}

// Then fed the input's frames as the device's data on the IrCOMM LSAP.
void driveClient(const QList<QByteArray> &frames)
{
    static Device start;
    static const IrCommClient opened = openClient(start);
    IrCommClient client(opened);
    Device device = start;
    int total = 0;
    for (const QByteArray &frame : frames) {
        total += frame.size();
        device.answer(client, QByteArray::fromHex("13 05") + frame);
        client.write(frame.left(8));
    }
    FUZZ_CHECK(client.bytesAvailable() <= total);
    client.close(device.now);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    checkDeframer(input);
    parseEverything(input);
    const QList<QByteArray> frames = chainOf(input);
    driveLink(frames);
    driveClient(frames);
    return 0;
}
