#include "device/ResetDoseWorker.h"

#include "device/DeviceConnection.h"
#include "db/DoseUnits.h"

ResetDoseWorker::ResetDoseWorker(DeviceConnection *connection, bool read, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_read(read)
{ }

void ResetDoseWorker::process()
{
    double dose = 0;
    bool ok = false;
    if (AbstractPlugin *plugin = m_connection->plugin())
        ok = m_read ? plugin->readAccumulatedED(&dose) : plugin->resetAccumulatedED();
    // The TM4040 has one channel, gamma; a reset leaves 0. A failed call
    // reports no dose: a 0 after a failed reset would pass for a reset.
    if (ok)
        emit doseReaded(VDB::Gamma, toDisplayDose(m_read ? dose : 0.0));
    emit finished(ok);
}
