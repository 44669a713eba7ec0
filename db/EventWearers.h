#pragma once

#include "db/Event.h"
#include "db/WearerTimeline.h"

#include <QHash>
#include <QPair>
#include <QSqlDatabase>

// Whose records a history import brings. A record of the device assigned to
// the importing user, stamped before that assignment, is not the user's: it
// belongs to whoever wore the device at the time by its assignment events,
// or to nobody when that is unknown.
class EventWearers
{
public:
    explicit EventWearers(QSqlDatabase db);

    // Whether the event is a record of its user's assigned device stamped
    // before the assignment.
    static bool isOutsideAssignment(const VDB::Event &event);
    // The id of the wearer at `dateTime` (the event's stored text), 0 for
    // nobody. Reads the device's assignment events once per batch.
    int wearerAt(const VDB::Event &event, const QString &dateTime);
    // False when reading assignment events failed.
    bool ok() const { return m_ok; }

private:
    QSqlDatabase m_db;
    QHash<QPair<int, int>, WearerTimeline> m_timelines;
    bool m_ok = true;
};
