#include "db/Transaction.h"

#include "db/SqlDialect.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace VDB {

namespace {

// The server accepts BEGIN inside an open transaction with only a warning,
// so whether one is open is asked first: a savepoint is refused outside one.
bool insideServerTransaction(QSqlDatabase &db)
{
    if (!SqlDialect::isServer(db))
        return false;
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SAVEPOINT orvane_probe")))
        return false;
    probe.exec(QStringLiteral("RELEASE SAVEPOINT orvane_probe"));
    return true;
}

bool g_quiet = false;

// Queued by the server and delivered to the listening workstations when,
// and only when, the transaction commits; a transaction that wrote nothing
// has no id and tells nobody.
bool announceChange(QSqlDatabase &db)
{
    if (g_quiet || !SqlDialect::isServer(db))
        return true;
    QSqlQuery notice(db);
    return notice.exec(QStringLiteral("SELECT pg_notify('%1', '') WHERE "
                                      "txid_current_if_assigned() IS NOT NULL")
                           .arg(QLatin1String(Transaction::ChangeChannel)));
}

} // namespace

void Transaction::setQuiet(bool quiet)
{
    g_quiet = quiet;
}

Transaction::Transaction(QSqlDatabase db)
    : m_db(db)
    , m_began(!insideServerTransaction(m_db) && m_db.transaction())
    , m_open(m_began)
{ }

Transaction::~Transaction()
{
    rollback();
}

bool Transaction::commit()
{
    if (!m_open)
        return true;
    m_open = false;
    if (announceChange(m_db) && m_db.commit())
        return true;
    m_error = m_db.lastError().text();
    qWarning() << "Commit failed:" << m_error;
    m_db.rollback();
    return false;
}

void Transaction::rollback()
{
    if (!m_open)
        return;
    m_open = false;
    m_db.rollback();
}

} // namespace VDB
