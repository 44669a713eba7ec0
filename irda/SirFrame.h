#pragma once

#include <QByteArray>

// How a frame travels on a serial infrared (SIR) line: optional extra BOFs
// (FF), one BOF (C0), the frame and its FCS with every C0, C1 and 7D sent as
// 7D followed by the byte XOR 20, and one EOF (C1).
class SirFrame
{
public:
    static constexpr char Xbof = char(0xFF);
    static constexpr char Bof = char(0xC0);
    static constexpr char Eof = char(0xC1);
    static constexpr char Escape = char(0x7D);
    static constexpr char EscapeXor = 0x20;

    // The line bytes of `frame` (address, control and information field).
    static QByteArray encode(const QByteArray &frame, int additionalBofs);
};
