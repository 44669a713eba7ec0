#include "common/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include <pwd.h>
#include <unistd.h>

namespace TestSupport {

namespace {

const char BinDir[] = "/usr/lib/postgresql/15/bin/";
const char AdminConnection[] = "orvane-test-admin";

std::unique_ptr<PostgresServer> g_server;
QString g_error;
bool g_tried = false;

void stopShared()
{
    QSqlDatabase::removeDatabase(QLatin1String(AdminConnection));
    g_server.reset();
}

} // namespace

bool PostgresServer::wanted()
{
    return qgetenv("ORVANE_TEST_ENGINE") == "postgresql";
}

PostgresServer *PostgresServer::shared()
{
    if (!g_tried) {
        g_tried = true;
        std::unique_ptr<PostgresServer> server(new PostgresServer);
        if (server->initialise() && server->start()) {
            g_server = std::move(server);
            qAddPostRoutine(stopShared);
        }
    }
    return g_server.get();
}

QString PostgresServer::lastError()
{
    return g_error;
}

PostgresServer::PostgresServer()
    : m_dir(new QTemporaryDir(QDir::tempPath() + QStringLiteral("/orvane-pg-XXXXXX")))
{ }

PostgresServer::~PostgresServer()
{
    stop();
}

bool PostgresServer::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString binary = QString::fromLatin1(BinDir) + program;
    process.setWorkingDirectory(m_dir->path());
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"),
                      QStringList {QStringLiteral("-u"), QStringLiteral("postgres"),
                                   QStringLiteral("--"), binary}
                          + arguments);
    else
        process.start(binary, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        g_error = program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll())
            + process.errorString();
        return false;
    }
    return true;
}

bool PostgresServer::initialise()
{
    if (!m_dir->isValid()) {
        g_error = QStringLiteral("no temporary folder");
        return false;
    }
    if (geteuid() == 0) {
        // The server's user must own its folder; root can still reach it.
        const passwd *user = getpwnam("postgres");
        if (!user
            || chown(QFile::encodeName(m_dir->path()).constData(), user->pw_uid, user->pw_gid)
                != 0) {
            g_error = QStringLiteral("no postgres system user to run the server");
            return false;
        }
    }
    return run(QStringLiteral("initdb"),
               {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-U"),
                QStringLiteral("postgres"), QStringLiteral("-A"), QStringLiteral("trust"),
                QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")});
}

bool PostgresServer::start()
{
    const QString data = m_dir->filePath(QStringLiteral("data"));
    // No TCP port, so that parallel test executables never meet; no disk
    // syncs, tests do not survive a power cut.
    const QString options = QStringLiteral("-k %1 -c listen_addresses= -F -c "
                                           "full_page_writes=off")
                                .arg(m_dir->path());
    m_running = run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), data, QStringLiteral("-l"),
                     m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options,
                     QStringLiteral("-w"), QStringLiteral("-s"), QStringLiteral("start")});
    if (!m_running)
        return false;
    const QString name = QLatin1String(AdminConnection);
    QSqlDatabase admin = QSqlDatabase::contains(name)
        ? QSqlDatabase::database(name, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    admin.close();
    admin.setHostName(m_dir->path());
    admin.setUserName(QStringLiteral("postgres"));
    admin.setDatabaseName(QStringLiteral("postgres"));
    if (!admin.open()) {
        g_error = admin.lastError().text();
        return false;
    }
    return true;
}

void PostgresServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    run(QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("-s"),
         QStringLiteral("stop")});
}

QString PostgresServer::connectionString(const QString &database) const
{
    return QStringLiteral("postgresql://postgres@/%1?host=%2").arg(database, m_dir->path());
}

bool PostgresServer::createDatabase(const QString &database)
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(AdminConnection)));
    if (!query.exec(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = '%1'").arg(database)))
        return false;
    if (query.next())
        return true;
    query.finish();
    return query.exec(QStringLiteral("CREATE DATABASE %1").arg(database));
}

bool PostgresServer::resetDatabase(const QString &database)
{
    if (!createDatabase(database))
        return false;
    // Dropping a database waits for nobody but takes a checkpoint; emptying
    // its schema is quicker.
    const QString name = QStringLiteral("orvane-test-reset");
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(m_dir->path());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        QSqlQuery query(db);
        ok = db.open() && query.exec(QStringLiteral("DROP SCHEMA public CASCADE"))
            && query.exec(QStringLiteral("CREATE SCHEMA public"));
        if (!ok)
            g_error = query.lastError().text() + db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace TestSupport
