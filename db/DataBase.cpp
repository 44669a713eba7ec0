#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/ConnectionString.h"
#include "db/SqlDialect.h"
#include "db/Transaction.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTextStream>
#include <QVariant>

namespace VDB {

namespace {

DataBase *g_instance = nullptr;
QString g_fileName;

const int SchemaVersion = 2;

// Indexes that the dose sums and the per-user event lists need on large
// tables. They are not part of the creation script; every open adds the ones
// that are missing, so files made without them speed up as well. The first
// also holds the value, so a dose sum reads the index alone.
const char *const ExtraIndexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_events_user_type_date ON Events (userId, eventType, dateTime, "
    "value)",
    "CREATE INDEX IF NOT EXISTS idx_events_user_date ON Events (userId, dateTime)",
    "CREATE INDEX IF NOT EXISTS idx_events_type_date ON Events (eventType, dateTime)",
};

// SQLite's "busy" and "locked": another connection holds the file. Such a
// file is not damaged and must never be mistaken for an unreadable one.
bool heldByAnother(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    return code == 5 || code == 6;
}

// Whether the file can be read at all. Loading the caches from one that
// cannot would wait out the busy time once per table for nothing.
bool readable(const QSqlDatabase &db)
{
    QSqlQuery probe(db);
    return probe.exec(SqlDialect::isServer(db)
                          ? QStringLiteral("SELECT 1")
                          : QStringLiteral("SELECT count(*) FROM sqlite_master"))
        && probe.next();
}

} // namespace

DataBase *DataBase::instance()
{
    if (!g_instance)
        g_instance = new DataBase(g_fileName.isEmpty() ? defaultFileName() : g_fileName);
    return g_instance;
}

void DataBase::setFileName(const QString &fileName)
{
    g_fileName = fileName;
}

QString DataBase::configuredFileName()
{
    return g_instance ? g_instance->m_fileName
                      : (g_fileName.isEmpty() ? defaultFileName() : g_fileName);
}

bool DataBase::isServerConfigured()
{
    return ConnectionString::isServer(configuredFileName());
}

void DataBase::destroyInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

QString DataBase::dataDirectory()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (path.isEmpty() || !QDir().mkpath(path))
        return QString();
    return QDir(path).absolutePath() + QLatin1Char('/');
}

QString DataBase::defaultFileName()
{
    return dataDirectory() + QStringLiteral("doserdr22.db");
}

