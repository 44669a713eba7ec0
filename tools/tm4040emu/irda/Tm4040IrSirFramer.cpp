#include "Tm4040IrSirFramer.h"

quint16 Tm4040IrSirFramer::crc(const char *data, int size, quint16 preset)
{
    quint16 crc = preset;
    for (int i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return crc;
}

bool Tm4040IrSirFramer::checkFcs(const QByteArray &frameWithFcs)
{
    return frameWithFcs.size() >= 2 && crc(frameWithFcs.constData(), frameWithFcs.size()) == 0xF0B8;
}

QByteArray Tm4040IrSirFramer::withFcs(const QByteArray &frame)
{
    const quint16 sum = fcs(frame);
    QByteArray result = frame;
    result.append(char(sum & 0xFF));
    result.append(char(sum >> 8));
    return result;
}

QByteArray Tm4040IrSirFramer::escape(const QByteArray &frameWithFcs, int extraBofs)
{
    QByteArray line;
    line.reserve(extraBofs + frameWithFcs.size() * 2 + 2);
    line.append(QByteArray(qMax(0, extraBofs), Xbof));
    line.append(Bof);
    for (const char byte : frameWithFcs) {
        if (byte == Bof || byte == Eof || byte == Escape) {
            line.append(Escape);
            line.append(char(byte ^ 0x20));
        } else {
            line.append(byte);
        }
    }
    line.append(Eof);
    return line;
}
