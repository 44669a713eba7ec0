#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

namespace VDB {

// Where a workstation keeps its data: an SQLite file path, or a PostgreSQL
// server as "postgresql://USER@HOST:PORT/DB". The password and TLS settings
// come the usual libpq ways (~/.pgpass, PGPASSWORD, PGSSLMODE); libpq options
// may follow as a query ("?sslmode=require", "?host=/run/postgresql" for a
// Unix socket folder). A password in the text is accepted for this run but
// never shown, logged or stored.
class ConnectionString
{
public:
    // Whether the text names a server rather than a file.
    static bool isServer(const QString &text);
    // Parses a server's text; isValid() false with error() on a fault.
    static ConnectionString parse(const QString &text);

    // Why `text` cannot be kept in a workstation's settings file, which
    // anyone who reads the home folder may read: a faulty server text or a
    // password in it. Empty for a file path or a fit server text.
    static QString settingProblem(const QString &text);

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    bool hasPassword() const { return !m_password.isEmpty(); }
    // The text without the password, for the status line and messages.
    QString displayText() const;
    // Sets up a QPSQL connection to the server.
    void apply(QSqlDatabase &db) const;

private:
    QString m_user;
    QString m_password;
    QString m_host;
    int m_port = -1;
    QString m_database;
    QStringList m_options; // "key=value"
    QString m_error;
};

} // namespace VDB