DataBase::DataBase(const QString &fileName)
    : m_fileName(fileName)
    , m_server(ConnectionString::isServer(fileName))
{
    if (m_server) {
        const ConnectionString server = ConnectionString::parse(fileName);
        m_displayName = server.displayText();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
        if (!server.isValid()) {
            m_error = server.error();
            return;
        }
        server.apply(db);
        if (db.open() && readable(db)) {
            loadAll();
            listenForChanges();
            watchConnection();
            m_seenEventId = lastEventId();
        }
        return;
    }
    m_displayName = QDir::toNativeSeparators(fileName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(fileName);
    if (db.open() && readable(db))
        loadAll();
}

DataBase::~DataBase()
{
    clearCaches();
    {
        QSqlDatabase db = connection();
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

QSqlDatabase DataBase::connection() const
{
    return QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
}

QString DataBase::fileName() const
{
    return m_fileName;
}

QString DataBase::displayName() const
{
    return m_displayName;
}

bool DataBase::isOpen() const
{
    return connection().isOpen();
}

bool DataBase::isEmpty() const
{
    QStringList tables;
    QSqlError error;
    return SqlDialect::tables(connection(), &tables, &error) && tables.isEmpty();
}

QDate DataBase::today() const
{
    return m_today.isValid() ? m_today : QDate::currentDate();
}

void DataBase::setToday(const QDate &date)
{
    m_today = date;
}

QSqlQuery &DataBase::statement(const QString &sql) const
{
    QSharedPointer<QSqlQuery> &query = m_statements[sql];
    if (!query) {
        query.reset(new QSqlQuery(connection()));
        query->setForwardOnly(true);
        query->prepare(sql);
    }
    return *query;
}

bool DataBase::exec(QSqlQuery &query) const
{
    if (query.exec())
        return true;
    m_error = query.lastError().text();
    return false;
}

bool DataBase::exec(const QString &sql) const
{
    QSqlQuery query(connection());
    if (query.exec(sql))
        return true;
    m_error = query.lastError().text();
    return false;
}

bool DataBase::prepare(QSqlQuery &query, const QString &sql) const
{
    if (query.prepare(sql))
        return true;
    m_error = query.lastError().text();
    return false;
}

int DataBase::insertedId(QSqlQuery &query)
{
    const int id = query.next() ? query.value(0).toInt() : 0;
    query.finish();
    return id;
}

QString DataBase::errorText() const
{
    const QString connectionError = connection().lastError().text();
    return m_error.isEmpty() ? connectionError : m_error;
}

OperationResult DataBase::openOrCreate(bool recreate)
{
    return instance()->check(recreate);
}

OperationResult DataBase::check(bool recreate)
{
    m_error.clear();
    if (!isOpen())
        return {-1, tr("Ошибка открытия базы данных (%1)").arg(errorText())};

    // Listing the tables is the first read of the file; a file that is not a
    // database fails here and must not be mistaken for an empty one.
    QStringList tables;
    QSqlError listError;
    if (!SqlDialect::tables(connection(), &tables, &listError)) {
        // A file that another program holds is left to it even when the
        // operator agreed to re-create: removing it would only hide that
        // program's data from everyone, this one included. A server's
        // database is never removed.
        if (!recreate || m_server || heldByAnother(listError))
            return {-1, tr("Ошибка открытия базы данных (%1)").arg(listError.text())};
        // The operator agreed to destroy the unreadable file.
        QString reopenError;
        if (!reopenEmptyFile(&reopenError))
            return {-1, tr("Ошибка открытия базы данных (%1)").arg(reopenError)};
    }

    if (tables.isEmpty() || recreate)
        return create(tables);

    // The server folds plain names to lower case.
    if (!tables.contains(m_server ? QStringLiteral("service") : QStringLiteral("Service")))
        return {-1, tr("Структура базы данных неверна")};
    QSqlQuery version(connection());
    if (!version.exec(QStringLiteral("SELECT version FROM Service")) || !version.next())
        return {-1, tr("Структура базы данных неверна")};
    if (version.value(0).toInt() != SchemaVersion)
        return {-1, tr("Неподдерживаемая версия базы данных")};
    version.finish();

    // A read-only file stays usable without the extra indexes and tables.
    ensureIndexes();
    // The first read may have failed while another program held the file;
    // a usable database without its caches would refuse every login.
    if (!m_loaded)
        loadAll();
    ensureDoseRecord();
    ensureAudit();
    return {0};
}

bool DataBase::reopenEmptyFile(QString *error)
{
    clearCaches();
    QSqlDatabase db = connection();
    db.close();
    QFile file(m_fileName);
    if (file.exists() && !file.remove()) {
        *error = file.errorString();
        db.open();
        return false;
    }
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

OperationResult DataBase::create(const QStringList &tables)
{
    m_statements.clear(); // they would keep the dropped tables busy
    QFile file(SqlDialect::creationScript(connection()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {1, tr("Не удалось зачитать скрипт создания базы данных")};
    QTextStream in(&file);
    in.setCodec("UTF-8");
    in.setAutoDetectUnicode(true);
    const QString script = in.readAll();

    // Everything happens in one transaction: a failing statement leaves the
    // file exactly as it was instead of half-built.
    Transaction transaction(connection());
    for (const QString &table : tables) {
        // The audit trail outlives a re-creation: it says who did it.
        if (table.compare(QLatin1String(AuditTable), Qt::CaseInsensitive) == 0)
            continue;
        exec(QStringLiteral("DROP TABLE IF EXISTS \"%1\"%2")
                 .arg(QString(table).replace(QLatin1Char('"'), QLatin1String("\"\"")),
                      m_server ? QStringLiteral(" CASCADE") : QString()));
    }

    const QStringList statements = script.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : statements) {
        const QString statement = part.trimmed();
        if (statement.isEmpty())
            continue;
        QSqlQuery query(connection());
        if (!query.exec(statement)) {
            const QString error = query.lastError().text();
            qDebug() << "SQL error:" << error;
            qDebug().noquote() << "SQL query:" << statement;
            query.finish();
            transaction.rollback();
            return {3, error};
        }
    }
    ensureAudit();
    // Nobody has logged in yet at start-up: the system account says who.
    const QString account = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    const bool recorded = recordAudit(
        tables.isEmpty() ? AuditOperation::DatabaseCreated : AuditOperation::DatabaseRecreated,
        m_displayName,
        account.isEmpty() ? QString() : tr("учётная запись системы: %1").arg(account));
    const OperationResult created = finish(transaction, ensureIndexes() && recorded);
    if (created.code != 0)
        return created;
    loadAll();
    ensureDoseRecord();
    return {0};
}

bool DataBase::ensureIndexes()
{
    for (const char *sql : ExtraIndexes) {
        if (!exec(QString::fromLatin1(sql))) {
            qDebug() << "Index not created:" << m_error;
            return false;
        }
    }
    return true;
}

DeviceType *DataBase::deviceType(int id) const
{
    for (DeviceType *type : m_deviceTypes) {
        if (type->id == id)
            return type;
    }
    return nullptr;
}

SharedUser DataBase::user(int id) const
{
    for (const SharedUser &u : m_users) {
        if (u->id == id)
            return u;
    }
    return SharedUser();
}

SharedGroup DataBase::group(int id) const
{
    for (const SharedGroup &g : m_groups) {
        if (g->id == id)
            return g;
    }
    return SharedGroup();
}

SharedUser DataBase::userWithDevice(const DeviceType *type, int serial) const
{
    for (const SharedUser &u : m_users) {
        if (u->device && u->device->type == type && u->device->serial == serial)
            return u;
    }
    return SharedUser();
}

SharedUser DataBase::findUser(const QString &login, const QString &password) const
{
    if (login.isEmpty() || password.isEmpty())
        return SharedUser();
    for (const SharedUser &u : m_users) {
        if (u->login == login && u->password == password)
            return u;
    }
    return SharedUser();
}

bool DataBase::login(const QString &login, const QString &password)
{
    m_currentUser = findUser(login, password);
    // Every attempt is recorded; a failed one under the login typed, never
    // anything of the password.
    Transaction transaction(operationConnection());
    const bool recorded = m_currentUser
        ? recordAudit(AuditOperation::LoginSucceeded, AuditDetails::user(*m_currentUser))
        : recordAudit(AuditOperation::LoginFailed, QString(), tr("неверный логин или пароль"),
                      login.left(100));
    if (!recorded || !transaction.commit())
        qWarning() << "Login not recorded:" << errorText();
    return !m_currentUser.isNull();
}

bool DataBase::isMainAdministrator(const QString &login, const QString &password) const
{
    const SharedUser u = findUser(login, password);
    return u && u->role == User::Administrator;
}

} // namespace VDB
