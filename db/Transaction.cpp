#include "db/Transaction.h"

#include <QDebug>
#include <QSqlError>

namespace VDB {

Transaction::Transaction(QSqlDatabase db)
    : m_db(db)
    , m_began(db.transaction())
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
    if (m_db.commit())
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
