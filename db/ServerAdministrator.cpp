#include "db/ServerAdministrator.h"

#include "db/ConnectionString.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {

QString ServerAdministrator::check(const QString &connectionText, const QString &login,
                                   const QString &password)
{
    const ConnectionString server = ConnectionString::parse(connectionText);
    if (!server.isValid())
        return server.error();
    const QString name = QStringLiteral("orvane_server_administrator");
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        server.apply(db);
        db.setUserName(login);
        db.setPassword(password);
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            QSqlQuery query(db);
            const bool owns
                = query.exec(QStringLiteral("SELECT pg_has_role(current_user, datdba, 'MEMBER') "
                                            "FROM pg_database WHERE datname = current_database()"))
                && query.next() && query.value(0).toBool();
            if (!owns)
                problem = tr("Учётная запись %1 не является владельцем базы данных на сервере")
                              .arg(login);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

} // namespace VDB
