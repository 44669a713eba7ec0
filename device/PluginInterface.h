#pragma once

// The binary contract between the program and a device plug-in library.
//
// Both sides compile this one header. The order of the virtual functions of
// AbstractPlugin and the order and types of the record fields are part of
// the binary interface: never reorder, insert or remove anything here.
//
// The classes live in the global namespace on purpose: a settings record is
// recognised by its type across the library boundary, so its type name must
// be the same on both sides. The settings classes are exported with default
// visibility so that their type information stays comparable even when a
// plug-in is built with hidden visibility.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

// Identification of a found device. The caller allocates it with every
// field zero or null; readDeviceInfo fills it.
struct DeviceInfo
{
    QString name;
    qint32 serialNumber = 0;
    QDateTime manufactureDate;
    qint32 firmwareVersion = 0; // 8-bit code, shown in hexadecimal
    QDateTime deviceTime;
    double accumulatedDose = 0.0; // mSv
    double reservedDouble1 = 0.0;
    qint32 historyCount = 0;
    double reservedDouble2 = 0.0;
    double reservedDouble3 = 0.0;
    bool cyclicHistory = false;
    bool reservedFlag = false;
};

// Polymorphic base of the settings records of all device families.
class Q_DECL_EXPORT DeviceSettings
{
public:
    virtual ~DeviceSettings() = default;
};

// Settings of a TM4040 dosimeter, owned by the caller.
class Q_DECL_EXPORT Tm4040Settings : public DeviceSettings
{
public:
    double medThreshold = 0.0; // dose-rate threshold, 2 decimals
    double edThreshold = 0.0; // effective-dose threshold in mSv, 3 decimals
    quint8 historyStepHours = 0;
    quint8 historyStepMinutes = 0;
    quint8 historyStepSeconds = 0;
    quint8 nextRecordHours = 0;
    quint8 nextRecordMinutes = 0;
    quint8 nextRecordSeconds = 0;
    bool cyclicHistory = false;
    quint16 historyEventsCount = 0;
    bool clearHistoryOnWrite = false; // request: reset the history pointers on write
    bool alarmEnabled = false;
    quint8 alarmHour = 0;
    quint8 alarmMinute = 0;
    double accumulatedDose = 0.0; // mSv
    bool resetAccumulatedDose = false; // request: reset the accumulated dose on write
    double reservedDouble = 0.0;
    quint8 reservedByte1 = 0;
    quint8 reservedByte2 = 0;
    quint8 reservedByte3 = 0;
};

// One record of a device's history. The plug-in allocates it with plain
// new; the caller that owns the list deletes it.
struct HistoryEvent
{
    qint32 kind = 0;
    qint32 channel = 0;
    QDateTime dateTime; // local time
    float ed = 0.0f; // effective dose, mSv
    float med = 0.0f; // dose rate, uSv/h
    qint32 number = 0;
    // The record's flag byte, bit 7 first.
    bool cyclicHistory = false;
    bool timezoneChanged = false;
    bool edThreshold = false;
    bool medThreshold = false;
    bool batteryLow = false;
    bool memoryFault = false;
    bool detectorFault = false;
    bool hvFault = false;
};

// The plug-in object. Exactly these sixteen virtual functions in this
// order, and no virtual destructor: the object belongs to its library and
// the program never deletes it (hence the protected destructor).
//
// Every device operation fails (false or a null date-time) until
// connectDevice has succeeded. Calls must be serialised by the caller; they
// may come from different threads in turn.
class AbstractPlugin
{
public:
    virtual bool isSingleChannel() = 0;
    virtual bool connectDevice() = 0;
    virtual void disconnectDevice() = 0;
    virtual bool readDeviceInfo(DeviceInfo *info) = 0;
    virtual QDateTime readDeviceTime() = 0;
    virtual bool writeTime(const QDateTime &dateTime) = 0;
    virtual void reserved1() = 0;
    virtual void reserved2() = 0;
    virtual void reserved3() = 0;
    // Appends decoded records to `events` (the caller owns them). Returns
    // true when more can be fetched by calling again with restart = false.
    virtual bool readHistory(QList<HistoryEvent *> &events, bool restart) = 0;
    virtual bool clearHistory() = 0;
    virtual bool readSettings(DeviceSettings *settings) = 0;
    virtual bool writeSettings(DeviceSettings *settings, bool flag) = 0;
    virtual bool readAccumulatedED(double *doseMSv) = 0;
    virtual bool resetAccumulatedED() = 0;
    virtual QDateTime reservedTime() = 0;

protected:
    ~AbstractPlugin() = default;
};

// The one C-linkage entry point each plug-in library exports under the name
// "getPlugin". Every call returns the same object.
using GetPluginFunction = AbstractPlugin *(*)();

// An optional second C-linkage entry point, exported under the name
// "setProgressCallback" beside getPlugin, for a library that can tell how
// far a history download has come. The program looks it up and does without
// it when the library lacks it; the plug-in object above stays as it is.
//
// While a callback is set, readHistory calls it on its own thread with the
// given context, the records received so far and the records expected, each
// time a part of the history has arrived. Setting null ends the reports.
using ProgressCallback = void (*)(void *context, int received, int total);
using SetProgressCallbackFunction = void (*)(ProgressCallback callback, void *context);
