#include "app/LibraryPath.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

namespace LibraryPath {

namespace {

// The directory is set once at start-up but read from worker threads that
// load plug-ins, hence the lock.
QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

QStringList &directories()
{
    static QStringList dirs;
    return dirs;
}

// The file name the platform's loader gives a library of this name.
QString platformFileName(const QString &name)
{
#if defined(Q_OS_WIN)
    return name + QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("lib") + name + QStringLiteral(".dylib");
#else
    return QStringLiteral("lib") + name + QStringLiteral(".so");
#endif
}

} // namespace

void setLibraryDirectory(const QString &dir)
{
    setLibraryDirectories(dir.isEmpty() ? QStringList() : QStringList {dir});
}

void setLibraryDirectories(const QStringList &dirs)
{
    QStringList cleaned;
    for (const QString &dir : dirs) {
        if (!dir.isEmpty())
            cleaned.append(QDir::cleanPath(QDir(dir).absolutePath()));
    }
    QMutexLocker locker(&lock());
    directories() = cleaned;
}

QString libraryDirectory()
{
    QMutexLocker locker(&lock());
    return directories().value(0);
}

QStringList libraryDirectories()
{
    QMutexLocker locker(&lock());
    return directories();
}

QString resolve(const QString &connector)
{
    // A name that already carries a directory is the caller's choice; an
    // empty one has no file to look for.
    if (connector.isEmpty() || connector.contains(QLatin1Char('/'))
        || connector.contains(QLatin1Char('\\')))
        return connector;
    const QStringList dirs = libraryDirectories();
    for (const QString &dir : dirs) {
        const QFileInfo file(QDir(dir).filePath(platformFileName(connector)));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return connector;
}

} // namespace LibraryPath
