#pragma once

#include "device/PluginInterface.h"

#include <QString>

struct DeviceType;

// A device type, its plug-in object and, once a device was found, the
// identification that device reported. Made by the device search and used by
// every device dialog. Not a QObject: it is used in turn by the GUI thread and
// by one worker thread at a time.
class DeviceConnection
{
public:
    // Binds the plug-in named by the type's connector; plugin() stays null
    // when the library or its entry point is missing.
    explicit DeviceConnection(DeviceType *deviceType);
    // Uses the given plug-in object instead of loading one.
    DeviceConnection(DeviceType *deviceType, AbstractPlugin *plugin);
    ~DeviceConnection();

    DeviceConnection(const DeviceConnection &) = delete;
    DeviceConnection &operator=(const DeviceConnection &) = delete;

    DeviceType *deviceType() const { return m_deviceType; }
    // Null until a device has been found.
    DeviceInfo *info() const { return m_info; }
    // Never deleted: it belongs to its library.
    AbstractPlugin *plugin() const { return m_plugin; }
    bool hasDevice() const { return m_info != nullptr; }

    // Connects to a device and reads its identification. A negative
    // `expectedSerial` takes any device; otherwise a device with another
    // serial number is dropped at once and false is returned.
    bool connect(int expectedSerial = -1);
    // Closes the link of a found device; without one the plug-in is not called.
    void disconnect();

    // The plug-in object of the library called `connector` (looked for in
    // the program's library directory first), or null. The library stays
    // loaded for the rest of the process.
    static AbstractPlugin *loadPlugin(const QString &connector);

private:
    DeviceType *m_deviceType = nullptr;
    DeviceInfo *m_info = nullptr;
    AbstractPlugin *m_plugin = nullptr;
};
