#include "db/EventWearers.h"

#include "db/DeviceType.h"
#include "db/DoseRecordSync.h"
#include "db/User.h"
#include "db/UserDevice.h"

EventWearers::EventWearers(QSqlDatabase db)
    : m_db(db)
{ }

bool EventWearers::isOutsideAssignment(const VDB::Event &event)
{
    if (!event.user || !event.user->device || !event.deviceType)
        return false;
    const UserDevice &device = *event.user->device;
    // Compared as the stored texts, as every query compares them.
    return device.type == event.deviceType && device.serial == event.deviceSerial
        && device.assignDate.isValid()
        && event.dateTime.toString(Qt::ISODateWithMs)
        < device.assignDate.toString(Qt::ISODateWithMs);
}

int EventWearers::wearerAt(const VDB::Event &event, const QString &dateTime)
{
    const QPair<int, int> key(event.deviceType->id, event.deviceSerial);
    auto it = m_timelines.find(key);
    if (it == m_timelines.end()) {
        it = m_timelines.insert(key, WearerTimeline());
        DoseRecordSync sync(m_db);
        m_ok = sync.loadTimeline(key, &it.value()) && m_ok;
    }
    return it->wearerAt(dateTime);
}
