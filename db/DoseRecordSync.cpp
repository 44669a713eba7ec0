#include "db/DoseRecordSync.h"

#include "db/DoseCounter.h"
#include "db/Event.h"
#include "db/SqlDialect.h"
#include "db/WearerTimeline.h"

#include <QDebug>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>

namespace {

// Raised whenever the rule changes what the tables hold: the next start then
// computes them anew.
const int RuleVersion = 2;

const char *const CreateStatements[] = {
    "CREATE TABLE IF NOT EXISTS DoseDays (userId INTEGER NOT NULL, day TEXT NOT NULL, "
    "deviceId INTEGER NOT NULL, deviceSerial INTEGER NOT NULL, dose DOUBLE PRECISION NOT NULL, "
    "maxRate DOUBLE PRECISION, PRIMARY KEY (userId, day, deviceId, deviceSerial))",
    "CREATE INDEX IF NOT EXISTS idx_dosedays_user_day ON DoseDays (userId, day, dose, maxRate)",
    "CREATE INDEX IF NOT EXISTS idx_dosedays_day ON DoseDays (day, userId, dose)",
    "CREATE INDEX IF NOT EXISTS idx_dosedays_device ON DoseDays (deviceId, deviceSerial)",
    "CREATE TABLE IF NOT EXISTS DoseMonths (userId INTEGER NOT NULL, month TEXT NOT NULL, "
    "deviceId INTEGER NOT NULL, deviceSerial INTEGER NOT NULL, dose DOUBLE PRECISION NOT NULL, "
    "PRIMARY KEY (userId, month, deviceId, deviceSerial))",
    "CREATE INDEX IF NOT EXISTS idx_dosemonths_user_month ON DoseMonths (userId, month, dose)",
    "CREATE INDEX IF NOT EXISTS idx_dosemonths_month ON DoseMonths (month, userId, dose)",
    "CREATE INDEX IF NOT EXISTS idx_dosemonths_device ON DoseMonths (deviceId, deviceSerial)",
    "CREATE TABLE IF NOT EXISTS DoseDevices (deviceId INTEGER NOT NULL, deviceSerial INTEGER NOT "
    "NULL, lastDateTime TEXT NOT NULL, lastId INTEGER NOT NULL, started INTEGER NOT NULL, "
    "highest DOUBLE PRECISION NOT NULL, PRIMARY KEY (deviceId, deviceSerial))",
    "CREATE TABLE IF NOT EXISTS DoseRecordState (name TEXT NOT NULL PRIMARY KEY, value TEXT)",
    // A dosimeter's readings in time order, and its assignment events.
    "CREATE INDEX IF NOT EXISTS idx_events_device_type_date ON Events (deviceId, deviceSerial, "
    "eventType, dateTime)",
};

const char ReadingColumns[] = "SELECT id, dateTime, userId, value, medValue FROM Events ";

} // namespace

struct DoseRecordSync::Checkpoint
{
    QString lastDateTime;
    qint64 lastId = 0;
    bool started = false;
    double highest = 0;
};

// One dosimeter's readings being taken in: its wearers, its counter, and what
// they add per user and day.
class DoseRecordSync::DeviceRun
{
public:
    struct DayTotal
    {
        double dose = 0;
        double maxRate = -1; // none
    };

    explicit DeviceRun(const DeviceKey &device)
        : key(device)
    { }

    void add(qint64 id, const QString &dateTime, int storedFor, double value, double rate)
    {
        lastId = id;
        lastDateTime = dateTime;
        const DoseCounter::Step step = counter.add(value);
        if (step.kind == DoseCounter::Kind::Skipped)
            return;
        const int wearer = timeline.isEmpty() ? storedFor : timeline.wearerAt(dateTime);
        if (wearer <= 0)
            return;
        DayTotal &total = days[qMakePair(wearer, dateTime.left(10))];
        total.dose += step.increment;
        if (std::isfinite(rate) && rate >= 0 && rate > total.maxRate)
            total.maxRate = rate;
    }

    DeviceKey key;
    WearerTimeline timeline;
    DoseCounter counter;
    QMap<QPair<int, QString>, DayTotal> days;
    QString lastDateTime;
    qint64 lastId = 0;
};

DoseRecordSync::DoseRecordSync(QSqlDatabase db)
    : m_db(db)
{ }

DoseRecordSync::~DoseRecordSync() = default;

bool DoseRecordSync::exec(QSqlQuery &query)
{
    if (query.exec())
        return true;
    m_error = query.lastError().text();
    return false;
}

bool DoseRecordSync::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    m_error = query.lastError().text();
    return false;
}

bool DoseRecordSync::createTables()
{
    for (const char *sql : CreateStatements) {
        if (!exec(VDB::SqlDialect::definition(m_db, sql)))
            return false;
    }
    return true;
}

