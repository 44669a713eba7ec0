#pragma once

#include <QString>
#include <QVector>

// Who wore one dosimeter when, from its assignment (100) and release (101)
// events. Times are the stored ISO texts, which sort as the times they name.
//
// An assignment makes its user the wearer from its time on, also when the
// device was not released before (moved between users without clearing); a
// release leaves the device with nobody. Before the first assignment the
// wearer is unknown. User ids are positive; 0 stands for nobody.
class WearerTimeline
{
public:
    // Adds one event; events are added in time order (ties in stored order).
    void addAssignment(const QString &dateTime, int userId);
    void addRelease(const QString &dateTime);

    bool isEmpty() const { return m_changes.isEmpty(); }
    // The wearer at that time: the user of the last assignment at or before
    // it that no release followed, or 0.
    int wearerAt(const QString &dateTime) const;

private:
    struct Change
    {
        QString dateTime;
        int userId = 0;
    };
    QVector<Change> m_changes;
};
