#pragma once

#include "db/SharedTypes.h"

#include <QMetaType>
#include <QString>

// A group of users with the rights it gives them.
struct Group
{
    // Rights (bits of the `access` column of Groups).
    enum Right { AssignDevices = 1, DeviceSettings = 2, ProgramSettings = 4 };

    explicit Group(int id = 0);

    int id = 0;
    QString name;
    QString description;
    int access = 0;
    QList<SharedUser> users; // in step with User::groups
    QList<SharedThreshold> thresholds; // group thresholds linked to this group
};

Q_DECLARE_METATYPE(SharedGroup)