struct DoseRecordSync::Progress
{
    qint64 last = -1; // the last event id taken in
    qint64 max = 0; // the highest event id stored
    bool startOver = true; // what the tables hold cannot be continued
};

bool DoseRecordSync::compare(Progress *progress)
{
    int rule = 0;
    QString taken;
    {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT name, value FROM DoseRecordState"))) {
            m_error = query.lastError().text();
            return false;
        }
        while (query.next()) {
            const QString name = query.value(0).toString();
            if (name == QLatin1String("lastEventId"))
                progress->last = query.value(1).toLongLong();
            else if (name == QLatin1String("lastEvent"))
                taken = query.value(1).toString();
            else if (name == QLatin1String("rule"))
                rule = query.value(1).toInt();
        }
    }
    QString now;
    if (!maxEventId(&progress->max) || !eventFingerprint(progress->last, &now))
        return false;
    // Events made anew by another program reuse the ids from 1: the event
    // last taken in is then another one, or gone.
    progress->startOver = rule != RuleVersion || progress->last < 0
        || progress->max < progress->last || now != taken;
    return true;
}

bool DoseRecordSync::eventFingerprint(qint64 id, QString *text)
{
    text->clear();
    if (id <= 0)
        return true;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT dateTime, eventType, deviceId, deviceSerial, value, userId "
                       "FROM Events WHERE id = ?"));
    query.addBindValue(id);
    if (!exec(query))
        return false;
    if (query.next()) {
        QStringList fields;
        for (int i = 0; i < 6; ++i)
            fields << query.value(i).toString();
        *text = fields.join(QLatin1Char('|'));
    }
    return true;
}

bool DoseRecordSync::writeState(qint64 lastEventId)
{
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("INSERT INTO DoseRecordState (name, value) VALUES (?, ?) ON "
                                      "CONFLICT (name) DO UPDATE SET value = excluded.value"))) {
        m_error = query.lastError().text();
        return false;
    }
    QString lastEvent;
    if (!eventFingerprint(lastEventId, &lastEvent))
        return false;
    const QPair<QString, QString> values[] = {
        {QStringLiteral("lastEventId"), QString::number(lastEventId)},
        {QStringLiteral("lastEvent"), lastEvent},
        {QStringLiteral("rule"), QString::number(RuleVersion)},
    };
    for (const auto &value : values) {
        query.bindValue(0, value.first);
        query.bindValue(1, value.second);
        if (!exec(query))
            return false;
    }
    return true;
}

bool DoseRecordSync::maxEventId(qint64 *id)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT MAX(id) FROM Events")) || !query.next()) {
        m_error = query.lastError().text();
        return false;
    }
    *id = query.value(0).toLongLong();
    return true;
}

bool DoseRecordSync::isBehind()
{
    Progress progress;
    return compare(&progress) && (progress.startOver || progress.last != progress.max);
}

bool DoseRecordSync::update()
{
    Progress progress;
    if (!compare(&progress))
        return false;
    if (progress.startOver)
        return rebuild();
    const qint64 last = progress.last;
    const qint64 max = progress.max;
    if (max == last)
        return true;

    // The dosimeters that got events, and the earliest time among them.
    QList<QPair<DeviceKey, QString>> devices;
    {
        QSqlQuery changed(m_db);
        changed.setForwardOnly(true);
        changed.prepare(QStringLiteral("SELECT deviceId, deviceSerial, MIN(dateTime) FROM Events "
                                       "WHERE id > ? AND eventType IN (?, ?, ?) "
                                       "GROUP BY deviceId, deviceSerial"));
        changed.addBindValue(last);
        changed.addBindValue(int(VDB::EventDeviceAssigned));
        changed.addBindValue(int(VDB::EventDeviceReleased));
        changed.addBindValue(int(VDB::EventMeasurement));
        if (!exec(changed))
            return false;
        while (changed.next())
            devices.append({{changed.value(0).toInt(), changed.value(1).toInt()},
                            changed.value(2).toString()});
    }
    for (const auto &device : qAsConst(devices)) {
        Checkpoint checkpoint;
        bool found = false;
        if (!readCheckpoint(device.first, &checkpoint, &found))
            return false;
        // Events that all come after where the timeline was left continue
        // it; anything earlier changes what followed, so it is gone through
        // again from its start.
        const bool continues = found && device.second >= checkpoint.lastDateTime;
        if (!(continues ? continueDevice(device.first, checkpoint) : replayDevice(device.first)))
            return false;
    }
    return writeState(max);
}

