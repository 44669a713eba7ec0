#include "common/TestDatabase.h"

#include "common/PostgresServer.h"
#include "db/SqlDialect.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

namespace TestSupport {

TestDatabase::TestDatabase(Mode mode)
    : m_dir(new QTemporaryDir)
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(fileName());
    m_valid = m_dir->isValid();
    if (m_valid && PostgresServer::wanted()) {
        PostgresServer *server = PostgresServer::shared();
        m_valid = server && server->resetDatabase(QStringLiteral("orvane_test"));
        if (!m_valid)
            qWarning("No PostgreSQL server for the test: %s",
                     qPrintable(PostgresServer::lastError()));
    }
    if (m_valid && mode == Create)
        m_valid = VDB::DataBase::openOrCreate(false).code == 0;
    if (m_valid)
        relaxDurability();
}

void TestDatabase::relaxDurability()
{
    // Tests do not need to survive a power cut; skipping the disk syncs keeps
    // hundreds of small transactions fast. The test server never syncs.
    if (!PostgresServer::wanted())
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
}

TestDatabase::~TestDatabase()
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(QString());
}

bool TestDatabase::isValid() const
{
    return m_valid;
}

bool TestDatabase::onServer()
{
    return PostgresServer::wanted();
}

QString TestDatabase::fileName() const
{
    if (PostgresServer::wanted() && PostgresServer::shared())
        return PostgresServer::shared()->connectionString(QStringLiteral("orvane_test"));
    return m_dir->filePath(QStringLiteral("doserdr22.db"));
}

QString TestDatabase::folder() const
{
    return m_dir->path();
}

void TestDatabase::reopen()
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::instance();
    relaxDurability();
}

SharedUser TestDatabase::addUser(const QString &surname, const QString &firstname,
                                 const QList<SharedGroup> &groups, int role, const QString &login)
{
    User data(0, role, User::Male);
    data.surname = surname;
    data.firstname = firstname;
    data.birthday = QDate(1980, 1, 1);
    data.groups = groups;
    if (role != User::PlainUser) {
        data.login = login.isEmpty() ? surname : login;
        data.password = QStringLiteral("secret");
    }
    if (db()->addUser(data).code != 0)
        return SharedUser();
    return db()->users().last();
}

bool TestDatabase::insertEvents(const SharedUser &user,
                                const QList<QPair<QDateTime, double>> &events, int eventType)
{
    QSqlDatabase connection = QSqlDatabase::database();
    const bool began = connection.transaction();
    QSqlQuery query(connection);
    query.prepare(QStringLiteral(
        "INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, eventType, value, channel) "
        "VALUES (?, ?, 1, 8009, ?, ?, 2)"));
    for (const auto &event : events) {
        query.addBindValue(event.first.toString(Qt::ISODateWithMs));
        query.addBindValue(user->id);
        query.addBindValue(eventType);
        query.addBindValue(event.second);
        if (!query.exec()) {
            query.finish();
            if (began)
                connection.rollback();
            return false;
        }
    }
    query.finish();
    return !began || connection.commit();
}

VDB::Event TestDatabase::reading(const SharedUser &user, const QDateTime &when, double value,
                                 int serial, double rate)
{
    VDB::Event e;
    e.user = user;
    e.dateTime = when;
    e.deviceType = VDB::DataBase::instance()->deviceTypes().value(0);
    e.deviceSerial = serial;
    e.eventType = VDB::EventMeasurement;
    e.value = value;
    e.medValue = rate;
    e.channel = VDB::Gamma;
    return e;
}

bool TestDatabase::exec(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database());
    return query.exec(sql);
}

QVariant TestDatabase::scalar(const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database());
    if (!query.exec(sql) || !query.next())
        return QVariant();
    return query.value(0);
}

bool TestDatabase::refuse(const QString &name, const QString &action, const QString &table,
                          const QString &message, const QString &condition)
{
    if (!onServer()) {
        return exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 %4 BEGIN SELECT "
                                   "RAISE(ABORT, '%5'); END")
                        .arg(name, action, table,
                             condition.isEmpty() ? QString() : QStringLiteral("WHEN ") + condition,
                             message));
    }
    return exec(QStringLiteral("CREATE OR REPLACE FUNCTION %1_refuse() RETURNS trigger LANGUAGE "
                               "plpgsql AS $$ BEGIN RAISE EXCEPTION '%2'; END $$")
                    .arg(name, message))
        && exec(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW %4 EXECUTE "
                               "FUNCTION %1_refuse()")
                    .arg(name, action, table,
                         condition.isEmpty() ? QString()
                                             : QStringLiteral("WHEN (%1)").arg(condition)));
}

bool TestDatabase::dropRefusal(const QString &name, const QString &table)
{
    return exec(onServer() ? QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(name, table)
                           : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
}

bool TestDatabase::setReadOnly(bool readOnly)
{
    const QString on = readOnly ? QStringLiteral("ON") : QStringLiteral("OFF");
    return exec(onServer() ? QStringLiteral("SET default_transaction_read_only = ") + on
                           : QStringLiteral("PRAGMA query_only = ") + on);
}

QString TestDatabase::readOnlyError()
{
    return onServer() ? QStringLiteral("read-only transaction") : QStringLiteral("readonly");
}

QString TestDatabase::insertionOrder()
{
    return onServer() ? QStringLiteral("ctid") : QStringLiteral("rowid");
}

bool TestDatabase::resetIds(const QString &table)
{
    return exec(onServer()
                    ? QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), 1, false)")
                          .arg(table.toLower())
                    : QStringLiteral("DELETE FROM sqlite_sequence WHERE name = '%1'").arg(table));
}

