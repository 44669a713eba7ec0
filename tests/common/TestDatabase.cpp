#include "common/TestDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

namespace TestSupport {

TestDatabase::TestDatabase(Mode mode)
    : m_dir(new QTemporaryDir)
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(fileName());
    m_valid = m_dir->isValid();
    if (m_valid && mode == Create)
        m_valid = VDB::DataBase::openOrCreate(false).code == 0;
    if (m_valid)
        relaxDurability();
}

void TestDatabase::relaxDurability()
{
    // Tests do not need to survive a power cut; skipping the disk syncs keeps
    // hundreds of small transactions fast.
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

QString TestDatabase::fileName() const
{
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

} // namespace TestSupport
