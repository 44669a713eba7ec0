#include "db/WearerTimeline.h"

#include <algorithm>

void WearerTimeline::addAssignment(const QString &dateTime, int userId)
{
    m_changes.append({dateTime, userId > 0 ? userId : 0});
}

void WearerTimeline::addRelease(const QString &dateTime)
{
    m_changes.append({dateTime, 0});
}

int WearerTimeline::wearerAt(const QString &dateTime) const
{
    // The first change after the time; the one before it holds.
    const auto after = std::upper_bound(
        m_changes.cbegin(), m_changes.cend(), dateTime,
        [](const QString &time, const Change &change) { return time < change.dateTime; });
    return after == m_changes.cbegin() ? 0 : (after - 1)->userId;
}
