#pragma once

#include <QByteArray>
#include <QtGlobal>

// A link management PDU: the first byte holds the control bit and the
// destination LSAP selector, the second the source selector (sender's
// view). Control PDUs go on with an opcode (bit 7: confirm) and a parameter
// byte (reserved for connect, the reason for disconnect), then user data.
struct IrLmpPdu
{
    enum Opcode : quint8 { Connect = 0x01, Disconnect = 0x02, AccessMode = 0x03 };
    static constexpr quint8 Confirm = 0x80;
    static constexpr quint8 IasSelector = 0x00;
    static constexpr quint8 MaxSelector = 0x6F; // 0x70 and above are not for connections

    enum Reason : quint8 {
        UserRequest = 0x01,
        UnexpectedLinkDisconnect = 0x02,
        DataOnDisconnectedLsap = 0x06,
        NoClient = 0x08,
        Unspecified = 0xFF,
    };

    bool control = false;
    quint8 destination = 0;
    quint8 source = 0;
    quint8 opcode = 0; // control PDUs, with the confirm bit
    quint8 parameter = 0;
    QByteArray data; // user data

    // False when too short for its kind.
    static bool parse(const QByteArray &bytes, IrLmpPdu *pdu);

    static QByteArray dataPdu(quint8 destination, quint8 source, const QByteArray &data);
    static QByteArray controlPdu(quint8 destination, quint8 source, quint8 opcode, quint8 parameter,
                                 const QByteArray &data = QByteArray());
};
