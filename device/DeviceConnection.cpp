#include "device/DeviceConnection.h"

#include "app/LibraryPath.h"
#include "db/DeviceType.h"

#include <QDebug>
#include <QLibrary>

DeviceConnection::DeviceConnection(DeviceType *deviceType)
    : m_deviceType(deviceType)
    , m_plugin(deviceType ? loadPlugin(deviceType->connector) : nullptr)
    , m_progressHook(m_plugin ? loadProgressHook(deviceType->connector) : nullptr)
{ }

DeviceConnection::DeviceConnection(DeviceType *deviceType, AbstractPlugin *plugin,
                                   SetProgressCallbackFunction progressHook)
    : m_deviceType(deviceType)
    , m_plugin(plugin)
    , m_progressHook(progressHook)
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

SetProgressCallbackFunction DeviceConnection::loadProgressHook(const QString &connector)
{
    // Optional: a library without it still works, without progress reports.
    QLibrary library(LibraryPath::resolve(connector));
    return reinterpret_cast<SetProgressCallbackFunction>(library.resolve("setProgressCallback"));
}

bool DeviceConnection::connect(int expectedSerial)
{
    m_otherSerial = -1;
    if (!m_plugin)
        return false;
    disconnect();
    if (!m_plugin->connectDevice())
        return false;
    m_info = new DeviceInfo;
    if (m_plugin->readDeviceInfo(m_info)) {
        if (expectedSerial < 0 || expectedSerial == m_info->serialNumber)
            return true;
        m_otherSerial = m_info->serialNumber;
    }
    disconnect();
    return false;
}

void DeviceConnection::interrupt()
{
    if (m_plugin)
        m_plugin->disconnectDevice();
}

void DeviceConnection::disconnect()
{
    if (!m_info)
        return;
    m_plugin->disconnectDevice();
    delete m_info;
    m_info = nullptr;
}

QString DeviceConnection::deviceText(const QString &name, int serial)
{
    // A no-break space keeps the number with its sign.
    return tr("%1 №\u00a0%2").arg(name).arg(serial);
}

QString DeviceConnection::deviceText() const
{
    if (m_info)
        return deviceText(m_info->name, m_info->serialNumber);
    return m_deviceType ? m_deviceType->name : QString();
}
