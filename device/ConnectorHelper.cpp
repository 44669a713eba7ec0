#include "device/ConnectorHelper.h"

#include "device/DeviceConnection.h"

ConnectorHelper::ConnectorHelper(DeviceConnection *connection, int expectedSerial, QObject *parent)
    : QObject(parent)
    , m_connection(connection)
    , m_expectedSerial(expectedSerial)
{ }

void ConnectorHelper::process()
{
    emit finished(m_connection->connect(m_expectedSerial));
}
