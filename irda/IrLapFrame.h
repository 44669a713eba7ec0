#pragma once

#include <QByteArray>
#include <QtGlobal>

// One frame of the infrared link access protocol (without BOF, EOF and FCS):
// address field (7-bit connection address and the C/R bit), control field
// and information field.
struct IrLapFrame
{
    enum Kind { Invalid, Information, Supervisory, Unnumbered };

    // Control field values with the P/F bit clear.
    static constexpr quint8 PollFinal = 0x10;
    static constexpr quint8 RR = 0x01;
    static constexpr quint8 RNR = 0x05;
    static constexpr quint8 REJ = 0x09;
    static constexpr quint8 SREJ = 0x0D;
    static constexpr quint8 SNRM = 0x83; // command
    static constexpr quint8 DISC = 0x43; // command
    static constexpr quint8 UI = 0x03;
    static constexpr quint8 XidCommand = 0x2F;
    static constexpr quint8 XidResponse = 0xAF;
    static constexpr quint8 TEST = 0xE3;
    static constexpr quint8 UA = 0x63; // response
    static constexpr quint8 DM = 0x0F; // response
    static constexpr quint8 RD = 0x43; // response (same code as DISC)
    static constexpr quint8 FRMR = 0x87; // response
    static constexpr quint8 RNRM = 0x83; // response (same code as SNRM)

    static constexpr quint8 BroadcastAddress = 0x7F;

    Kind kind = Invalid;
    quint8 connectionAddress = 0; // 7 bits
    bool command = false; // C/R bit
    quint8 control = 0;
    bool pollFinal = false;
    int ns = 0; // information frames
    int nr = 0; // information and supervisory frames
    QByteArray info;

    // The control field without the P/F bit (and without Ns/Nr for S and I
    // frames: RR, RNR, REJ, SREJ or 0 for I).
    quint8 type() const;

    // Reads a frame as the deframer gives it; Invalid when shorter than
    // address and control.
    static IrLapFrame parse(const QByteArray &frame);

    static QByteArray build(quint8 connectionAddress, bool command, quint8 control,
                            const QByteArray &info = QByteArray());
    static QByteArray information(quint8 connectionAddress, bool command, int ns, int nr,
                                  bool pollFinal, const QByteArray &info);
    static QByteArray supervisory(quint8 connectionAddress, bool command, quint8 type, int nr,
                                  bool pollFinal);
};
