#pragma once

#include "db/SharedTypes.h"

#include <QMetaType>
#include <QString>

// A dose limit over a sliding window of days, for each user (isUser) or for
// the members of each linked group taken together.
struct Threshold
{
    explicit Threshold(int id = 0);

    int id = 0;
    bool isUser = true;
    QString name;
    int channel = 2; // VDB::Channel, chooses the colour only
    double value = 0.0001; // in the display unit of the options
    quint16 period = 1; // days
    QList<SharedGroup> groups; // only for group thresholds
};

Q_DECLARE_METATYPE(SharedThreshold)
