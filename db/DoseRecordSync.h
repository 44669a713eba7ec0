#pragma once

#include <QHash>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <functional>

class WearerTimeline;
class QSqlQuery;

// Keeps the dose of record that the dosimeters' counter readings give in
// tables of its own, so that no sum has to walk the readings:
//
// - DoseDays: per user, day and dosimeter, the dose the readings of that day
//   add (DoseCounter) and the highest dose rate among them;
// - DoseMonths: the same dose per calendar month, for the annual accounting;
// - DoseDevices: per dosimeter, where its timeline was left (the last reading
//   taken in and the counter's state), so that later readings continue it;
// - DoseRecordState: the last event id taken in, what that event was, and the
//   rule's version.
//
// The store runs update() in the transaction of every change of events, so
// the tables never lag behind its own writes. Events that another program
// (one that knows nothing of these tables) added later have higher ids; the
// next update() takes them in too. A file whose events were made anew (the
// last event taken in is no longer what it was) is taken in from scratch. Dose is counted for the
// wearer of the dosimeter at the reading's time by its assignment events, or, for a dosimeter
// without any, for the user the reading is stored for.
class DoseRecordSync
{
public:
    explicit DoseRecordSync(QSqlDatabase db);
    ~DoseRecordSync();

    // Creates the tables and indexes that are missing.
    bool createTables();
    // Whether events were stored that the tables do not hold yet.
    bool isBehind();
    // Takes in every event stored since the last update; starts over when the
    // tables are empty, of an older rule, or events have disappeared.
    bool update();
    // Forgets everything and takes in all events again.
    bool rebuild();

    // The assignment and release events of one dosimeter (device type id,
    // serial) in time order.
    bool loadTimeline(const QPair<int, int> &device, WearerTimeline *timeline);

    QString errorText() const { return m_error; }
    // Told the share done, in percent, while everything is taken in anew.
    void setProgress(std::function<void(int percent)> progress)
    {
        m_progress = std::move(progress);
    }

private:
    using DeviceKey = QPair<int, int>; // device type id, serial
    struct Checkpoint;
    class DeviceRun;

    bool exec(QSqlQuery &query);
    bool exec(const QString &sql);
    struct Progress;
    // Where the tables stand against the events.
    bool compare(Progress *progress);
    bool writeState(qint64 lastEventId);
    bool maxEventId(qint64 *id);
    // What the event of that id is, as text; empty when there is none.
    bool eventFingerprint(qint64 id, QString *text);
    bool readCheckpoint(const DeviceKey &device, Checkpoint *checkpoint, bool *found);
    bool continueDevice(const DeviceKey &device, const Checkpoint &checkpoint);
    bool replayDevice(const DeviceKey &device);
    bool takeReadings(QSqlQuery &readings, DeviceRun &run);
    bool flush(DeviceRun &run);

    QSqlDatabase m_db;
    QString m_error;
    std::function<void(int)> m_progress;
};
