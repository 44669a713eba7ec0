#include "device/DeviceConnection.h"

#include "app/LibraryPath.h"
#include "db/DeviceType.h"

#include <QDebug>
#include <QLibrary>

DeviceConnection::DeviceConnection(DeviceType *deviceType)
    : m_deviceType(deviceType)
    , m_plugin(deviceType ? loadPlugin(deviceType->connector) : nullptr)
{ }

DeviceConnection::DeviceConnection(DeviceType *deviceType, AbstractPlugin *plugin)
    : m_deviceType(deviceType)
    , m_plugin(plugin)
{ }

DeviceConnection::~DeviceConnection()
{
    disconnect();
}

AbstractPlugin *DeviceConnection::loadPlugin(const QString &connector)
{
    if (connector.isEmpty())
        return nullptr;
    // The QLibrary object may go; the library is never unloaded, since the
    // plug-in object lives in it.
    QLibrary library(LibraryPath::resolve(connector));
    auto getPlugin = reinterpret_cast<GetPluginFunction>(library.resolve("getPlugin"));
    if (!getPlugin) {
        qWarning().noquote() << "Device plug-in not loaded:" << library.errorString();
        return nullptr;
    }
    return getPlugin();
}

bool DeviceConnection::connect(int expectedSerial)
{
    if (!m_plugin)
        return false;
    disconnect();
    if (!m_plugin->connectDevice())
        return false;
    m_info = new DeviceInfo;
    if (m_plugin->readDeviceInfo(m_info)
        && (expectedSerial < 0 || expectedSerial == m_info->serialNumber))
        return true;
    disconnect();
    return false;
}

void DeviceConnection::disconnect()
{
    if (!m_info)
        return;
    m_plugin->disconnectDevice();
    delete m_info;
    m_info = nullptr;
}
