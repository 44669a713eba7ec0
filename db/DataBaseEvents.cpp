// Events and dose sums.

#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/DoseUnits.h"
#include "db/EventWearers.h"
#include "db/Transaction.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace VDB {

namespace {

QString dateText(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

QVariant dateTimeValue(const QDateTime &dateTime)
{
    return dateTime.toString(Qt::ISODateWithMs);
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QVariant::String) : QVariant(text);
}

// The dosimeter a batch came from, as the audit trail names it.
QString batchDevice(const QList<VDB::Event> &events)
{
    const Event &first = events.first();
    return AuditDetails::device(first.deviceType ? first.deviceType->name : QString(),
                                first.deviceSerial);
}

// Groups are summed in slices so that a very large group stays below the
// engine's limit of bound parameters.
const int MaxUsersPerStatement = 10000;

} // namespace

bool DataBase::addEvents(const QList<VDB::Event> &events, EventBatchReport *report)
{
    EventBatchReport counts;
    if (report)
        *report = counts;
    if (events.isEmpty())
        return true;
    Transaction transaction(operationConnection());
    if (!lockEventWrites())
        return false;
    QSqlQuery query(connection());
    bool ok = prepare(query,
                      QStringLiteral("INSERT INTO Events (dateTime, userId, deviceId, "
                                     "deviceSerial, eventType, value, medValue, channel, "
                                     "eventNumber, edThreshold, medThreshold, batteryLow, "
                                     "detectorFault, hvFault, comment) VALUES (:dateTime, "
                                     ":userId, :deviceId, :deviceSerial, :eventType, :value, "
                                     ":medValue, :channel, :eventNumber, :edThreshold, "
                                     ":medThreshold, :batteryLow, :detectorFault, :hvFault, "
                                     ":comment) ON CONFLICT DO NOTHING"));
    // A record outside the assignment is stored for someone else, or for
    // nobody, whom the unique index cannot tell apart (its NULLs all
    // differ): it is looked for under any user before it is stored.
    QSqlQuery stored(connection());
    ok = ok
        && prepare(stored,
                   QStringLiteral("SELECT 1 FROM Events WHERE deviceId = ? AND deviceSerial = ? "
                                  "AND eventType = ? AND dateTime = ?"));
    EventWearers wearers(connection());
    for (int i = 0; ok && i < events.size(); ++i) {
        const Event &e = events.at(i);
        const QVariant dateTime = dateTimeValue(e.dateTime);
        const QVariant deviceId
            = e.deviceType ? QVariant(e.deviceType->id) : QVariant(QVariant::Int);
        int storedFor = e.user ? e.user->id : 0;
        if (wearers.isOutsideAssignment(e)) {
            storedFor = wearers.wearerAt(e, dateTime.toString());
            if (storedFor != e.user->id)
                ++counts.outsideAssignment;
            stored.bindValue(0, deviceId);
            stored.bindValue(1, e.deviceSerial);
            stored.bindValue(2, e.eventType);
            stored.bindValue(3, dateTime);
            ok = exec(stored);
            const bool found = ok && stored.next();
            stored.finish();
            if (found) {
                ++counts.alreadyStored;
                continue;
            }
        }
        query.bindValue(0, dateTime);
        query.bindValue(1, storedFor > 0 ? QVariant(storedFor) : QVariant(QVariant::Int));
        query.bindValue(2, deviceId);
        query.bindValue(3, e.deviceSerial);
        query.bindValue(4, e.eventType);
        query.bindValue(5, e.value);
        query.bindValue(6, e.medValue);
        query.bindValue(7, e.channel);
        query.bindValue(8, e.eventNumber);
        query.bindValue(9, int(e.edThreshold));
        query.bindValue(10, int(e.medThreshold));
        query.bindValue(11, int(e.batteryLow));
        query.bindValue(12, int(e.detectorFault));
        query.bindValue(13, int(e.hvFault));
        query.bindValue(14, textOrNull(e.comment));
        ok = ok && exec(query);
        if (ok && query.numRowsAffected() > 0)
            ++counts.inserted;
        else if (ok)
            ++counts.alreadyStored;
    }
    ok = ok && wearers.ok();
    query.finish();
    stored.finish();
    const SharedUser wearer = events.first().user;
    const QString details
        = tr("пользователь: %1; получено записей: %2; записано новых: %3; уже были в базе: %4; "
             "вне назначения: %5")
              .arg(wearer ? wearer->fullName() : tr("нет"))
              .arg(events.size())
              .arg(counts.inserted)
              .arg(counts.alreadyStored)
              .arg(counts.outsideAssignment);
    if (!ok || !syncDoseRecord()
        || !recordAudit(AuditOperation::HistoryImported, batchDevice(events), details)
        || !transaction.commit())
        return false;
    if (report)
        *report = counts;
    emit historyAdded();
    return true;
}