bool DoseRecordSync::rebuild()
{
    qint64 max = 0;
    if (!maxEventId(&max) || !exec(QStringLiteral("DELETE FROM DoseDays"))
        || !exec(QStringLiteral("DELETE FROM DoseMonths"))
        || !exec(QStringLiteral("DELETE FROM DoseDevices")))
        return false;

    QHash<DeviceKey, WearerTimeline> timelines;
    {
        QSqlQuery events(m_db);
        events.setForwardOnly(true);
        events.prepare(QStringLiteral("SELECT deviceId, deviceSerial, dateTime, userId, eventType "
                                      "FROM Events WHERE eventType IN (?, ?) "
                                      "ORDER BY deviceId, deviceSerial, dateTime, id"));
        events.addBindValue(int(VDB::EventDeviceAssigned));
        events.addBindValue(int(VDB::EventDeviceReleased));
        if (!exec(events))
            return false;
        while (events.next()) {
            WearerTimeline &timeline
                = timelines[{events.value(0).toInt(), events.value(1).toInt()}];
            if (events.value(4).toInt() == VDB::EventDeviceAssigned)
                timeline.addAssignment(events.value(2).toString(), events.value(3).toInt());
            else
                timeline.addRelease(events.value(2).toString());
        }
    }

    // Every dosimeter's readings in its index's order: sorting millions of
    // readings by type and time instead takes many times as long (the "+"
    // keeps the engine from choosing the index of types).
    QSqlQuery readings(m_db);
    readings.setForwardOnly(true);
    readings.prepare(QStringLiteral("SELECT id, dateTime, userId, value, medValue, deviceId, "
                                    "deviceSerial FROM Events WHERE +eventType = ? "
                                    "ORDER BY deviceId, deviceSerial, eventType, dateTime, id"));
    readings.addBindValue(int(VDB::EventMeasurement));
    if (!exec(readings))
        return false;
    QScopedPointer<DeviceRun> run;
    qint64 taken = 0;
    while (readings.next()) {
        if (m_progress && ++taken % 20000 == 0)
            m_progress(int(qMin<qint64>(99, taken * 100 / qMax<qint64>(1, max))));
        const DeviceKey key(readings.value(5).toInt(), readings.value(6).toInt());
        if (!run || run->key != key) {
            if (run && !flush(*run))
                return false;
            run.reset(new DeviceRun(key));
            run->timeline = timelines.value(key);
        }
        run->add(readings.value(0).toLongLong(), readings.value(1).toString(),
                 readings.value(2).toInt(),
                 readings.isNull(3) ? qQNaN() : readings.value(3).toDouble(),
                 readings.isNull(4) ? qQNaN() : readings.value(4).toDouble());
    }
    if (run && !flush(*run))
        return false;
    return writeState(max);
}

bool DoseRecordSync::readCheckpoint(const DeviceKey &device, Checkpoint *checkpoint, bool *found)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT lastDateTime, lastId, started, highest FROM DoseDevices "
                                 "WHERE deviceId = ? AND deviceSerial = ?"));
    query.addBindValue(device.first);
    query.addBindValue(device.second);
    if (!exec(query))
        return false;
    *found = query.next();
    if (*found) {
        checkpoint->lastDateTime = query.value(0).toString();
        checkpoint->lastId = query.value(1).toLongLong();
        checkpoint->started = query.value(2).toInt() != 0;
        checkpoint->highest = query.value(3).toDouble();
    }
    return true;
}

bool DoseRecordSync::loadTimeline(const DeviceKey &device, WearerTimeline *timeline)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT dateTime, userId, eventType FROM Events WHERE deviceId = ? "
                       "AND deviceSerial = ? AND eventType IN (?, ?) "
                       "ORDER BY dateTime, id"));
    query.addBindValue(device.first);
    query.addBindValue(device.second);
    query.addBindValue(int(VDB::EventDeviceAssigned));
    query.addBindValue(int(VDB::EventDeviceReleased));
    if (!exec(query))
        return false;
    while (query.next()) {
        if (query.value(2).toInt() == VDB::EventDeviceAssigned)
            timeline->addAssignment(query.value(0).toString(), query.value(1).toInt());
        else
            timeline->addRelease(query.value(0).toString());
    }
    return true;
}

bool DoseRecordSync::continueDevice(const DeviceKey &device, const Checkpoint &checkpoint)
{
    DeviceRun run(device);
    run.counter.resume(checkpoint.started, checkpoint.highest);
    run.lastDateTime = checkpoint.lastDateTime;
    run.lastId = checkpoint.lastId;
    if (!loadTimeline(device, &run.timeline))
        return false;
    QSqlQuery readings(m_db);
    readings.setForwardOnly(true);
    readings.prepare(QLatin1String(ReadingColumns)
                     + QStringLiteral("WHERE deviceId = ? AND deviceSerial = ? AND eventType = ? "
                                      "AND (dateTime > ? OR (dateTime = ? AND id > ?)) "
                                      "ORDER BY dateTime, id"));
    readings.addBindValue(device.first);
    readings.addBindValue(device.second);
    readings.addBindValue(int(VDB::EventMeasurement));
    readings.addBindValue(checkpoint.lastDateTime);
    readings.addBindValue(checkpoint.lastDateTime);
    readings.addBindValue(checkpoint.lastId);
    return takeReadings(readings, run) && flush(run);
}

