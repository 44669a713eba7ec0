#include "irda/IrLmpPdu.h"

bool IrLmpPdu::parse(const QByteArray &bytes, IrLmpPdu *pdu)
{
    if (bytes.size() < 2)
        return false;
    pdu->control = quint8(bytes.at(0)) & 0x80;
    pdu->destination = quint8(bytes.at(0)) & 0x7F;
    pdu->source = quint8(bytes.at(1)) & 0x7F;
    pdu->opcode = 0;
    pdu->parameter = 0;
    if (!pdu->control) {
        pdu->data = bytes.mid(2);
        return true;
    }
    if (bytes.size() < 3)
        return false;
    pdu->opcode = quint8(bytes.at(2));
    // A disconnect must give its reason.
    if ((pdu->opcode & ~Confirm) == Disconnect && bytes.size() < 4)
        return false;
    pdu->parameter = bytes.size() > 3 ? quint8(bytes.at(3)) : 0;
    pdu->data = bytes.mid(4);
    return true;
}

QByteArray IrLmpPdu::dataPdu(quint8 destination, quint8 source, const QByteArray &data)
{
    QByteArray bytes;
    bytes.reserve(2 + data.size());
    bytes.append(char(destination & 0x7F));
    bytes.append(char(source & 0x7F));
    bytes.append(data);
    return bytes;
}

QByteArray IrLmpPdu::controlPdu(quint8 destination, quint8 source, quint8 opcode, quint8 parameter,
                                const QByteArray &data)
{
    QByteArray bytes;
    bytes.reserve(4 + data.size());
    bytes.append(char(0x80 | (destination & 0x7F)));
    bytes.append(char(source & 0x7F));
    bytes.append(char(opcode));
    bytes.append(char(parameter));
    bytes.append(data);
    return bytes;
}
