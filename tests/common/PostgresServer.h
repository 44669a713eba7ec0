#pragma once

#include <QScopedPointer>
#include <QString>

class QTemporaryDir;

namespace TestSupport {

// A private PostgreSQL cluster for the tests of one executable: made with
// initdb in a temporary folder at the first use, reachable only through a
// Unix socket in that folder, stopped and removed when the application ends.
// Under root (CI) the server runs as the "postgres" system user, since
// initdb refuses root.
//
// ORVANE_TEST_ENGINE=postgresql makes TestDatabase give every test a fresh
// database on this cluster instead of a fresh SQLite file.
class PostgresServer
{
public:
    // Whether the store's tests run against the server.
    static bool wanted();
    // The running cluster, started at the first call; null when it could not
    // be started (lastError() says why).
    static PostgresServer *shared();
    static QString lastError();

    ~PostgresServer();

    // "postgresql://postgres@/NAME?host=<socket folder>"
    QString connectionString(const QString &database) const;
    // Makes the database when missing and empties it: every table goes.
    bool resetDatabase(const QString &database);
    // Makes one more database (another office) when missing.
    bool createDatabase(const QString &database);

    // Stops the cluster at once, as a crash or a pulled cable would end
    // every connection, and starts it again with the same data.
    void stop();
    bool start();

private:
    PostgresServer();
    bool initialise();
    bool run(const QString &program, const QStringList &arguments);

    QScopedPointer<QTemporaryDir> m_dir;
    bool m_running = false;
};

} // namespace TestSupport
