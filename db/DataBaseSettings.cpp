// Device assignment, options and thresholds.

#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/DoseUnits.h"
#include "db/Transaction.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {

namespace {

// Links a group threshold with a group in both directions.
void link(const SharedThreshold &threshold, const SharedGroup &group)
{
    if (!threshold->groups.contains(group))
        threshold->groups.append(group);
    if (!group->thresholds.contains(threshold))
        group->thresholds.append(threshold);
}

void unlinkAll(const SharedThreshold &threshold)
{
    for (const SharedGroup &group : qAsConst(threshold->groups))
        group->thresholds.removeAll(threshold);
    threshold->groups.clear();
}

} // namespace

bool DataBase::assignDevice(const SharedUser &user, DeviceType *type, int serial,
                            const QDateTime &when, const QString &comment)
{
    if (!user || !type || user->device)
        return false;
    const QDateTime assigned = when.isNull() ? QDateTime::currentDateTime() : when;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        if (!prepare(query,
                     QStringLiteral("UPDATE Users SET deviceId = %1, deviceSerial = %2, "
                                    "assignDate = ? WHERE id = %3")
                         .arg(type->id)
                         .arg(serial)
                         .arg(user->id)))
            return false;
        query.addBindValue(assigned.toString(Qt::ISODateWithMs));
        if (!exec(query))
            return false;
    }
    Event event;
    event.user = user;
    event.dateTime = assigned;
    event.deviceType = type;
    event.deviceSerial = serial;
    event.eventType = EventDeviceAssigned;
    event.comment = comment;
    QString details
        = tr("пользователь: %1; с %2")
              .arg(user->fullName(), assigned.toString(QStringLiteral("dd.MM.yyyy hh:mm")));
    if (!comment.isEmpty())
        details += tr("; комментарий: %1").arg(comment);
    if (!addEvent(event) || !syncDoseRecord()
        || !recordAudit(AuditOperation::DeviceAssigned, AuditDetails::device(type->name, serial),
                        details)
        || !transaction.commit())
        return false;

    SharedDevice device(new UserDevice);
    device->type = type;
    device->serial = serial;
    device->assignDate = assigned;
    user->device = device;
    emit userUpdated(user);
    emit historyAdded();
    return true;
}

bool DataBase::unassignDevice(const SharedUser &user)
{
    if (!user || !user->device)
        return false;
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        if (!prepare(query,
                     QStringLiteral("UPDATE Users SET deviceId = ?, deviceSerial = ?, "
                                    "assignDate = ? WHERE id = %1")
                         .arg(user->id)))
            return false;
        query.addBindValue(QVariant(QVariant::Int));
        query.addBindValue(QVariant(QVariant::Int));
        query.addBindValue(QVariant(QVariant::String));
        if (!exec(query))
            return false;
    }
    Event event;
    event.user = user;
    event.deviceType = user->device->type;
    event.deviceSerial = user->device->serial;
    event.eventType = EventDeviceReleased;
    const SharedDevice device = user->device;
    if (!addEvent(event) || !syncDoseRecord()
        || !recordAudit(
            AuditOperation::DeviceReleased,
            AuditDetails::device(device->type ? device->type->name : QString(), device->serial),
            tr("пользователь: %1").arg(user->fullName()))
        || !transaction.commit())
        return false;

    user->device.clear();
    emit userUpdated(user);
    emit historyAdded();
    return true;
}

bool DataBase::updateOptions(const Options &options)
{
    Transaction transaction(operationConnection());
    {
        QSqlQuery query(connection());
        if (!prepare(query,
                     QStringLiteral("UPDATE Options SET settings = ?, \"interval\" = ?, "
                                    "edColors = ?, medColors = ?")))
            return false;
        query.addBindValue(options.settings());
        query.addBindValue(options.interval);
        query.addBindValue(Options::encodeColors(options.edColors));
        query.addBindValue(Options::encodeColors(options.medColors));
        if (!exec(query))
            return false;
    }
    if (!recordAudit(AuditOperation::OptionsChanged, QString(), AuditDetails::options(options))
        || !transaction.commit())
        return false;

    const int oldUnits = m_options.units;
    m_options = options;
    // What was written holds bits 0-1 only.
    m_options.units = options.units & 3;
    m_options.edColors.resize(ChannelCount);
    m_options.medColors.resize(ChannelCount);
    DoseUnits::setCurrentCode(m_options.units);
    // Every record is brought up to date before the first signal goes out.
    const bool unitChanged = m_options.units != oldUnits;
    if (unitChanged) {
        for (const SharedThreshold &threshold : qAsConst(m_thresholds)) {
            threshold->value = DoseUnits::toDisplay(DoseUnits::toStored(threshold->value, oldUnits),
                                                    m_options.units);
        }
    }
    emit optionsChanged();
    if (unitChanged)
        emit thresholdsUpdated();
    return true;
}

