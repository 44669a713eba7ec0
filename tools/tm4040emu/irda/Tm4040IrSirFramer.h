#pragma once

#include <QByteArray>

// IrDA SIR framing (up to 115200 baud) of the emulated dosimeter's dongle:
// extra BOFs (FF), BOF (C0), the frame and its FCS with C0, C1 and 7D
// escaped as 7D followed by the byte XOR 20, EOF (C1).
//
// The FCS is the 16-bit CRC-CCITT of IrLAP: reflected polynomial 0x8408,
// preset FFFF, sent complemented, low byte first. Run over a frame and its
// FCS it leaves the residue F0B8.
class Tm4040IrSirFramer
{
public:
    static constexpr char Xbof = char(0xFF);
    static constexpr char Bof = char(0xC0);
    static constexpr char Eof = char(0xC1);
    static constexpr char Escape = char(0x7D);

    // CRC register after `size` bytes from `preset` (not complemented).
    static quint16 crc(const char *data, int size, quint16 preset = 0xFFFF);
    // The FCS of a frame, as sent (complemented).
    static quint16 fcs(const QByteArray &frame)
    {
        return quint16(~crc(frame.constData(), frame.size()));
    }
    // Whether a frame that ends with its FCS is whole.
    static bool checkFcs(const QByteArray &frameWithFcs);

    // The frame followed by its FCS, low byte first.
    static QByteArray withFcs(const QByteArray &frame);
    // The bytes on the line for a frame that already carries its FCS.
    static QByteArray escape(const QByteArray &frameWithFcs, int extraBofs);
    // Both at once: what a SIR transmitter sends for the frame.
    static QByteArray wrap(const QByteArray &frame, int extraBofs)
    {
        return escape(withFcs(frame), extraBofs);
    }
};