bool DataBase::addEvent(const VDB::Event &event)
{
    const int type = event.eventType;
    if (type != EventDeviceAssigned && type != EventDeviceReleased && type != EventMeasurement
        && type != EventDose)
        return false;
    const bool assignment = type == EventDeviceAssigned || type == EventDeviceReleased;
    QSqlQuery query(connection());
    if (!prepare(query,
                 QStringLiteral("INSERT INTO Events (dateTime, userId, deviceId, "
                                "deviceSerial, eventType, value, channel, comment) VALUES "
                                "(?, ?, ?, ?, ?, ?, ?, ?)")))
        return false;
    const QDateTime when = event.dateTime.isNull() ? QDateTime::currentDateTime() : event.dateTime;
    query.addBindValue(dateTimeValue(when));
    query.addBindValue(event.user ? QVariant(event.user->id) : QVariant(QVariant::Int));
    query.addBindValue(event.deviceType ? QVariant(event.deviceType->id) : QVariant(QVariant::Int));
    query.addBindValue(event.deviceSerial);
    query.addBindValue(type);
    query.addBindValue(assignment ? QVariant(QVariant::Double) : QVariant(event.value));
    query.addBindValue(assignment ? QVariant(QVariant::Int) : QVariant(event.channel));
    query.addBindValue(textOrNull(event.comment));
    return exec(query);
}

void DataBase::userEvents(QList<VDB::Event> &list, const QDate &from, const QDate &to,
                          const SharedUser &user) const
{
    if (!user)
        return;
    // Kept prepared: every user page asks, and a server prepares at a cost
    // of round trips.
    QSqlQuery &query
        = statement(QStringLiteral("SELECT * FROM Events WHERE userId = ? AND "
                                   "(dateTime >= ? AND dateTime < ?)ORDER BY id DESC"));
    query.addBindValue(user->id);
    query.addBindValue(dateText(from));
    query.addBindValue(dateText(to.addDays(1)));
    if (!query.exec()) {
        query.finish();
        return;
    }
    const QSqlRecord record = query.record();
    const int dateTime = record.indexOf(QStringLiteral("dateTime")),
              deviceId = record.indexOf(QStringLiteral("deviceId")),
              deviceSerial = record.indexOf(QStringLiteral("deviceSerial")),
              eventType = record.indexOf(QStringLiteral("eventType")),
              value = record.indexOf(QStringLiteral("value")),
              medValue = record.indexOf(QStringLiteral("medValue")),
              eventNumber = record.indexOf(QStringLiteral("eventNumber")),
              edThreshold = record.indexOf(QStringLiteral("edThreshold")),
              medThreshold = record.indexOf(QStringLiteral("medThreshold")),
              batteryLow = record.indexOf(QStringLiteral("batteryLow")),
              detectorFault = record.indexOf(QStringLiteral("detectorFault")),
              hvFault = record.indexOf(QStringLiteral("hvFault")),
              channel = record.indexOf(QStringLiteral("channel")),
              comment = record.indexOf(QStringLiteral("comment"));
    auto present = [&query](int column) {
        return column >= 0 && !query.isNull(column);
    };
    auto flag = [&](int column) {
        return present(column) && query.value(column).toInt() != 0;
    };
    while (query.next()) {
        Event e;
        e.user = user;
        e.dateTime = QDateTime::fromString(query.value(dateTime).toString(), Qt::ISODateWithMs);
        e.deviceType = deviceType(query.value(deviceId).toInt());
        e.deviceSerial = query.value(deviceSerial).toInt();
        e.eventType = query.value(eventType).toInt();
        e.value = present(value) ? toDisplayDose(query.value(value).toDouble()) : 0;
        if (present(medValue))
            e.medValue = query.value(medValue).toDouble();
        if (present(eventNumber))
            e.eventNumber = query.value(eventNumber).toInt();
        e.edThreshold = flag(edThreshold);
        e.medThreshold = flag(medThreshold);
        e.batteryLow = flag(batteryLow);
        e.detectorFault = flag(detectorFault);
        e.hvFault = flag(hvFault);
        if (present(channel))
            e.channel = query.value(channel).toInt();
        if (present(comment))
            e.comment = query.value(comment).toString();
        list.append(e);
    }
    // A kept statement left open would hold the file's read lock.
    query.finish();
}

