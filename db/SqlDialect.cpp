#include "db/SqlDialect.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {
namespace SqlDialect {

bool isServer(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

QString definition(const QSqlDatabase &db, const char *sql)
{
    QString text = QString::fromLatin1(sql);
    if (isServer(db))
        text.replace(QLatin1String(" TEXT"), QLatin1String(" TEXT COLLATE \"C\""));
    return text;
}

bool tables(const QSqlDatabase &db, QStringList *names, QSqlError *error)
{
    const bool server = isServer(db);
    QSqlQuery list(db);
    const bool ok = list.exec(server ? QStringLiteral("SELECT table_name FROM "
                                                      "information_schema.tables WHERE "
                                                      "table_schema = current_schema() AND "
                                                      "table_type = 'BASE TABLE'")
                                     : QStringLiteral("SELECT name FROM sqlite_master WHERE "
                                                      "type = 'table'"));
    if (!ok) {
        *error = list.lastError();
        return false;
    }
    while (list.next()) {
        const QString name = list.value(0).toString();
        if (!name.startsWith(QLatin1String("sqlite_")))
            *names << name;
    }
    return true;
}

QString creationScript(const QSqlDatabase &db)
{
    return isServer(db) ? QStringLiteral(":/text/resources/data/create_db_server.sql")
                        : QStringLiteral(":/text/resources/data/create_db.sql");
}

} // namespace SqlDialect
} // namespace VDB
