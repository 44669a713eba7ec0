#include "app/DiagnosticLog.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

QStringList g_passedOn;
void remember(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_passedOn.append(message);
}

Q_LOGGING_CATEGORY(lcProbe, "orvane.probe")

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Diagnostics go into a small, rotated file in the data folder besides the
// terminal, from every thread.
class DiagnosticLogTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        g_passedOn.clear();
        m_previous = qInstallMessageHandler(remember);
    }

    void cleanup()
    {
        DiagnosticLog::uninstall();
        qInstallMessageHandler(m_previous);
    }

    void linesGoToTheFileAndOnToTheTerminal()
    {
        const QString name = DiagnosticLog::fileNameIn(m_dir->path());
        QCOMPARE(QFileInfo(name).fileName(), QStringLiteral("orvane.log"));
        DiagnosticLog::install(name);
        QCOMPARE(DiagnosticLog::fileName(), name);
        qWarning("plain warning");
        qCDebug(lcProbe) << "history packet 1 = 52 58";
        QThread *worker = QThread::create([] { qInfo("from a worker"); });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        DiagnosticLog::uninstall();
        qWarning("after the end");

        const QList<QByteArray> lines = contents(name).split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the end of the last
        QVERIFY2(lines.at(0).endsWith(" warning: plain warning"), lines.at(0).constData());
        QVERIFY2(lines.at(1).endsWith(" debug orvane.probe: history packet 1 = 52 58"),
                 lines.at(1).constData());
        QVERIFY2(lines.at(2).endsWith(" info: from a worker"), lines.at(2).constData());
        QVERIFY(QDateTime::fromString(QString::fromLatin1(lines.at(0).left(23)),
                                      QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                    .isValid());
        // The terminal still gets everything, the file nothing after the end.
        QCOMPARE(g_passedOn,
                 (QStringList {"plain warning", "history packet 1 = 52 58", "from a worker",
                               "after the end"}));
        QCOMPARE(DiagnosticLog::fileName(), QString());
    }

    void rotationKeepsFewSmallFiles()
    {
        const QString name = DiagnosticLog::fileNameIn(m_dir->path());
        const qint64 limit = 4096;
        DiagnosticLog::install(name, limit, 3);
        const QString payload(100, QLatin1Char('x'));
        for (int i = 0; i < 200; ++i)
            qDebug().noquote() << i << payload;
        DiagnosticLog::uninstall();

        for (const QString &file : {name, name + ".1", name + ".2"}) {
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QVERIFY(QFileInfo(file).size() <= limit);
        }
        QVERIFY(!QFile::exists(name + ".3"));
        // The newest lines are in the file itself, the older ones before.
        QVERIFY(contents(name).contains(": 199 x"));
        QVERIFY(contents(name + ".1").contains(": 1"));
        QVERIFY(!contents(name).contains(": 0 x"));
    }

    void anUnwritableFolderLogsNothing()
    {
        DiagnosticLog::install(m_dir->filePath(QStringLiteral("missing/orvane.log")));
        QCOMPARE(DiagnosticLog::fileName(), QString());
        qWarning("still on the terminal");
        QCOMPARE(g_passedOn, QStringList {"still on the terminal"});
    }

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QtMessageHandler m_previous = nullptr;
};

QTEST_GUILESS_MAIN(DiagnosticLogTest)
#include "tst_diagnosticlog.moc"
