#include "app/LibraryPath.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace LibraryPath {

namespace {

// The directory is set once at start-up but read from worker threads that
// load plug-ins, hence the lock.
QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

QString &directory()
{
    static QString dir;
    return dir;
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
    QMutexLocker locker(&lock());
    directory() = dir.isEmpty() ? QString() : QDir::cleanPath(QDir(dir).absolutePath());
}

QString libraryDirectory()
{
    QMutexLocker locker(&lock());
    return directory();
}

QString resolve(const QString &connector)
{
    const QString dir = libraryDirectory();
    // A name that already carries a directory is the caller's choice; an
    // empty one has no file to look for.
    if (dir.isEmpty() || connector.isEmpty() || connector.contains(QLatin1Char('/'))
        || connector.contains(QLatin1Char('\\')))
        return connector;
    const QFileInfo file(QDir(dir).filePath(platformFileName(connector)));
    if (file.isFile())
        return file.absoluteFilePath();
    return connector;
}

} // namespace LibraryPath
