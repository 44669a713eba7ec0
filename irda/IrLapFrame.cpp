#include "irda/IrLapFrame.h"

quint8 IrLapFrame::type() const
{
    switch (kind) {
    case Information:
        return 0;
    case Supervisory:
        return quint8(control & 0x0F);
    case Unnumbered:
        return quint8(control & ~PollFinal);
    case Invalid:
        break;
    }
    return 0xFF;
}

IrLapFrame IrLapFrame::parse(const QByteArray &bytes)
{
    IrLapFrame frame;
    if (bytes.size() < 2)
        return frame;
    const quint8 address = quint8(bytes.at(0));
    frame.connectionAddress = quint8(address >> 1);
    frame.command = address & 0x01;
    frame.control = quint8(bytes.at(1));
    frame.pollFinal = frame.control & PollFinal;
    frame.info = bytes.mid(2);
    if ((frame.control & 0x01) == 0) {
        frame.kind = Information;
        frame.ns = (frame.control >> 1) & 0x07;
        frame.nr = (frame.control >> 5) & 0x07;
    } else if ((frame.control & 0x03) == 0x01) {
        frame.kind = Supervisory;
        frame.nr = (frame.control >> 5) & 0x07;
    } else {
        frame.kind = Unnumbered;
    }
    return frame;
}

QByteArray IrLapFrame::build(quint8 connectionAddress, bool command, quint8 control,
                             const QByteArray &info)
{
    QByteArray frame;
    frame.reserve(2 + info.size());
    frame.append(char(quint8(connectionAddress << 1) | (command ? 1 : 0)));
    frame.append(char(control));
    frame.append(info);
    return frame;
}

QByteArray IrLapFrame::information(quint8 connectionAddress, bool command, int ns, int nr,
                                   bool pollFinal, const QByteArray &info)
{
    const quint8 control = quint8(((nr & 7) << 5) | (pollFinal ? PollFinal : 0) | ((ns & 7) << 1));
    return build(connectionAddress, command, control, info);
}

QByteArray IrLapFrame::supervisory(quint8 connectionAddress, bool command, quint8 type, int nr,
                                   bool pollFinal)
{
    const quint8 control = quint8(((nr & 7) << 5) | (pollFinal ? PollFinal : 0) | (type & 0x0F));
    return build(connectionAddress, command, control);
}
