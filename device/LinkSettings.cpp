#include "device/LinkSettings.h"

#include <QMutex>
#include <QSettings>

namespace {

const char LinkVariable[] = "TM4040_LINK";

const char *const kindNames[] = {"automatic", "irda", "serial", "tcp"};

struct UserLink
{
    bool known = false;
    QString value;
};

QMutex userLinkMutex;
UserLink firstLook;

} // namespace

LinkSettings LinkSettings::load()
{
    QSettings settings;
    LinkSettings link;
    const QString kind = settings.value(QStringLiteral("link/kind")).toString();
    for (int i = 0; i < 4; ++i) {
        if (kind == QLatin1String(kindNames[i]))
            link.kind = Kind(i);
    }
    link.port = settings.value(QStringLiteral("link/port")).toString();
    link.baud = settings.value(QStringLiteral("link/baud"), 0).toInt();
    link.host = settings.value(QStringLiteral("link/host")).toString();
    link.tcpPort = settings.value(QStringLiteral("link/tcpPort"), DefaultTcpPort).toInt();
    // A choice that cannot work falls back to the search.
    if (((link.kind == IrDA || link.kind == Serial) && link.port.isEmpty())
        || (link.kind == Tcp && (link.host.isEmpty() || link.tcpPort <= 0 || link.tcpPort > 65535)))
        link.kind = Automatic;
    return link;
}

void LinkSettings::save() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("link/kind"), QLatin1String(kindNames[kind]));
    settings.setValue(QStringLiteral("link/port"), port);
    settings.setValue(QStringLiteral("link/baud"), baud);
    settings.setValue(QStringLiteral("link/host"), host);
    settings.setValue(QStringLiteral("link/tcpPort"), tcpPort);
}

QString LinkSettings::linkText() const
{
    const QString speed = baud > 0 ? QStringLiteral(":%1").arg(baud) : QString();
    switch (kind) {
    case IrDA:
        return QStringLiteral("irda:") + port + speed;
    case Serial:
        return QStringLiteral("serial:") + port + speed;
    case Tcp:
        // An address with colons (IPv6) goes in brackets.
        return QStringLiteral("tcp:%1:%2")
            .arg(host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host)
            .arg(tcpPort);
    case Automatic:
        break;
    }
    return QString();
}

QString LinkSettings::userLink()
{
    QMutexLocker locker(&userLinkMutex);
    if (!firstLook.known) {
        firstLook.known = true;
        firstLook.value = qEnvironmentVariable(LinkVariable);
    }
    return firstLook.value;
}

void LinkSettings::applyToEnvironment()
{
    if (!userLink().isEmpty())
        return;
    const QString text = load().linkText();
    if (text.isEmpty())
        qunsetenv(LinkVariable);
    else
        qputenv(LinkVariable, text.toLocal8Bit());
}
