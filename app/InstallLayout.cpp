#include "app/InstallLayout.h"

#include <QDir>

namespace InstallLayout {

namespace {

QString under(const QString &executableDir, const char *relative)
{
    return QDir::cleanPath(QDir(executableDir).filePath(QString::fromUtf8(relative)));
}

} // namespace

QString version()
{
    return QStringLiteral(ORVANE_VERSION);
}

QString homepage()
{
    return QStringLiteral(ORVANE_HOMEPAGE);
}

QStringList pluginDirectories(const QString &executableDir)
{
    return {under(executableDir, "mydlls"), under(executableDir, ORVANE_PLUGIN_DIR_FROM_BIN)};
}

QStringList helpDirectories(const QString &executableDir)
{
    return {under(executableDir, "help"), under(executableDir, ORVANE_HELP_DIR_FROM_BIN)};
}

} // namespace InstallLayout
