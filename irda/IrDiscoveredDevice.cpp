#include "irda/IrDiscoveredDevice.h"

bool IrDiscoveredDevice::parseInfo(const QByteArray &info, IrDiscoveredDevice *device)
{
    device->hints.clear();
    device->charset = 0;
    device->nickname.clear();
    if (info.isEmpty())
        return true;
    // Hint bytes go on while bit 7 (extension) is set.
    int at = 0;
    while (at < info.size()) {
        const quint8 hint = quint8(info.at(at++));
        device->hints.append(char(hint));
        if (!(hint & 0x80))
            break;
        if (at >= info.size())
            return false;
    }
    if (at < info.size())
        device->charset = quint8(info.at(at++));
    // The nickname takes the rest; a station names itself in at most 23
    // bytes, more is cut.
    device->nickname = info.mid(at, 32);
    return true;
}

QString IrDiscoveredDevice::name() const
{
    if (charset == 0xFF) {
        // Unicode, two bytes a character.
        QString text;
        for (int i = 0; i + 1 < nickname.size(); i += 2)
            text.append(QChar(ushort((quint8(nickname.at(i)) << 8) | quint8(nickname.at(i + 1)))));
        return text;
    }
    QString text = QString::fromLatin1(nickname);
    const int end = text.indexOf(QChar(0));
    return end >= 0 ? text.left(end) : text;
}

bool IrDiscoveredDevice::offersIrComm() const
{
    return hints.size() >= 2 && (quint8(hints.at(1)) & HintIrComm);
}

QString IrDiscoveredDevice::describe() const
{
    return QStringLiteral("0x%1 \"%2\"").arg(address, 8, 16, QLatin1Char('0')).arg(name());
}
