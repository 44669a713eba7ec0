// Loading of the in-memory caches.

#include "db/DataBase.h"

#include "db/DoseUnits.h"

#include <QGuiApplication>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace VDB {

namespace {

// Column access by name; a column that the file lacks reads as NULL.
class Row
{
public:
    explicit Row(const QSqlQuery &query)
        : m_query(query)
        , m_record(query.record())
    { }
    int column(const char *name) const { return m_record.indexOf(QLatin1String(name)); }
    QVariant value(int column) const { return column < 0 ? QVariant() : m_query.value(column); }
    bool isNull(int column) const { return column < 0 || m_query.isNull(column); }

private:
    const QSqlQuery &m_query;
    QSqlRecord m_record;
};

} // namespace

void DataBase::clearCaches()
{
    // Records link each other through shared pointers both ways; break the
    // links so that records nobody else holds are freed.
    for (const SharedUser &user : qAsConst(m_users))
        user->groups.clear();
    for (const SharedGroup &group : qAsConst(m_groups)) {
        group->users.clear();
        group->thresholds.clear();
    }
    for (const SharedThreshold &threshold : qAsConst(m_thresholds))
        threshold->groups.clear();
    m_statements.clear();
    m_users.clear();
    m_groups.clear();
    m_thresholds.clear();
    qDeleteAll(m_deviceTypes);
    m_deviceTypes.clear();
    m_currentUser.clear();
}

void DataBase::loadAll()
{
    clearCaches();
    loadOptions();
    loadDeviceTypes();
    loadUsers();
    loadGroups();
    loadThresholds();
    loadDoseSettings();
    m_loaded = true;
}

void DataBase::loadOptions()
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (query.exec(
            QStringLiteral("SELECT settings, \"interval\", edColors, medColors FROM Options"))
        && query.next()) {
        m_options.setSettings(query.value(0).toInt());
        m_options.interval = query.value(1).toInt();
        Options::decodeColors(query.value(2).toByteArray(), m_options.edColors);
        Options::decodeColors(query.value(3).toByteArray(), m_options.medColors);
    }
    DoseUnits::setCurrentCode(m_options.units);
}

void DataBase::loadDeviceTypes()
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM DeviceType ORDER BY id")))
        return;
    const Row row(query);
    const int id = row.column("id"), name = row.column("name"), connector = row.column("connector");
    while (query.next()) {
        auto *type = new DeviceType;
        type->id = row.value(id).toInt();
        type->name = row.value(name).toString();
        type->connector = row.value(connector).toString();
        m_deviceTypes.append(type);
    }
}

void DataBase::loadUsers()
{
    QHash<int, DeviceType *> types;
    for (DeviceType *type : qAsConst(m_deviceTypes))
        types.insert(type->id, type);

    QSqlQuery query(connection());
    query.setForwardOnly(true);
    // In id order on both engines: the server hands rows out in the order it
    // keeps them, which an update changes.
    if (!query.exec(QStringLiteral("SELECT * FROM Users ORDER BY id")))
        return;
    const bool decodePhotos = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    const Row row(query);
    const int id = row.column("id"), firstname = row.column("firstname"),
              middlename = row.column("middlename"), surname = row.column("surname"),
              department = row.column("department"), birthday = row.column("birthday"),
              sex = row.column("sex"), photo = row.column("photo"), access = row.column("access"),
              login = row.column("login"), password = row.column("password"),
              usageReason = row.column("usageReason"), comment = row.column("comment"),
              deviceId = row.column("deviceId"), deviceSerial = row.column("deviceSerial"),
              assignDate = row.column("assignDate");
    while (query.next()) {
        const int bits = row.value(access).toInt();
        SharedUser user(new User(row.value(id).toInt(), User::roleFromAccess(bits),
                                 row.value(sex).toInt(),
                                 QDate::fromString(row.value(birthday).toString(), Qt::ISODate)));
        user->canUseDevice = bits & User::AccessDeviceUse;
        user->firstname = row.value(firstname).toString();
        user->surname = row.value(surname).toString();
        if (!row.isNull(middlename))
            user->middlename = row.value(middlename).toString();
        if (!row.isNull(department))
            user->department = row.value(department).toString();
        if (!row.isNull(login))
            user->login = row.value(login).toString();
        if (!row.isNull(password))
            user->password = row.value(password).toString();
        if (!row.isNull(usageReason))
            user->usageReason = row.value(usageReason).toString();
        if (!row.isNull(comment))
            user->comment = row.value(comment).toString();
        // A pixmap needs a GUI application: the console maintenance run,
        // which re-creates the file anyway, leaves the photos undecoded.
        if (decodePhotos && !row.isNull(photo))
            user->photo.loadFromData(row.value(photo).toByteArray());
        if (!row.isNull(deviceId) && !row.isNull(deviceSerial)) {
            if (DeviceType *type = types.value(row.value(deviceId).toInt())) {
                SharedDevice device(new UserDevice);
                device->type = type;
                device->serial = row.value(deviceSerial).toInt();
                device->assignDate
                    = QDateTime::fromString(row.value(assignDate).toString(), Qt::ISODateWithMs);
                user->device = device;
            }
        }
        m_users.append(user);
    }
}

