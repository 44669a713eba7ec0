#include "Tm4040IrQos.h"

namespace {

const int BaudRates[] = {2400, 9600, 19200, 38400, 57600, 115200};
const int DataSizes[] = {64, 128, 256, 512, 1024, 2048};
const int TurnaroundsMs[] = {500, 250, 100, 50};
const int Bofs[] = {48, 24, 12, 5, 3, 2, 1, 0};
const int DisconnectSeconds[] = {3, 8, 12, 16, 20, 25, 30, 40};
const int MinTurnaroundsUs[] = {10000, 5000, 1000, 500, 100, 50, 10, 0};

int highestBit(unsigned mask, int bits)
{
    for (int bit = bits - 1; bit >= 0; --bit) {
        if (mask & (1u << bit))
            return bit;
    }
    return -1;
}

int lowestBit(unsigned mask, int bits)
{
    for (int bit = 0; bit < bits; ++bit) {
        if (mask & (1u << bit))
            return bit;
    }
    return -1;
}

void put(QByteArray *list, quint8 identifier, quint8 value)
{
    list->append(char(identifier));
    list->append(char(1));
    list->append(char(value));
}

} // namespace

bool Tm4040IrQos::parse(const QByteArray &parameters, Tm4040IrQos *qos)
{
    Tm4040IrQos result;
    int at = 0;
    while (at < parameters.size()) {
        if (at + 2 > parameters.size())
            return false;
        const quint8 identifier = quint8(parameters.at(at));
        const int length = quint8(parameters.at(at + 1));
        if (at + 2 + length > parameters.size())
            return false;
        const QByteArray value = parameters.mid(at + 2, length);
        at += 2 + length;
        if (length == 0)
            continue;
        const quint8 low = quint8(value.at(0));
        switch (identifier) {
        case 0x01:
            result.baud = quint16(low | (length > 1 ? quint8(value.at(1)) << 8 : 0));
            break;
        case 0x82:
            result.maxTurnaround = low;
            break;
        case 0x83:
            result.dataSize = low;
            break;
        case 0x84:
            result.windowSize = low;
            break;
        case 0x85:
            result.additionalBofs = low;
            break;
        case 0x86:
            result.minTurnaround = low;
            break;
        case 0x08:
            result.disconnectTime = low;
            break;
        default:
            break;
        }
    }
    *qos = result;
    return true;
}

QByteArray Tm4040IrQos::encode() const
{
    QByteArray list;
    if (baud > 0xFF) {
        list.append(char(0x01));
        list.append(char(2));
        list.append(char(baud & 0xFF));
        list.append(char(baud >> 8));
    } else {
        put(&list, 0x01, quint8(baud));
    }
    put(&list, 0x82, maxTurnaround);
    put(&list, 0x83, dataSize);
    put(&list, 0x84, windowSize);
    put(&list, 0x85, additionalBofs);
    put(&list, 0x86, minTurnaround);
    put(&list, 0x08, disconnectTime);
    return list;
}

Tm4040IrQos Tm4040IrQos::answer(const Tm4040IrQos &offer) const
{
    Tm4040IrQos result = *this;
    // Only the SIR rates: this dongle has nothing faster.
    result.baud = quint16(offer.baud & baud & 0x3F);
    if (result.baud == 0)
        result.baud = 0x02;
    result.disconnectTime = offer.disconnectTime & disconnectTime;
    if (result.disconnectTime == 0)
        result.disconnectTime = 0x01;
    return result;
}

quint16 Tm4040IrQos::baudMaskUpTo(int maxBaud)
{
    quint16 mask = 0x02;
    for (int bit = 0; bit < 6; ++bit) {
        if (BaudRates[bit] <= maxBaud)
            mask |= quint16(1u << bit);
    }
    return mask;
}

int Tm4040IrQos::baudRate() const
{
    const int bit = highestBit(baud & 0x3F, 6);
    return bit < 0 ? 9600 : BaudRates[bit];
}

int Tm4040IrQos::dataSizeBytes() const
{
    const int bit = highestBit(dataSize, 6);
    return bit < 0 ? 64 : DataSizes[bit];
}

int Tm4040IrQos::windowFrames() const
{
    const int bit = highestBit(windowSize, 7);
    return bit < 0 ? 1 : bit + 1;
}

int Tm4040IrQos::disconnectSeconds() const
{
    const int bit = highestBit(disconnectTime, 8);
    return bit < 0 ? 3 : DisconnectSeconds[bit];
}

int Tm4040IrQos::maxTurnaroundMs() const
{
    const int bit = highestBit(maxTurnaround, 4);
    return bit < 0 ? 500 : TurnaroundsMs[bit];
}

int Tm4040IrQos::minTurnaroundUs() const
{
    const int bit = lowestBit(minTurnaround, 8);
    return bit < 0 ? 10000 : MinTurnaroundsUs[bit];
}

int Tm4040IrQos::extraBofsAt(int baudRate) const
{
    const int bit = lowestBit(additionalBofs, 8);
    const int at115200 = bit < 0 ? 0 : Bofs[bit];
    // The count is given for 115200 baud and scales with the speed.
    return (at115200 * baudRate + 115199) / 115200;
}
