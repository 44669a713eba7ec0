#include "irda/IrCommNineWire.h"

namespace {

QByteArray parameter(quint8 identifier, const QByteArray &value)
{
    return QByteArray(1, char(identifier)) + char(value.size()) + value;
}

QByteArray withLength(const QByteArray &control)
{
    return QByteArray(1, char(control.size())) + control;
}

bool parameterListHolds(const QByteArray &control)
{
    int at = 0;
    while (at < control.size()) {
        if (at + 2 > control.size())
            return false;
        at += 2 + quint8(control.at(at + 1));
    }
    return at == control.size();
}

} // namespace

QByteArray IrCommNineWire::connectParameters()
{
    return withLength(parameter(ServiceType, QByteArray(1, char(NineWire)))
                      + parameter(PortType, QByteArray(1, char(SerialPort))));
}

QByteArray IrCommNineWire::initialControl()
{
    const QByteArray rate = QByteArray::fromHex("00002580"); // 9600, most significant byte first
    return parameter(DataRate, rate) + parameter(DataFormat, QByteArray(1, char(0x03)))
        + parameter(FlowControl, QByteArray(1, char(0x00)))
        + parameter(DteLineSettings, QByteArray(1, char(DtrAndRts)));
}

QByteArray IrCommNineWire::frame(const QByteArray &data, const QByteArray &control)
{
    return withLength(control) + data;
}

bool IrCommNineWire::parse(const QByteArray &sdu, QByteArray *control, QByteArray *data)
{
    if (sdu.isEmpty())
        return false;
    const int length = quint8(sdu.at(0));
    if (1 + length > sdu.size())
        return false;
    const QByteArray parameters = sdu.mid(1, length);
    if (!parameterListHolds(parameters))
        return false;
    *control = parameters;
    *data = sdu.mid(1 + length);
    return true;
}

int IrCommNineWire::dceLines(const QByteArray &control)
{
    int lines = -1;
    for (int at = 0; at + 2 <= control.size();) {
        const int length = quint8(control.at(at + 1));
        if (at + 2 + length > control.size())
            break;
        if (quint8(control.at(at)) == DceLineSettings && length >= 1)
            lines = quint8(control.at(at + 2));
        at += 2 + length;
    }
    return lines;
}
