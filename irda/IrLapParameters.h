#pragma once

#include <QByteArray>
#include <QtGlobal>

// The negotiation parameters carried by SNRM and UA, each a bit field of the
// values a station supports (parameter identifier, length, value). Baud rate
// and link disconnect time are agreed by both stations (the highest value
// both hold); the others describe the station that sends them: what it can
// receive (data size, window size), what it needs before a frame it
// receives (additional BOFs) and after a frame it sent (minimum turnaround).
struct IrLapParameters
{
    enum Identifier : quint8 {
        BaudRate = 0x01,
        MaxTurnaround = 0x82,
        DataSize = 0x83,
        WindowSize = 0x84,
        AdditionalBofs = 0x85,
        MinTurnaround = 0x86,
        LinkDisconnect = 0x08,
    };

    // The defaults stand for a parameter a station leaves out.
    quint16 baudRates = 0x0002; // bit 0 2400, 1 9600, 2 19200, 3 38400, 4 57600, 5 115200
    quint8 maxTurnaround = 0x01; // bit 0 500 ms, 1 250 ms, 2 100 ms, 3 50 ms
    quint8 dataSizes = 0x01; // bit 0 64 bytes ... bit 5 2048 bytes
    quint8 windowSizes = 0x01; // bit n: n + 1 frames
    quint8 additionalBofs = 0x01; // bit 0 48, 1 24, 2 12, 3 5, 4 3, 5 2, 6 1, 7 0 (at 115.2 kb/s)
    quint8 minTurnaround = 0x01; // bit 0 10 ms, 1 5 ms, 2 1 ms, 3 0.5 ms, ... 7 none
    quint8 linkDisconnect
        = 0x01; // bit 0 3 s, 1 8 s, 2 12 s, 3 16 s, 4 20 s, 5 25 s, 6 30 s, 7 40 s

    QByteArray encode() const;
    // Reads a parameter list; unknown identifiers are skipped, absent ones
    // keep the defaults. False when a parameter runs past the end.
    static bool decode(const QByteArray &bytes, IrLapParameters *out);

    // The values behind the bits (the highest bit set when several are).
    static int baudOf(quint16 bits); // 0 when none is known
    static int dataSizeOf(quint8 bits);
    static int windowSizeOf(quint8 bits);
    // The most cautious value of a bit field (largest time, most BOFs).
    static qint64 maxTurnaroundMicrosOf(quint8 bits);
    static qint64 minTurnaroundMicrosOf(quint8 bits);
    static int additionalBofsOf(quint8 bits, int baud);
    static int disconnectSecondsOf(quint8 bits);
    static quint16 baudBitsUpTo(int maxBaud);
};