void DataBase::deviceAssignmentEvents(QList<VDB::Event> &list, const QDate &from, const QDate &to,
                                      const DeviceType *type) const
{
    QString sql = QStringLiteral("SELECT dateTime, userId, deviceId, deviceSerial, eventType, "
                                 "comment FROM Events WHERE (eventType = ? OR eventType = ?) "
                                 "AND (dateTime >= ? AND dateTime < ?)");
    if (type)
        sql += QStringLiteral(" AND deviceId = ?");
    sql += QStringLiteral(" ORDER BY id DESC");
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    query.prepare(sql);
    query.addBindValue(int(EventDeviceAssigned));
    query.addBindValue(int(EventDeviceReleased));
    query.addBindValue(dateText(from));
    query.addBindValue(dateText(to.addDays(1)));
    if (type)
        query.addBindValue(type->id);
    if (!query.exec())
        return;
    while (query.next()) {
        Event e;
        e.dateTime = QDateTime::fromString(query.value(0).toString(), Qt::ISODateWithMs);
        if (!query.isNull(1))
            e.user = user(query.value(1).toInt());
        e.deviceType = type ? const_cast<DeviceType *>(type) : deviceType(query.value(2).toInt());
        e.deviceSerial = query.value(3).toInt();
        e.eventType = query.value(4).toInt();
        if (!query.isNull(5))
            e.comment = query.value(5).toString();
        list.append(e);
    }
}

QPair<QDate, QDate> DataBase::doseWindow(quint16 period) const
{
    const QDate tomorrow = today().addDays(1);
    return qMakePair(tomorrow.addDays(-(qint64(period) + 1)), tomorrow);
}

double DataBase::doseSum(QSqlQuery &query) const
{
    if (!query.exec() || !query.next())
        return 0;
    return query.value(0).toDouble();
}

double DataBase::userDose(quint16 period, const SharedUser &user) const
{
    const auto window = doseWindow(period);
    const QString start = dateText(window.first);
    const QString end = dateText(window.second);
    if (user && countsReadings()) {
        // Both parts in one statement: the threshold scan asks thousands of
        // times.
        QSqlQuery &both = statement(QStringLiteral(
            "SELECT (SELECT SUM(value) FROM Events WHERE userId = ? AND dateTime >= ? AND "
            "dateTime < ? AND eventType = ?), (SELECT SUM(dose) FROM DoseDays WHERE userId = ? "
            "AND day >= ? AND day < ?)"));
        for (const QVariant &value :
             {QVariant(user->id), QVariant(start), QVariant(end), QVariant(int(EventDose)),
              QVariant(user->id), QVariant(start), QVariant(end)})
            both.addBindValue(value);
        double sum = 0;
        if (both.exec() && both.next())
            sum = both.value(0).toDouble() + both.value(1).toDouble();
        both.finish();
        return toDisplayDose(sum);
    }
    QSqlQuery all(connection());
    QSqlQuery &query = user ? statement(QStringLiteral(
                           "SELECT SUM(value) FROM Events WHERE userId = ? AND dateTime >= ? "
                           "AND dateTime < ? AND eventType = ?"))
                            : all;
    if (user) {
        query.addBindValue(user->id);
    } else {
        query.prepare(QStringLiteral("SELECT SUM(value) FROM Events WHERE dateTime >= ? AND "
                                     "dateTime < ? AND eventType = ?"));
    }
    query.addBindValue(start);
    query.addBindValue(end);
    query.addBindValue(int(EventDose));
    const double records = doseSum(query);
    query.finish();
    if (!countsReadings())
        return toDisplayDose(records);
    return toDisplayDose(records + readingDoseSum(window.first, window.second, QList<int>()));
}

