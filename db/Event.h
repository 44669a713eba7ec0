#pragma once

#include "db/SharedTypes.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace VDB {

// Event type codes.
enum EventType {
    EventDeviceAssigned = 100,
    EventDeviceReleased = 101,
    EventMeasurement = 200, // dose and dose rate (every TM4040 history record)
    EventDose = 300, // the only type that dose sums count
};

// One row of the Events table; a value type that travels between the device
// workers, the dialogs and the data store.
struct Event
{
    SharedUser user;
    QDateTime dateTime;
    DeviceType *deviceType = nullptr;
    int deviceSerial = -1;
    int eventType = 0;
    double value = 0; // dose (ЭД); stored unit on writing, display unit when read back
    int channel = -1; // VDB::Channel, -1 none
    QString comment;
    double medValue = 0; // dose rate (МЭД), unchanged
    int eventNumber = 0;
    bool cyclicHistory = false;
    bool timezoneChanged = false;
    bool edThreshold = false;
    bool medThreshold = false;
    bool batteryLow = false;
    bool memoryFault = false;
    bool detectorFault = false;
    bool hvFault = false;
};

} // namespace VDB

Q_DECLARE_METATYPE(VDB::Event)
