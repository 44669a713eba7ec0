// Adding, changing and deleting groups; device use of a group.

#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/Transaction.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {

bool DataBase::addGroup(const QString &name, const QString &description, int access)
{
    Transaction transaction(operationConnection());
    int newId = 0;
    {
        QSqlQuery query(connection());
        if (!prepare(query,
                     QStringLiteral("INSERT INTO Groups (name, description, access) VALUES (?, ?, "
                                    "?) RETURNING id")))
            return false;
        query.addBindValue(name);
        query.addBindValue(description);
        query.addBindValue(access);
        if (!exec(query))
            return false;
        newId = insertedId(query);
    }
    if (!recordAudit(AuditOperation::GroupAdded, name, AuditDetails::groupRights(access))
        || !transaction.commit())
        return false;

    SharedGroup group(new Group(newId));
    group->name = name;
    group->description = description;
    group->access = access;
    m_groups.append(group);
    emit groupAdded(group);
    return true;
}

bool DataBase::updateGroup(const SharedGroup &group, const QString &name,
                           const QString &description, int access)
{
    if (!group)
        return false;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        if (!prepare(query,
                     QStringLiteral("UPDATE Groups SET name = ?, description = ?, "
                                    "access = ? WHERE id = ?")))
            return false;
        query.addBindValue(name);
        query.addBindValue(description);
        query.addBindValue(access);
        query.addBindValue(group->id);
        if (!exec(query))
            return false;
    }
    if (!recordAudit(AuditOperation::GroupChanged, group->name,
                     AuditDetails::groupChanges(*group, name, description, access))
        || !transaction.commit())
        return false;

    group->name = name;
    group->description = description;
    group->access = access;
    emit groupUpdated(group);
    return true;
}

bool DataBase::deleteGroup(const SharedGroup &groupArg, const SharedGroup &targetArg)
{
    // Own references: the arguments may point into the lists changed below.
    const SharedGroup group = groupArg, target = targetArg;
    if (!group || target == group)
        return false;
    // Members whose only group this is move to the target; without a target
    // they would be left in no group at all, so the deletion is refused.
    QList<SharedUser> movers;
    for (const SharedUser &user : qAsConst(group->users)) {
        if (user->groups.size() == 1 && user->groups.first() == group)
            movers.append(user);
    }
    if (!movers.isEmpty() && !target)
        return false;

    Transaction transaction(operationConnection());
    bool ok = exec(QStringLiteral("DELETE FROM Groups WHERE id = %1").arg(group->id))
        && exec(QStringLiteral("DELETE FROM Users2Groups WHERE groupId = %1").arg(group->id));
    for (int i = 0; ok && i < movers.size(); ++i) {
        ok = exec(QStringLiteral("INSERT INTO Users2Groups (userId, groupId) VALUES (%1, %2)")
                      .arg(movers.at(i)->id)
                      .arg(target->id));
    }
    if (ok)
        ok = exec(QStringLiteral("DELETE FROM GroupThresholds WHERE groupId = %1").arg(group->id));
    ok = ok
        && recordAudit(AuditOperation::GroupDeleted, group->name,
                       movers.isEmpty() ? QString()
                                        : tr("перенесено в группу «%1» пользователей: %2")
                                              .arg(target->name)
                                              .arg(movers.size()));
    if (!ok || !transaction.commit())
        return false;

    if (!m_groups.removeOne(group))
        return true;
    const QList<SharedUser> members = group->users;
    group->users.clear();
    for (const SharedUser &user : members) {
        user->groups.removeAll(group);
        if (user->groups.isEmpty() && target) {
            user->groups.append(target);
            if (!target->users.contains(user))
                target->users.append(user);
        }
    }
    for (const SharedThreshold &threshold : qAsConst(group->thresholds))
        threshold->groups.removeAll(group);
    group->thresholds.clear();
    emit groupDeleted(group);
    return true;
}

bool DataBase::setDeviceUsage(const SharedGroup &group, bool allowed, const QString &reason)
{
    if (!group)
        return false;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        const QString sql = allowed
            ? QStringLiteral("UPDATE Users SET access = access | %1 WHERE id = :id").arg(1)
            : QStringLiteral("UPDATE Users SET access = access & %1, usageReason = "
                             ":reason WHERE id = :id")
                  .arg(-2);
        if (!prepare(query, sql))
            return false;
        for (const SharedUser &user : qAsConst(group->users)) {
            query.bindValue(QStringLiteral(":id"), user->id);
            if (!allowed) {
                query.bindValue(QStringLiteral(":reason"),
                                reason.isEmpty() ? QVariant(QVariant::String) : QVariant(reason));
            }
            if (!exec(query))
                return false;
        }
    }
    const QString usage = allowed ? tr("работа с приборами разрешена")
                                  : tr("работа с приборами запрещена: %1").arg(reason);
    if (!recordAudit(AuditOperation::DeviceUsageChanged, group->name,
                     tr("%1; пользователей: %2").arg(usage).arg(group->users.size()))
        || !transaction.commit())
        return false;

    const QList<SharedUser> users = group->users;
    for (const SharedUser &user : users) {
        user->canUseDevice = allowed;
        if (!allowed)
            user->usageReason = reason;
    }
    for (const SharedUser &user : users)
        emit userUpdated(user);
    return true;
}

} // namespace VDB
