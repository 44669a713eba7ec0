// A server connection that goes away while the program runs: found at the
// next operation, reopened with the same settings when the server is back.

#include "db/DataBase.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

namespace VDB {

namespace {

// How often the server connection is checked, and a lost server tried again,
// while nobody asks for it. libpq's connect timeout bounds each try.
const int ReconnectInterval = 3000;

// The server's "current transaction is aborted": the connection is fine, an
// outer transaction has failed.
const char AbortedTransaction[] = "25P02";

} // namespace

bool DataBase::connectionAlive() const
{
    QSqlDatabase db = connection();
    if (!db.isOpen())
        return false;
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT 1")))
        return true;
    return probe.lastError().nativeErrorCode() == QLatin1String(AbortedTransaction);
}

bool DataBase::connectionLost()
{
    if (!m_server)
        return false;
    if (!m_connectionLost && !connectionAlive()) {
        m_connectionLost = true;
        qWarning() << "Database server connection lost";
    }
    return m_connectionLost;
}

void DataBase::watchConnection()
{
    // An idle workstation would otherwise learn of a server restart only at
    // its next operation, and show nothing that others commit until then.
    m_connectionTimer = new QTimer(this);
    m_connectionTimer->setInterval(ReconnectInterval);
    connect(m_connectionTimer, &QTimer::timeout, this, [this] {
        if (connectionLost())
            reconnect();
    });
    m_connectionTimer->start();
}

QSqlDatabase DataBase::operationConnection()
{
    if (connectionLost())
        reconnect();
    return connection();
}

bool DataBase::reconnect()
{
    if (!m_connectionLost)
        return true;
    // Prepared on the old session, which the server has forgotten.
    m_statements.clear();
    QSqlDatabase db = connection();
    db.close();
    // The same connection keeps its settings; a failed open leaves the
    // server's reason in lastError() for the operation's message.
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    m_connectionLost = false;
    qInfo().noquote() << "Database server connection restored:" << m_displayName;
    listenForChanges();
    // What others committed meanwhile, and a commit of ours whose answer was
    // lost with the connection, reach the caches once the caller's operation
    // is over.
    if (!m_remoteChangePending) {
        m_remoteChangePending = true;
        QTimer::singleShot(0, this, &DataBase::takeInRemoteChanges);
    }
    return true;
}

QString DataBase::lostConnectionMessage(const QString &reason) const
{
    return tr("Нет связи с сервером базы данных (%1). Изменение не сохранено; программа "
              "подключится снова, когда сервер станет доступен, и действие можно будет "
              "повторить.")
        .arg(reason.simplified());
}

} // namespace VDB
