#pragma once

#include <QByteArray>

// The IrLAP negotiation parameters carried by SNRM and UA, each a bit
// mask as on the line (parameter identifier, length, value; values low
// byte first). A station that leaves a parameter out gets its default.
//
//   01 baud rate        bit 0 2400, 1 9600, 2 19200, 3 38400, 4 57600, 5 115200
//   82 max turnaround   bit 0 500 ms, 1 250 ms, 2 100 ms, 3 50 ms
//   83 data size        bit 0 64, 1 128, 2 256, 3 512, 4 1024, 5 2048 bytes
//   84 window size      bit n: n + 1 frames
//   85 additional BOFs  bit 0 48, 1 24, 2 12, 3 5, 4 3, 5 2, 6 1, 7 0 (at 115200)
//   86 min turnaround   bit 0 10 ms, 1 5, 2 1, 3 0.5, 4 0.1, 5 0.05, 6 0.01, 7 0 ms
//   08 disconnect time  bit 0 3 s, 1 8, 2 12, 3 16, 4 20, 5 25, 6 30, 7 40 s
//
// Baud rate and disconnect time are negotiated (both stations' masks
// ANDed, the highest common bit used); the others state what the sending
// station itself can take.
class Tm4040IrQos
{
public:
    quint16 baud = 0x02;
    quint8 maxTurnaround = 0x01;
    quint8 dataSize = 0x01;
    quint8 windowSize = 0x01;
    quint8 additionalBofs = 0x01;
    quint8 minTurnaround = 0x01;
    quint8 disconnectTime = 0x01;

    // Reads a parameter list; unknown parameters are skipped. False when
    // the list runs past its end.
    static bool parse(const QByteArray &parameters, Tm4040IrQos *qos);
    QByteArray encode() const;

    // The answer to a primary's offer: the common baud rate and disconnect
    // time (9600 and 3 s when nothing is common), our own values elsewhere.
    Tm4040IrQos answer(const Tm4040IrQos &offer) const;

    // The baud rate bits up to `maxBaud`, 9600 at least.
    static quint16 baudMaskUpTo(int maxBaud);
    int baudRate() const;
    int dataSizeBytes() const;
    int windowFrames() const;
    int disconnectSeconds() const;
    int maxTurnaroundMs() const;
    // The longest of the times the station says it needs after sending
    // before it can receive.
    int minTurnaroundUs() const;
    // Extra BOFs a station asking for these needs at `baudRate`.
    int extraBofsAt(int baudRate) const;
};
