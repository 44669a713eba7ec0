#include "device/HistoryReader.h"

#include "device/DeviceConnection.h"
#include "device/PluginInterface.h"

namespace {

// The device's numbers have at most 7 significant decimal digits; they cross
// the plug-in boundary as floats. Taking the float's shortest 7-digit decimal
// gives back the number the device holds (6789.012, not 6789.01220703125).
double deviceNumber(float value)
{
    return QString::number(double(value), 'g', 7).toDouble();
}

} // namespace

HistoryReader::HistoryReader(DeviceConnection *connection, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_stop(std::make_shared<std::atomic<bool>>(false))
{ }

int HistoryReader::eventType(int kind)
{
    static const int types[]
        = {0, 300, 200, 350, 400, 401, 500, 600, 501, 501, 700, 701, 800, 900, 930, 960};
    return kind >= 0 && kind <= 15 ? types[kind] : 0;
}

HistoryReader::Completeness HistoryReader::completeness(int reported, int received)
{
    if (received == 0 && reported <= 1)
        return EmptyMemory;
    return received >= reported - 1 ? Complete : Incomplete;
}

VDB::Event HistoryReader::toEvent(const HistoryEvent &record, const DeviceConnection *connection)
{
    VDB::Event event;
    event.dateTime = record.dateTime;
    event.channel = record.channel >= 0 && record.channel <= 3 ? record.channel : -1;
    event.deviceType = connection->deviceType();
    event.deviceSerial = connection->info() ? connection->info()->serialNumber : -1;
    event.eventType = eventType(record.kind);
    event.value = deviceNumber(record.ed);
    event.medValue = deviceNumber(record.med);
    event.eventNumber = record.number;
    event.cyclicHistory = record.cyclicHistory;
    event.timezoneChanged = record.timezoneChanged;
    event.edThreshold = record.edThreshold;
    event.medThreshold = record.medThreshold;
    event.batteryLow = record.batteryLow;
    event.memoryFault = record.memoryFault;
    event.detectorFault = record.detectorFault;
    event.hvFault = record.hvFault;
    return event;
}

void HistoryReader::process()
{
    // The flag is not cleared here: a stop asked for before the thread got
    // going must still count.
    AbstractPlugin *plugin = m_connection->plugin();
    const SetProgressCallbackFunction hook = m_connection->progressHook();
    int n = 0;
    int estimate = 1000;
    bool restart = true;
    while (plugin && !stopped()) {
        QList<HistoryEvent *> list;
        if (hook)
            hook(&HistoryReader::reportDownload, this);
        const bool more = plugin->readHistory(list, restart);
        if (hook)
            hook(nullptr, nullptr);
        for (int i = 0; i < list.size() && !stopped(); ++i) {
            ++n;
            if (n >= estimate * 0.97)
                estimate = int(estimate * 1.6);
            emit inProgress(n * 100 / estimate);
            emit eventReaded(toEvent(*list.at(i), m_connection));
        }
        qDeleteAll(list);
        if (!more)
            break;
        restart = false;
    }
    emit inProgress(100);
    emit finished();
}

void HistoryReader::reportDownload(void *reader, int received, int total)
{
    emit static_cast<HistoryReader *>(reader)->downloadProgress(received, total);
}

void HistoryReader::stop()
{
    m_stop->store(true);
}
