#include "app/UserGuide.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace UserGuide {

namespace {

// Set and read on the GUI thread only.
QStringList &directories()
{
    static QStringList dirs;
    return dirs;
}

} // namespace

QString fileName()
{
    return QStringLiteral("User guide.pdf");
}

void setSearchDirectories(const QStringList &dirs)
{
    directories() = dirs;
}

QStringList searchDirectories()
{
    return directories();
}

QString find()
{
    for (const QString &path : expectedPaths()) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

QStringList expectedPaths()
{
    QStringList paths;
    for (const QString &dir : directories())
        paths.append(QDir::cleanPath(QDir(dir).absoluteFilePath(fileName())));
    return paths;
}

bool desktopHasPdfViewer()
{
    // Opening a file never fails for Qt once xdg-open has started; whether
    // anything will show it is asked beforehand.
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty())
        return true;
    QProcess process;
    process.start(
        query,
        {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return true;
    }
    return process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
        || !process.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace UserGuide
