// Adding, changing and deleting users.

#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/Transaction.h"

#include <QBuffer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {

namespace {

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QVariant::String) : QVariant(text);
}

QVariant photoValue(const QPixmap &photo)
{
    QByteArray bytes;
    if (!photo.isNull()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!photo.save(&buffer, "PNG"))
            bytes.clear();
    }
    return bytes.isEmpty() ? QVariant(QVariant::ByteArray) : QVariant(bytes);
}

// The access bits written for a user: the administrator bit is kept only for
// a user who already has it, the operator bit follows the role.
int accessValue(const User &data, bool isNew, bool wasAdministrator)
{
    int access = 0;
    if (!isNew && wasAdministrator)
        access |= User::AccessAdministrator;
    if (isNew ? data.role == User::Operator : data.role != User::PlainUser)
        access |= User::AccessOperator;
    if (data.canUseDevice)
        access |= User::AccessDeviceUse;
    return access;
}

} // namespace

OperationResult DataBase::validateUser(const User &data, const SharedUser &edited) const
{
    if (data.firstname.isEmpty() || data.surname.isEmpty())
        return {2, tr("Необходимо задать имя и фамилию")};
    if (data.role != User::PlainUser && (data.login.isEmpty() || data.password.isEmpty()))
        return {2, tr("Необходимо задать логин и пароль")};
    for (const SharedUser &u : m_users) {
        if (u == edited)
            continue;
        if (u->firstname == data.firstname && u->middlename == data.middlename
            && u->surname == data.surname && u->sex == data.sex && u->birthday == data.birthday)
            return {2, tr("Такой пользователь уже существует")};
        if (!data.login.isEmpty() && data.login == u->login)
            return {2, tr("Такой логин уже занят")};
    }
    return {0};
}

namespace {

// The columns of the Users table in the order both statements name them;
// the photo is left out of an update that keeps the stored one.
void bindUserColumns(QSqlQuery &query, const User &data, int access, bool withLogin, bool withPhoto)
{
    query.addBindValue(data.firstname);
    query.addBindValue(textOrNull(data.middlename));
    query.addBindValue(data.surname);
    query.addBindValue(textOrNull(data.department));
    query.addBindValue(data.birthday.toString(Qt::ISODate));
    query.addBindValue(data.sex);
    if (withPhoto)
        query.addBindValue(photoValue(data.photo));
    query.addBindValue(access);
    query.addBindValue(withLogin ? QVariant(data.login) : QVariant(QVariant::String));
    query.addBindValue(withLogin ? QVariant(data.password) : QVariant(QVariant::String));
    query.addBindValue(textOrNull(data.usageReason));
    query.addBindValue(textOrNull(data.comment));
}

// What an update writes, as the edit's record will hold it.
User written(const User &data, int access, bool withLogin)
{
    User result = data;
    result.role = User::roleFromAccess(access);
    if (!withLogin) {
        result.login.clear();
        result.password.clear();
    }
    return result;
}

} // namespace

OperationResult DataBase::finish(Transaction &transaction, bool ok)
{
    if (!ok) {
        const QString error = errorText();
        transaction.rollback();
        return {3, connectionLost() ? lostConnectionMessage(error) : error};
    }
    if (!transaction.commit()) {
        const QString error = transaction.errorText();
        return {3, connectionLost() ? lostConnectionMessage(error) : error};
    }
    return {0};
}

bool DataBase::insertMemberships(int userId, const QList<SharedGroup> &groups)
{
    for (const SharedGroup &group : groups) {
        if (!exec(QStringLiteral("INSERT INTO Users2Groups (userId, groupId) VALUES (%1, %2)")
                      .arg(userId)
                      .arg(group->id)))
            return false;
    }
    return true;
}

