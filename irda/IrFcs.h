#pragma once

#include <QByteArray>
#include <QtGlobal>

// The 16-bit frame check sequence of the infrared link: CRC-CCITT
// (x^16 + x^12 + x^5 + 1) over the bits in line order, started at FFFF;
// the complement is sent, low byte first. Run over a frame together with
// its FCS, the register ends at the fixed residue F0B8.
class IrFcs
{
public:
    static constexpr quint16 Initial = 0xFFFF;
    static constexpr quint16 GoodResidue = 0xF0B8;

    static quint16 update(quint16 fcs, const char *data, int size);
    // The two FCS bytes to send after `frame`, in line order.
    static QByteArray bytesFor(const QByteArray &frame);
    // True when `frameWithFcs` (frame followed by its two FCS bytes) holds.
    static bool holds(const char *frameWithFcs, int size);
};
