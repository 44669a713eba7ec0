#pragma once

#include <QCoreApplication>
#include <QString>

namespace VDB {

// Who may re-create the office's database on a server: an account of the
// server that owns that database (or a superuser). The database itself may
// hold nothing usable, so its own administrators cannot be asked.
class ServerAdministrator
{
    Q_DECLARE_TR_FUNCTIONS(ServerAdministrator)

public:
    // Connects to the server of `connectionText` as `login` with `password`
    // and asks whether that account owns the database. Empty when it does;
    // otherwise why not (the server's reason or a refusal).
    static QString check(const QString &connectionText, const QString &login,
                         const QString &password);
};

} // namespace VDB