QHash<int, double> DataBase::userDoses(quint16 period) const
{
    const auto window = doseWindow(period);
    const QString start = dateText(window.first);
    const QString end = dateText(window.second);
    const bool readings = countsReadings();
    const QString records = QStringLiteral(
        "SUM(value) FROM Events WHERE dateTime >= ? AND dateTime < ? AND eventType = ?");
    const QString days = QStringLiteral("SUM(dose) FROM DoseDays WHERE day >= ? AND day < ?");
    // Records and readings summed apart, in userDose()'s order.
    QHash<int, QPair<double, double>> sums;
    const auto read = [&sums](QSqlQuery &query, const QVariantList &values, bool second) {
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return false;
        while (query.next()) {
            if (query.isNull(1))
                continue;
            QPair<double, double> &sum = sums[query.value(0).toInt()];
            (second ? sum.second : sum.first) = query.value(1).toDouble();
        }
        return true;
    };
    const QVariantList recordValues = {start, end, int(EventDose)};
    const QVariantList dayValues = {start, end};
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (m_server) {
        // The server runs a plan per user slowly: one grouped pass instead.
        const QString select = QStringLiteral("SELECT userId, ");
        const QString grouped = QStringLiteral(" AND userId IS NOT NULL GROUP BY userId");
        query.prepare(select + records + grouped);
        if (!read(query, recordValues, false))
            return {};
        if (readings) {
            query.prepare(select + days + grouped);
            if (!read(query, dayValues, true))
                return {};
        }
    } else {
        // A grouped pass would sort every row of the window; the file seeks
        // each user's rows through the user's index, as userDose() does.
        const auto perUser = [](const QString &sum) {
            return QStringLiteral("(SELECT ") + sum + QStringLiteral(" AND userId = u.id)");
        };
        QString sql = QStringLiteral("SELECT id, ") + perUser(records);
        if (readings)
            sql += QStringLiteral(", ") + perUser(days);
        query.prepare(sql + QStringLiteral(" FROM Users u"));
        QVariantList values = recordValues;
        if (readings)
            values += dayValues;
        for (const QVariant &value : qAsConst(values))
            query.addBindValue(value);
        if (!query.exec())
            return {};
        while (query.next()) {
            if (!query.isNull(1) || (readings && !query.isNull(2)))
                sums.insert(query.value(0).toInt(),
                            qMakePair(query.value(1).toDouble(),
                                      readings ? query.value(2).toDouble() : 0.0));
        }
    }
    QHash<int, double> doses;
    doses.reserve(sums.size());
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        doses.insert(it.key(), toDisplayDose(it.value().first + it.value().second));
    return doses;
}

double DataBase::groupDose(quint16 period, const SharedGroup &group) const
{
    if (!group || group->users.isEmpty())
        return 0;
    const auto window = doseWindow(period);
    const QList<SharedUser> &users = group->users;
    double sum = 0;
    for (int first = 0; first < users.size(); first += MaxUsersPerStatement) {
        const int count = qMin(MaxUsersPerStatement, users.size() - first);
        QString sql = QStringLiteral("SELECT SUM(value) FROM Events WHERE dateTime >= ? AND "
                                     "dateTime < ? AND eventType = ? AND (userId = ?");
        sql.reserve(sql.size() + count * 15);
        for (int i = 1; i < count; ++i)
            sql += QStringLiteral(" OR userId = ?");
        sql += QLatin1Char(')');
        QSqlQuery query(connection());
        query.prepare(sql);
        query.addBindValue(dateText(window.first));
        query.addBindValue(dateText(window.second));
        query.addBindValue(int(EventDose));
        for (int i = first; i < first + count; ++i)
            query.addBindValue(users.at(i)->id);
        sum += doseSum(query);
    }
    if (!countsReadings())
        return toDisplayDose(sum);
    QList<int> ids;
    ids.reserve(users.size());
    for (const SharedUser &user : users)
        ids.append(user->id);
    return toDisplayDose(sum + readingDoseSum(window.first, window.second, ids));
}

} // namespace VDB
