#include "irda/IrFcs.h"

#include <array>

namespace {

// The reflected polynomial 0x8408, one byte at a time.
constexpr std::array<quint16, 256> makeTable()
{
    std::array<quint16, 256> table {};
    for (int byte = 0; byte < 256; ++byte) {
        quint16 value = quint16(byte);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? quint16((value >> 1) ^ 0x8408) : quint16(value >> 1);
        table[size_t(byte)] = value;
    }
    return table;
}

constexpr std::array<quint16, 256> table = makeTable();

} // namespace

quint16 IrFcs::update(quint16 fcs, const char *data, int size)
{
    for (int i = 0; i < size; ++i)
        fcs = quint16((fcs >> 8) ^ table[(fcs ^ quint8(data[i])) & 0xFF]);
    return fcs;
}

QByteArray IrFcs::bytesFor(const QByteArray &frame)
{
    const quint16 fcs = quint16(~update(Initial, frame.constData(), frame.size()));
    QByteArray bytes(2, '\0');
    bytes[0] = char(fcs & 0xFF);
    bytes[1] = char(fcs >> 8);
    return bytes;
}

bool IrFcs::holds(const char *frameWithFcs, int size)
{
    return size >= 2 && update(Initial, frameWithFcs, size) == GoodResidue;
}
