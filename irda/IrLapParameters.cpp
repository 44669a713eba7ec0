#include "irda/IrLapParameters.h"

namespace {

int highestBit(unsigned bits)
{
    for (int bit = 15; bit >= 0; --bit) {
        if (bits & (1u << bit))
            return bit;
    }
    return -1;
}

int lowestBit(unsigned bits)
{
    for (int bit = 0; bit < 16; ++bit) {
        if (bits & (1u << bit))
            return bit;
    }
    return -1;
}

const int baudTable[] = {2400, 9600, 19200, 38400, 57600, 115200, 576000, 1152000, 4000000};
const int dataSizeTable[] = {64, 128, 256, 512, 1024, 2048};
const qint64 maxTurnaroundTable[] = {500000, 250000, 100000, 50000, 25000, 10000, 5000};
const qint64 minTurnaroundTable[] = {10000, 5000, 1000, 500, 100, 50, 10, 0};
const int bofTable[] = {48, 24, 12, 5, 3, 2, 1, 0};
const int disconnectTable[] = {3, 8, 12, 16, 20, 25, 30, 40};

void appendParameter(QByteArray &bytes, quint8 identifier, quint8 value)
{
    bytes.append(char(identifier));
    bytes.append(char(1));
    bytes.append(char(value));
}

} // namespace

QByteArray IrLapParameters::encode() const
{
    QByteArray bytes;
    if (baudRates > 0xFF) {
        bytes.append(char(BaudRate));
        bytes.append(char(2));
        bytes.append(char(baudRates & 0xFF));
        bytes.append(char(baudRates >> 8));
    } else {
        appendParameter(bytes, BaudRate, quint8(baudRates));
    }
    appendParameter(bytes, MaxTurnaround, maxTurnaround);
    appendParameter(bytes, DataSize, dataSizes);
    appendParameter(bytes, WindowSize, windowSizes);
    appendParameter(bytes, AdditionalBofs, additionalBofs);
    appendParameter(bytes, MinTurnaround, minTurnaround);
    appendParameter(bytes, LinkDisconnect, linkDisconnect);
    return bytes;
}

bool IrLapParameters::decode(const QByteArray &bytes, IrLapParameters *out)
{
    IrLapParameters parameters;
    int at = 0;
    while (at < bytes.size()) {
        if (at + 2 > bytes.size())
            return false;
        const quint8 identifier = quint8(bytes.at(at));
        const int length = quint8(bytes.at(at + 1));
        at += 2;
        if (at + length > bytes.size())
            return false;
        if (length > 0) {
            const quint8 first = quint8(bytes.at(at));
            switch (identifier) {
            case BaudRate:
                parameters.baudRates
                    = length > 1 ? quint16(first | (quint8(bytes.at(at + 1)) << 8)) : first;
                break;
            case MaxTurnaround:
                parameters.maxTurnaround = first;
                break;
            case DataSize:
                parameters.dataSizes = first;
                break;
            case WindowSize:
                parameters.windowSizes = first;
                break;
            case AdditionalBofs:
                parameters.additionalBofs = first;
                break;
            case MinTurnaround:
                parameters.minTurnaround = first;
                break;
            case LinkDisconnect:
                parameters.linkDisconnect = first;
                break;
            default:
                break;
            }
        }
        at += length;
    }
    *out = parameters;
    return true;
}

int IrLapParameters::baudOf(quint16 bits)
{
    const int bit = highestBit(bits & 0x01FF);
    return bit < 0 ? 0 : baudTable[bit];
}

int IrLapParameters::dataSizeOf(quint8 bits)
{
    const int bit = highestBit(bits & 0x3F);
    return bit < 0 ? 64 : dataSizeTable[bit];
}

int IrLapParameters::windowSizeOf(quint8 bits)
{
    const int bit = highestBit(bits & 0x7F);
    return bit < 0 ? 1 : bit + 1;
}

qint64 IrLapParameters::maxTurnaroundMicrosOf(quint8 bits)
{
    // The shortest time a station names is the one both can keep to.
    const int bit = highestBit(bits & 0x7F);
    return bit < 0 ? maxTurnaroundTable[0] : maxTurnaroundTable[bit];
}

qint64 IrLapParameters::minTurnaroundMicrosOf(quint8 bits)
{
    const int bit = lowestBit(bits);
    return bit < 0 ? minTurnaroundTable[0] : minTurnaroundTable[bit];
}

int IrLapParameters::additionalBofsOf(quint8 bits, int baud)
{
    const int bit = lowestBit(bits);
    const int at115200 = bit < 0 ? bofTable[0] : bofTable[bit];
    // The count is given for 115.2 kb/s and scales with the speed.
    return int((qint64(at115200) * baud + 115199) / 115200);
}

int IrLapParameters::disconnectSecondsOf(quint8 bits)
{
    const int bit = highestBit(bits);
    return bit < 0 ? disconnectTable[0] : disconnectTable[bit];
}

quint16 IrLapParameters::baudBitsUpTo(int maxBaud)
{
    // 9600 b/s is always offered: every station speaks it.
    quint16 bits = 0x0002;
    for (int bit = 2; bit <= 5; ++bit) {
        if (baudTable[bit] <= maxBaud)
            bits |= quint16(1u << bit);
    }
    return bits;
}