void DataBase::loadGroups()
{
    QHash<int, SharedGroup> groups;
    {
        QSqlQuery query(connection());
        query.setForwardOnly(true);
        if (query.exec(QStringLiteral("SELECT * FROM Groups ORDER BY id"))) {
            const Row row(query);
            const int id = row.column("id"), name = row.column("name"),
                      description = row.column("description"), access = row.column("access");
            while (query.next()) {
                SharedGroup group(new Group(row.value(id).toInt()));
                group->name = row.value(name).toString();
                group->description = row.value(description).toString();
                group->access = row.value(access).toInt();
                m_groups.append(group);
                groups.insert(group->id, group);
            }
        }
    }

    QHash<int, SharedUser> users;
    for (const SharedUser &user : qAsConst(m_users))
        users.insert(user->id, user);

    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM Users2Groups")))
        return;
    const Row row(query);
    const int userId = row.column("userId"), groupId = row.column("groupId");
    QSet<QPair<int, int>> linked;
    while (query.next()) {
        const int u = row.value(userId).toInt(), g = row.value(groupId).toInt();
        const SharedUser user = users.value(u);
        const SharedGroup group = groups.value(g);
        if (!user || !group || linked.contains(qMakePair(u, g)))
            continue;
        linked.insert(qMakePair(u, g));
        user->groups.append(group);
        group->users.append(user);
    }
}

void DataBase::loadThresholds()
{
    QHash<int, SharedThreshold> groupThresholds;
    {
        QSqlQuery query(connection());
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM Thresholds ORDER BY id")))
            return;
        const Row row(query);
        const int id = row.column("id"), name = row.column("name"), isUser = row.column("isUser"),
                  channel = row.column("channel"), period = row.column("period"),
                  value = row.column("value");
        while (query.next()) {
            SharedThreshold threshold(new Threshold(row.value(id).toInt()));
            threshold->name = row.value(name).toString();
            threshold->isUser = row.value(isUser).toInt() != 0;
            threshold->channel = row.value(channel).toInt();
            threshold->period = static_cast<quint16>(row.value(period).toUInt());
            threshold->value = toDisplayDose(row.value(value).toDouble());
            m_thresholds.append(threshold);
            if (!threshold->isUser)
                groupThresholds.insert(threshold->id, threshold);
        }
    }
    if (groupThresholds.isEmpty())
        return;

    QHash<int, SharedGroup> groups;
    for (const SharedGroup &group : qAsConst(m_groups))
        groups.insert(group->id, group);

    // One pass over the link table instead of a query per threshold.
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT thresholdId, groupId FROM GroupThresholds")))
        return;
    while (query.next()) {
        const SharedThreshold threshold = groupThresholds.value(query.value(0).toInt());
        const SharedGroup group = groups.value(query.value(1).toInt());
        if (!threshold || !group || threshold->groups.contains(group))
            continue;
        threshold->groups.append(group);
        group->thresholds.append(threshold);
    }
}

} // namespace VDB
