// The audit trail: who changed what, from which workstation, and when.
// Entries are written inside the transaction of the change they record and
// are never changed or deleted by the program.

#include "db/DataBase.h"

#include "db/AuditOperation.h"
#include "db/SqlDialect.h"
#include "db/Transaction.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

namespace VDB {

namespace {

// Date-times as the other tables keep them: ISO text that sorts by time.
QString timeText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

// The WHERE clause of a filter with its values in binding order.
QString whereClause(const AuditFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (filter.from.isValid()) {
        terms << QStringLiteral("dateTime >= ?");
        *values << filter.from.toString(Qt::ISODate);
    }
    if (filter.to.isValid()) {
        terms << QStringLiteral("dateTime < ?");
        *values << filter.to.addDays(1).toString(Qt::ISODate);
    }
    if (!filter.login.isEmpty()) {
        terms << QStringLiteral("login = ?");
        *values << filter.login;
    }
    if (!filter.operation.isEmpty()) {
        terms << QStringLiteral("operation = ?");
        *values << filter.operation;
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

} // namespace

const char DataBase::AuditTable[] = "AuditLog";

void DataBase::ensureAudit()
{
    // The server numbers rows with a sequence, SQLite with the row id; the
    // rest of the definition is the same on both.
    const QByteArray table = QByteArray("CREATE TABLE IF NOT EXISTS AuditLog (id ")
        + (m_server ? "SERIAL PRIMARY KEY" : "INTEGER PRIMARY KEY AUTOINCREMENT")
        + ", dateTime TEXT NOT NULL, login TEXT, workstation TEXT, operation TEXT NOT NULL, "
          "object TEXT, details TEXT)";
    m_auditTried = true;
    m_auditReady = exec(SqlDialect::definition(connection(), table.constData()))
        && exec(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS idx_auditlog_datetime ON AuditLog (dateTime)"));
    if (!m_auditReady)
        qDebug() << "Audit trail not available:" << m_error;
}

QString DataBase::workstation() const
{
    return m_workstation.isEmpty() ? QSysInfo::machineHostName() : m_workstation;
}

void DataBase::setWorkstation(const QString &name)
{
    m_workstation = name;
}

QString DataBase::operatorLogin() const
{
    return m_currentUser ? m_currentUser->login : QString();
}

bool DataBase::recordAudit(const char *operation, const QString &object, const QString &details,
                           const QString &login)
{
    // A store opened without the start-up check (tests, tools) gains the
    // table here. A file that cannot gain it (read-only) takes no changes
    // either; there is nothing to record.
    if (!m_auditReady && !m_auditTried)
        ensureAudit();
    if (!m_auditReady)
        return true;
    QSqlQuery query(connection());
    if (!prepare(query,
                 QStringLiteral("INSERT INTO AuditLog (dateTime, login, workstation, operation, "
                                "object, details) VALUES (?, ?, ?, ?, ?, ?)")))
        return false;
    query.addBindValue(timeText(QDateTime::currentDateTime()));
    query.addBindValue(login.isNull() ? operatorLogin() : login);
    query.addBindValue(workstation());
    query.addBindValue(QString::fromLatin1(operation));
    query.addBindValue(object);
    query.addBindValue(details);
    return exec(query);
}

bool DataBase::recordOperation(const char *operation, const QString &object, const QString &details)
{
    m_error.clear();
    Transaction transaction(operationConnection());
    return recordAudit(operation, object, details) && transaction.commit();
}

QList<AuditEntry> DataBase::auditEntries(const AuditFilter &filter, int limit, int offset) const
{
    QList<AuditEntry> entries;
    QVariantList values;
    QString sql = QStringLiteral("SELECT id, dateTime, login, workstation, operation, object, "
                                 "details FROM AuditLog")
        + whereClause(filter, &values) + QStringLiteral(" ORDER BY dateTime DESC, id DESC");
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1 OFFSET %2").arg(limit).arg(qMax(0, offset));
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!prepare(query, sql))
        return entries;
    for (const QVariant &value : qAsConst(values))
        query.addBindValue(value);
    if (!exec(query))
        return entries;
    while (query.next()) {
        AuditEntry entry;
        entry.id = query.value(0).toLongLong();
        entry.dateTime = QDateTime::fromString(query.value(1).toString(), Qt::ISODateWithMs);
        entry.login = query.value(2).toString();
        entry.workstation = query.value(3).toString();
        entry.operation = query.value(4).toString();
        entry.object = query.value(5).toString();
        entry.details = query.value(6).toString();
        entries << entry;
    }
    return entries;
}

int DataBase::auditCount(const AuditFilter &filter) const
{
    QVariantList values;
    QSqlQuery query(connection());
    if (!prepare(query,
                 QStringLiteral("SELECT count(*) FROM AuditLog") + whereClause(filter, &values)))
        return 0;
    for (const QVariant &value : qAsConst(values))
        query.addBindValue(value);
    return exec(query) && query.next() ? query.value(0).toInt() : 0;
}

QStringList DataBase::auditLogins() const
{
    QStringList logins;
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("SELECT DISTINCT login FROM AuditLog WHERE login IS NOT "
                                   "NULL AND login <> '' ORDER BY login")))
        return logins;
    while (query.next())
        logins << query.value(0).toString();
    return logins;
}

} // namespace VDB
