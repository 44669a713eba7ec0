#include "db/Options.h"

#include "db/Channel.h"

#include <QDataStream>
#include <QIODevice>

Options::Options()
    : medColors {QColor(64, 0, 249), QColor(0, 191, 48), QColor(192, 64, 0), QColor(0, 0, 0)}
    , edColors {QColor(136, 117, 250), QColor(115, 255, 137), QColor(254, 129, 30), QColor(0, 0, 0)}
{ }

static QColor colorOf(const QVector<QColor> &colors, int channel)
{
    if (channel < 0 || channel >= colors.size())
        channel = VDB::Alpha;
    return colors.value(channel);
}

QColor Options::edColor(int channel) const
{
    return colorOf(edColors, channel);
}

QColor Options::medColor(int channel) const
{
    return colorOf(medColors, channel);
}

int Options::settings() const
{
    return (units & 3) | (delHistory ? DelHistory : 0) | (synchronizeDate ? SynchronizeDate : 0)
        | (turnOffDevice ? TurnOffDevice : 0) | (undockDevice ? UndockDevice : 0);
}

void Options::setSettings(int settings)
{
    units = settings & 3;
    delHistory = settings & DelHistory;
    synchronizeDate = settings & SynchronizeDate;
    turnOffDevice = settings & TurnOffDevice;
    undockDevice = settings & UndockDevice;
}

QByteArray Options::encodeColors(const QVector<QColor> &colors)
{
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    for (int channel = 0; channel < VDB::ChannelCount; ++channel)
        out << colors.value(channel);
    return blob;
}

void Options::decodeColors(const QByteArray &blob, QVector<QColor> &into)
{
    // Each colour is streamed as its spec byte and five 16-bit values. QColor
    // keeps whatever spec byte it reads, so a damaged list could leave colours
    // of no known kind behind; those read as invalid instead.
    constexpr int StreamedColorSize = 11;
    QDataStream in(blob);
    for (int channel = 0; channel < into.size(); ++channel) {
        const int offset = channel * StreamedColorSize;
        const int spec = offset < blob.size() ? qint8(blob.at(offset)) : int(QColor::Invalid);
        QColor read;
        const bool known = spec >= QColor::Invalid && spec <= QColor::ExtendedRgb;
        if (known)
            in >> read;
        else
            in.skipRawData(StreamedColorSize);
        // A short list leaves the remaining channels invalid.
        into[channel] = known && in.status() == QDataStream::Ok ? read : QColor();
    }
}
