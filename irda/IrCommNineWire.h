#pragma once

#include <QByteArray>
#include <QtGlobal>

// IrCOMM in its nine-wire ("cooked") service over Tiny TP. Every SDU starts
// with a length byte (clen) and that many bytes of control parameters
// (identifier, length, value), then the user data. The connect carries the
// initial parameters the same way.
class IrCommNineWire
{
public:
    enum Parameter : quint8 {
        ServiceType = 0x00,
        PortType = 0x01,
        DataRate = 0x10,
        DataFormat = 0x11,
        FlowControl = 0x12,
        DteLineSettings = 0x20,
        DceLineSettings = 0x21,
    };
    static constexpr quint8 NineWire = 0x04; // service type bit
    static constexpr quint8 SerialPort = 0x01; // port type
    static constexpr quint8 DtrAndRts = 0x0F; // DTE lines: both deltas, DTR and RTS on

    // The connect user data: nine-wire service on a serial port.
    static QByteArray connectParameters();
    // The first control exchange after the connect: line speed and format
    // (9600 8N1, no flow control) and the DTE lines DTR and RTS raised.
    static QByteArray initialControl();
    // One SDU carrying `data` (and `control` parameters, if any).
    static QByteArray frame(const QByteArray &data, const QByteArray &control = QByteArray());
    // Splits a received SDU; false (nothing passed on) when clen or a
    // parameter runs past the end.
    static bool parse(const QByteArray &sdu, QByteArray *control, QByteArray *data);
    // The DCE line settings in `control`, or -1 when none are there.
    static int dceLines(const QByteArray &control);
};