bool DataBase::recordThresholdChange(int action, const ThresholdData &data,
                                     const SharedThreshold &threshold)
{
    switch (action) {
    case ThresholdChange::Delete:
        return recordAudit(AuditOperation::ThresholdsChanged, threshold->name, tr("удалён"));
    case ThresholdChange::Update:
        return recordAudit(AuditOperation::ThresholdsChanged, threshold->name,
                           tr("изменён: %1").arg(AuditDetails::threshold(data)));
    case ThresholdChange::Add:
        return recordAudit(AuditOperation::ThresholdsChanged, data.name,
                           tr("добавлен: %1").arg(AuditDetails::threshold(data)));
    default:
        return true;
    }
}

bool DataBase::saveThresholds(const QList<ThresholdChange> &changes)
{
    QList<int> actions;
    QList<ThresholdData> data;
    QList<SharedThreshold> thresholds;
    for (const ThresholdChange &change : changes) {
        actions << change.action;
        data << change.data;
        thresholds << change.threshold;
    }
    return saveThresholds(actions, data, thresholds);
}

bool DataBase::saveThresholds(const QList<int> &actions, const QList<ThresholdData> &data,
                              const QList<SharedThreshold> &thresholdsArg)
{
    // An own copy: the argument may be the threshold list itself.
    const QList<SharedThreshold> thresholds = thresholdsArg;
    const int count = actions.size();
    if (count == 0 || data.size() != count || thresholds.size() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        if (actions.at(i) != ThresholdChange::Add && !thresholds.at(i))
            return false;
    }

    QVector<int> newIds(count, 0);
    Transaction transaction(operationConnection());
    bool ok = true;
    for (int i = 0; ok && i < count; ++i) {
        const ThresholdData &d = data.at(i);
        const SharedThreshold &t = thresholds.at(i);
        QSqlQuery query(connection());
        switch (actions.at(i)) {
        case ThresholdChange::Delete:
            ok = exec(QStringLiteral("DELETE FROM Thresholds WHERE id = %1").arg(t->id));
            if (ok && !t->isUser)
                ok = exec(QStringLiteral("DELETE FROM GroupThresholds WHERE thresholdId = %1")
                              .arg(t->id));
            break;
        case ThresholdChange::Update:
            ok = prepare(query,
                         QStringLiteral("UPDATE Thresholds SET name = ?, channel = ?, "
                                        "period = ?, value = ? WHERE id = %1")
                             .arg(t->id));
            if (ok) {
                query.addBindValue(d.name);
                query.addBindValue(d.channel);
                query.addBindValue(d.period);
                query.addBindValue(toStoredDose(d.value));
                ok = exec(query);
            }
            if (ok && !t->isUser) {
                ok = exec(QStringLiteral("DELETE FROM GroupThresholds WHERE thresholdId = %1")
                              .arg(t->id));
                for (int g = 0; ok && g < d.groups.size(); ++g) {
                    ok = exec(QStringLiteral("INSERT INTO GroupThresholds (thresholdId, "
                                             "groupId) VALUES (%1, %2)")
                                  .arg(t->id)
                                  .arg(d.groups.at(g)->id));
                }
            }
            break;
        case ThresholdChange::Add:
            ok = prepare(query,
                         QStringLiteral("INSERT INTO Thresholds (name, channel, period, "
                                        "value, isUser) VALUES (?, ?, ?, ?, ?) RETURNING id"));
            if (ok) {
                query.addBindValue(d.name);
                query.addBindValue(d.channel);
                query.addBindValue(d.period);
                query.addBindValue(toStoredDose(d.value));
                query.addBindValue(int(d.isUser));
                ok = exec(query);
                newIds[i] = insertedId(query);
            }
            for (int g = 0; ok && !d.isUser && g < d.groups.size(); ++g) {
                ok = exec(QStringLiteral("INSERT INTO GroupThresholds (thresholdId, groupId) "
                                         "VALUES (%1, %2)")
                              .arg(newIds.at(i))
                              .arg(d.groups.at(g)->id));
            }
            break;
        default:
            break;
        }
        if (ok)
            ok = recordThresholdChange(actions.at(i), d, t);
    }
    if (!ok || !transaction.commit())
        return false;

    for (int i = 0; i < count; ++i) {
        const ThresholdData &d = data.at(i);
        const SharedThreshold &t = thresholds.at(i);
        switch (actions.at(i)) {
        case ThresholdChange::Delete:
            m_thresholds.removeAll(t);
            for (const SharedGroup &group : qAsConst(t->groups))
                group->thresholds.removeAll(t);
            break;
        case ThresholdChange::Update:
            t->name = d.name;
            t->channel = d.channel;
            t->value = d.value;
            t->period = d.period;
            if (!t->isUser) {
                unlinkAll(t);
                for (const SharedGroup &group : d.groups)
                    link(t, group);
            }
            break;
        case ThresholdChange::Add: {
            SharedThreshold threshold(new Threshold(newIds.at(i)));
            threshold->isUser = d.isUser;
            threshold->name = d.name;
            threshold->channel = d.channel;
            threshold->value = d.value;
            threshold->period = d.period;
            m_thresholds.append(threshold);
            if (!d.isUser) {
                for (const SharedGroup &group : d.groups)
                    link(threshold, group);
            }
            break;
        }
        default:
            break;
        }
    }
    emit thresholdsUpdated();
    return true;
}

} // namespace VDB
