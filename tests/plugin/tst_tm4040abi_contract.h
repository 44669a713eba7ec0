#pragma once

// This test's own copy of the plug-in contract, written from the list of
// operations and field types, not included from the program. If the
// plug-in and this copy disagree on a slot or a field, the test shows it.

#include <QDateTime>
#include <QList>
#include <QString>

struct DeviceInfo
{
    QString name;
    qint32 serialNumber;
    QDateTime manufactureDate;
    qint32 firmwareVersion;
    QDateTime deviceTime;
    double accumulatedDose;
    double spare1;
    qint32 historyCount;
    double spare2;
    double spare3;
    bool cyclicHistory;
    bool spareFlag;
};

class Q_DECL_EXPORT DeviceSettings
{
public:
    virtual ~DeviceSettings() { }
};

class Q_DECL_EXPORT Tm4040Settings : public DeviceSettings
{
public:
    double medThreshold;
    double edThreshold;
    quint8 historyStepHours;
    quint8 historyStepMinutes;
    quint8 historyStepSeconds;
    quint8 nextRecordHours;
    quint8 nextRecordMinutes;
    quint8 nextRecordSeconds;
    bool cyclicHistory;
    quint16 historyEventsCount;
    bool clearHistoryOnWrite;
    bool alarmEnabled;
    quint8 alarmHour;
    quint8 alarmMinute;
    double accumulatedDose;
    bool resetAccumulatedDose;
    double spare;
    quint8 spareByte1;
    quint8 spareByte2;
    quint8 spareByte3;
};

struct HistoryEvent
{
    qint32 kind;
    qint32 channel;
    QDateTime dateTime;
    float ed;
    float med;
    qint32 number;
    bool cyclicHistory;
    bool timezoneChanged;
    bool edThreshold;
    bool medThreshold;
    bool batteryLow;
    bool memoryFault;
    bool detectorFault;
    bool hvFault;
};

class AbstractPlugin
{
public:
    virtual bool isSingleChannel() = 0; // 0
    virtual bool connectDevice() = 0; // 1
    virtual void disconnectDevice() = 0; // 2
    virtual bool readDeviceInfo(DeviceInfo *) = 0; // 3
    virtual QDateTime readDeviceTime() = 0; // 4
    virtual bool writeTime(const QDateTime &) = 0; // 5
    virtual void slot6() = 0; // 6
    virtual void slot7() = 0; // 7
    virtual void slot8() = 0; // 8
    virtual bool readHistory(QList<HistoryEvent *> &, bool restart) = 0; // 9
    virtual bool clearHistory() = 0; // 10
    virtual bool readSettings(DeviceSettings *) = 0; // 11
    virtual bool writeSettings(DeviceSettings *, bool) = 0; // 12
    virtual bool readAccumulatedED(double *) = 0; // 13
    virtual bool resetAccumulatedED() = 0; // 14
    virtual QDateTime slot15() = 0; // 15

protected:
    ~AbstractPlugin() { }
};