QSqlDatabase TestDatabase::openSecondConnection(const QString &name)
{
    const QSqlDatabase store = QSqlDatabase::database();
    QSqlDatabase other = QSqlDatabase::cloneDatabase(store, name);
    other.open();
    return other;
}

QString databaseSnapshot()
{
    QStringList out;
    QStringList names;
    QSqlError error;
    VDB::SqlDialect::tables(QSqlDatabase::database(), &names, &error);
    names.sort(Qt::CaseInsensitive);
    for (const QString &name : qAsConst(names)) {
        QSqlQuery query(QSqlDatabase::database());
        query.exec(QStringLiteral("SELECT * FROM \"%1\"").arg(name));
        QStringList rows;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i) {
                const QVariant value = query.value(i);
                // Bytes in hexadecimal, so that bytes stored as text show.
                fields << (query.isNull(i) ? QStringLiteral("NULL")
                               : value.type() == QVariant::ByteArray
                               ? QString::fromLatin1(value.toByteArray().toHex())
                               : value.toString());
            }
            rows << name.toLower() + QStringLiteral(": ") + fields.join(QLatin1Char('|'));
        }
        // Rows in a stable order on both engines.
        rows.sort();
        out << rows;
    }
    return out.join(QLatin1Char('\n'));
}

static QString groupNames(const QList<SharedGroup> &groups)
{
    QStringList out;
    for (const SharedGroup &g : groups)
        out << g->name;
    return out.join(QLatin1Char(','));
}

QString cacheSnapshot()
{
    const VDB::DataBase *db = VDB::DataBase::instance();
    QStringList out;
    for (const SharedUser &u : db->users()) {
        out << QStringLiteral("user %1 %2 %3 %4 role%5 sex%6 %7 %8 dev%9 [%10] %11 %12 %13")
                    .arg(u->id)
                    .arg(u->fullName(), u->department, u->login)
                    .arg(u->role)
                    .arg(u->sex)
                    .arg(u->birthday.toString(Qt::ISODate), u->password)
                    .arg(u->canUseDevice)
                    .arg(groupNames(u->groups), u->usageReason, u->comment,
                         u->device ? QString::number(u->device->serial) : QStringLiteral("-"))
                + (u->photo.isNull() ? QString() : QStringLiteral(" photo"));
    }
    for (const SharedGroup &g : db->groups()) {
        QStringList users;
        for (const SharedUser &u : g->users)
            users << QString::number(u->id);
        QStringList thresholds;
        for (const SharedThreshold &t : g->thresholds)
            thresholds << t->name;
        out << QStringLiteral("group %1 %2 %3 %4 users[%5] thresholds[%6]")
                   .arg(g->id)
                   .arg(g->name, g->description)
                   .arg(g->access)
                   .arg(users.join(QLatin1Char(',')), thresholds.join(QLatin1Char(',')));
    }
    for (const SharedThreshold &t : db->thresholds()) {
        out << QStringLiteral("threshold %1 %2 %3 ch%4 %5 %6d [%7]")
                   .arg(t->id)
                   .arg(t->name)
                   .arg(t->isUser)
                   .arg(t->channel)
                   .arg(t->value)
                   .arg(t->period)
                   .arg(groupNames(t->groups));
    }
    const Options &o = db->options();
    out << QStringLiteral("options %1 %2").arg(o.settings()).arg(o.interval);
    for (const QColor &c : o.edColors + o.medColors)
        out << c.name(QColor::HexArgb) + (c.isValid() ? QString() : QStringLiteral("!"));
    if (db->currentUser())
        out << QStringLiteral("current %1").arg(db->currentUser()->id);
    return out.join(QLatin1Char('\n'));
}

StoreSignalSpy::StoreSignalSpy()
    : m_order(std::make_shared<QStringList>())
{
    VDB::DataBase *db = VDB::DataBase::instance();
    auto add = [&](auto signal, const char *name) {
        m_spies.push_back(std::make_unique<QSignalSpy>(db, signal));
        std::shared_ptr<QStringList> order = m_order;
        const QString text = QString::fromLatin1(name);
        QObject::connect(db, signal, &m_context, [order, text]() { order->append(text); });
    };
    add(&VDB::DataBase::userAdded, "userAdded");
    add(&VDB::DataBase::userUpdated, "userUpdated");
    add(&VDB::DataBase::userDeleted, "userDeleted");
    add(&VDB::DataBase::groupAdded, "groupAdded");
    add(&VDB::DataBase::groupUpdated, "groupUpdated");
    add(&VDB::DataBase::groupDeleted, "groupDeleted");
    add(&VDB::DataBase::optionsChanged, "optionsChanged");
    add(&VDB::DataBase::thresholdsUpdated, "thresholdsUpdated");
    add(&VDB::DataBase::historyAdded, "historyAdded");
    add(&VDB::DataBase::doseRecordChanged, "doseRecordChanged");
}

int StoreSignalSpy::total() const
{
    int n = 0;
    for (const auto &spy : m_spies)
        n += spy->count();
    return n;
}

} // namespace TestSupport