OperationResult DataBase::addUser(const User &data)
{
    const OperationResult valid = validateUser(data);
    if (valid.code != 0)
        return valid;

    m_error.clear();
    const int access = accessValue(data, true, false);
    const bool withLogin = data.role == User::Operator;
    int newId = 0;
    bool ok;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        ok = prepare(query,
                     QStringLiteral("INSERT INTO Users (firstname, middlename, surname, "
                                    "department, birthday, sex, photo, access, login, "
                                    "password, usageReason, comment)VALUES (?, ?, ?, ?, "
                                    "?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
        if (ok) {
            bindUserColumns(query, data, access, withLogin, true);
            ok = exec(query);
            newId = insertedId(query);
        }
    }
    ok = ok && insertMemberships(newId, data.groups)
        && recordAudit(AuditOperation::UserAdded, AuditDetails::user(data),
                       AuditDetails::newUser(data));
    const OperationResult stored = finish(transaction, ok);
    if (stored.code != 0)
        return stored;

    // The record mirrors what was written.
    SharedUser user(new User(newId, User::roleFromAccess(access), data.sex, data.birthday));
    user->firstname = data.firstname;
    user->middlename = data.middlename;
    user->surname = data.surname;
    user->department = data.department;
    user->comment = data.comment;
    if (withLogin) {
        user->login = data.login;
        user->password = data.password;
    }
    user->photo = data.photo;
    user->canUseDevice = data.canUseDevice;
    user->usageReason = data.usageReason;
    setUserGroups(user, data.groups);
    m_users.append(user);
    emit userAdded(user);
    return {0};
}

OperationResult DataBase::updateUser(const SharedUser &user, const User &data)
{
    if (!user)
        return {2, QString()};
    const OperationResult valid = validateUser(data, user);
    if (valid.code != 0)
        return valid;

    m_error.clear();
    const int access = accessValue(data, false, user->role == User::Administrator);
    const bool withLogin = data.role != User::PlainUser;
    const bool withPhoto = !data.photo.isNull();
    bool ok;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        const QString sql = withPhoto
            ? QStringLiteral("UPDATE Users SET firstname = ?, middlename = ?, surname = ?, "
                             "department = ?, birthday = ?, sex = ?, photo = ?, access = ?, "
                             "login = ?, password = ?, usageReason = ?, comment = ? WHERE id = %1")
            : QStringLiteral("UPDATE Users SET firstname = ?, middlename = ?, surname = ?, "
                             "department = ?,birthday = ?, sex = ?, access = ?, login = ?, "
                             "password = ?, usageReason = ?, comment = ? WHERE id = %1");
        ok = prepare(query, sql.arg(user->id));
        if (ok) {
            bindUserColumns(query, data, access, withLogin, withPhoto);
            ok = exec(query);
        }
    }
    ok = ok && exec(QStringLiteral("DELETE FROM Users2Groups WHERE userId = %1").arg(user->id))
        && insertMemberships(user->id, data.groups)
        && recordAudit(AuditOperation::UserChanged, AuditDetails::user(*user),
                       AuditDetails::userChanges(*user, written(data, access, withLogin)));
    const OperationResult stored = finish(transaction, ok);
    if (stored.code != 0)
        return stored;

    user->firstname = data.firstname;
    user->middlename = data.middlename;
    user->surname = data.surname;
    user->department = data.department;
    user->comment = data.comment;
    user->sex = data.sex;
    user->role = User::roleFromAccess(access);
    user->login = withLogin ? data.login : QString();
    user->password = withLogin ? data.password : QString();
    if (withPhoto)
        user->photo = data.photo;
    user->birthday = data.birthday;
    user->canUseDevice = data.canUseDevice;
    user->usageReason = data.usageReason;
    setUserGroups(user, data.groups);
    emit userUpdated(user);
    return {0};
}

OperationResult DataBase::deleteUser(const SharedUser &userArg)
{
    // An own reference: the argument may point into the user list.
    const SharedUser user = userArg;
    if (!user)
        return {2, QString()};
    {
        QSqlQuery query(connection());
        if (!query.exec(QStringLiteral("SELECT userId FROM Events WHERE userId = %1 LIMIT 1")
                            .arg(user->id)))
            return {3, query.lastError().text()};
        if (query.next()) {
            return {2,
                    tr("Невозможно удалить пользователя %1 %2 %3. Пользователь имеет историю.")
                        .arg(user->surname, user->firstname, user->middlename)};
        }
    }

    m_error.clear();
    Transaction transaction(operationConnection());
    const bool ok = exec(QStringLiteral("DELETE FROM Users WHERE id = %1").arg(user->id))
        && exec(QStringLiteral("DELETE FROM Users2Groups WHERE userId = %1").arg(user->id))
        && recordAudit(AuditOperation::UserDeleted, AuditDetails::user(*user));
    const OperationResult stored = finish(transaction, ok);
    if (stored.code != 0)
        return stored;

    if (m_users.removeOne(user)) {
        setUserGroups(user, QList<SharedGroup>());
        emit userDeleted(user);
    }
    return {0};
}

void DataBase::setUserGroups(const SharedUser &userArg, const QList<SharedGroup> &groupsArg)
{
    const SharedUser user = userArg;
    const QList<SharedGroup> groups = groupsArg;
    for (const SharedGroup &group : qAsConst(user->groups))
        group->users.removeAll(user);
    for (const SharedGroup &group : groups) {
        if (!group->users.contains(user))
            group->users.append(user);
    }
    user->groups = groups;
}

} // namespace VDB
