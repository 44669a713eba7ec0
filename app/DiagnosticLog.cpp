#include "app/DiagnosticLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>

namespace DiagnosticLog {

namespace {

struct State
{
    QMutex mutex;
    QFile file;
    qint64 limit = DefaultFileLimit;
    int kept = DefaultFilesKept;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

// Never destroyed: worker threads may still log while the process ends.
State &state()
{
    static State *s = new State;
    return *s;
}

QString rotatedName(const QString &name, int index)
{
    return index == 0 ? name : QStringLiteral("%1.%2").arg(name).arg(index);
}

// Called with the mutex held.
void rotate(State &s)
{
    const QString name = s.file.fileName();
    s.file.close();
    QFile::remove(rotatedName(name, s.kept - 1));
    for (int index = s.kept - 2; index >= 0; --index)
        QFile::rename(rotatedName(name, index), rotatedName(name, index + 1));
    s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    State &s = state();
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker locker(&s.mutex);
        previous = s.previous;
        if (s.file.isOpen()) {
            const QByteArray line = formatLine(type, context.category, message).toUtf8() + '\n';
            if (s.file.size() > 0 && s.file.size() + line.size() > s.limit && s.kept > 1)
                rotate(s);
            // Written through at once: a crash must not lose the last lines.
            if (s.file.isOpen()) {
                s.file.write(line);
                s.file.flush();
            }
        }
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

void install(const QString &fileName, qint64 fileLimit, int filesKept)
{
    State &s = state();
    {
        QMutexLocker locker(&s.mutex);
        s.file.close();
        s.file.setFileName(fileName);
        s.limit = qMax<qint64>(1024, fileLimit);
        s.kept = qMax(1, filesKept);
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            s.file.setFileName(QString());
        if (s.installed)
            return;
        s.installed = true;
    }
    // Outside the lock: the previous handler is only read under it.
    const QtMessageHandler previous = qInstallMessageHandler(handleMessage);
    QMutexLocker locker(&s.mutex);
    s.previous = previous;
}

void uninstall()
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    if (!s.installed)
        return;
    qInstallMessageHandler(s.previous);
    s.previous = nullptr;
    s.installed = false;
    s.file.close();
    s.file.setFileName(QString());
}

QString fileName()
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

QString fileNameIn(const QString &dataDirectory)
{
    return QDir(dataDirectory).filePath(QStringLiteral("orvane.log"));
}

QString formatLine(QtMsgType type, const char *category, const QString &message)
{
    const char *kind = "debug";
    switch (type) {
    case QtDebugMsg:
        break;
    case QtInfoMsg:
        kind = "info";
        break;
    case QtWarningMsg:
        kind = "warning";
        break;
    case QtCriticalMsg:
        kind = "critical";
        break;
    case QtFatalMsg:
        kind = "fatal";
        break;
    }
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        + QLatin1Char(' ') + QLatin1String(kind);
    if (category && std::strcmp(category, "default") != 0)
        line += QLatin1Char(' ') + QLatin1String(category);
    return line + QStringLiteral(": ") + message;
}

} // namespace DiagnosticLog