bool DoseRecordSync::replayDevice(const DeviceKey &device)
{
    for (const char *table : {"DoseDays", "DoseMonths"}) {
        QSqlQuery forget(m_db);
        forget.prepare(QStringLiteral("DELETE FROM %1 WHERE deviceId = ? AND deviceSerial = ?")
                           .arg(QLatin1String(table)));
        forget.addBindValue(device.first);
        forget.addBindValue(device.second);
        if (!exec(forget))
            return false;
    }
    DeviceRun run(device);
    if (!loadTimeline(device, &run.timeline))
        return false;
    QSqlQuery readings(m_db);
    readings.setForwardOnly(true);
    readings.prepare(QLatin1String(ReadingColumns)
                     + QStringLiteral("WHERE deviceId = ? AND deviceSerial = ? AND eventType = ? "
                                      "ORDER BY dateTime, id"));
    readings.addBindValue(device.first);
    readings.addBindValue(device.second);
    readings.addBindValue(int(VDB::EventMeasurement));
    return takeReadings(readings, run) && flush(run);
}

bool DoseRecordSync::takeReadings(QSqlQuery &readings, DeviceRun &run)
{
    if (!exec(readings))
        return false;
    while (readings.next()) {
        run.add(readings.value(0).toLongLong(), readings.value(1).toString(),
                readings.value(2).toInt(),
                readings.isNull(3) ? qQNaN() : readings.value(3).toDouble(),
                readings.isNull(4) ? qQNaN() : readings.value(4).toDouble());
    }
    return true;
}

bool DoseRecordSync::flush(DeviceRun &run)
{
    if (run.lastDateTime.isEmpty())
        return true; // no reading at all
    QSqlQuery days(m_db);
    days.prepare(QStringLiteral(
        "INSERT INTO DoseDays (userId, day, deviceId, deviceSerial, dose, maxRate) "
        "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (userId, day, deviceId, deviceSerial) DO UPDATE "
        "SET dose = DoseDays.dose + excluded.dose, maxRate = CASE WHEN DoseDays.maxRate IS NULL "
        "OR excluded.maxRate > DoseDays.maxRate THEN excluded.maxRate ELSE DoseDays.maxRate END"));
    QMap<QPair<int, QString>, double> months;
    for (auto it = run.days.cbegin(); it != run.days.cend(); ++it) {
        months[qMakePair(it.key().first, it.key().second.left(7))] += it->dose;
        days.bindValue(0, it.key().first);
        days.bindValue(1, it.key().second);
        days.bindValue(2, run.key.first);
        days.bindValue(3, run.key.second);
        days.bindValue(4, it->dose);
        days.bindValue(5, it->maxRate >= 0 ? QVariant(it->maxRate) : QVariant(QVariant::Double));
        if (!exec(days))
            return false;
    }
    run.days.clear();

    QSqlQuery perMonth(m_db);
    perMonth.prepare(QStringLiteral(
        "INSERT INTO DoseMonths (userId, month, deviceId, deviceSerial, dose) VALUES (?, ?, ?, ?, "
        "?) ON CONFLICT (userId, month, deviceId, deviceSerial) DO UPDATE SET dose = "
        "DoseMonths.dose + excluded.dose"));
    for (auto it = months.cbegin(); it != months.cend(); ++it) {
        perMonth.bindValue(0, it.key().first);
        perMonth.bindValue(1, it.key().second);
        perMonth.bindValue(2, run.key.first);
        perMonth.bindValue(3, run.key.second);
        perMonth.bindValue(4, it.value());
        if (!exec(perMonth))
            return false;
    }

    QSqlQuery checkpoint(m_db);
    checkpoint.prepare(QStringLiteral(
        "INSERT INTO DoseDevices (deviceId, deviceSerial, lastDateTime, lastId, started, highest) "
        "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (deviceId, deviceSerial) DO UPDATE SET "
        "lastDateTime = excluded.lastDateTime, lastId = excluded.lastId, "
        "started = excluded.started, highest = excluded.highest"));
    checkpoint.addBindValue(run.key.first);
    checkpoint.addBindValue(run.key.second);
    checkpoint.addBindValue(run.lastDateTime);
    checkpoint.addBindValue(run.lastId);
    checkpoint.addBindValue(int(run.counter.started()));
    checkpoint.addBindValue(run.counter.highest());
    return exec(checkpoint);
}
