#pragma once

#include "db/SharedTypes.h"

#include <QDateTime>
#include <QMetaType>

// The dosimeter assigned to a user.
struct UserDevice
{
    DeviceType *type = nullptr;
    int serial = 0;
    QDateTime assignDate;
};

Q_DECLARE_METATYPE(SharedDevice)
