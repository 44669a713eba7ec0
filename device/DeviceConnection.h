#pragma once

#include "device/PluginInterface.h"

#include <QCoreApplication>
#include <QString>

struct DeviceType;

// A device type, its plug-in object and, once a device was found, the
// identification that device reported. Made by the device search and used by
// every device dialog. Not a QObject: it is used in turn by the GUI thread and
// by one worker thread at a time.
class DeviceConnection
{
    Q_DECLARE_TR_FUNCTIONS(DeviceConnection)

public:
    // Binds the plug-in named by the type's connector; plugin() stays null
    // when the library or its entry point is missing.
    explicit DeviceConnection(DeviceType *deviceType);
    // Uses the given plug-in object (and progress entry point, if any)
    // instead of loading them.
    DeviceConnection(DeviceType *deviceType, AbstractPlugin *plugin,
                     SetProgressCallbackFunction progressHook = nullptr);
    ~DeviceConnection();

    DeviceConnection(const DeviceConnection &) = delete;
    DeviceConnection &operator=(const DeviceConnection &) = delete;

    DeviceType *deviceType() const { return m_deviceType; }
    // Null until a device has been found.
    DeviceInfo *info() const { return m_info; }
    // Never deleted: it belongs to its library.
    AbstractPlugin *plugin() const { return m_plugin; }
    // The library's optional download progress entry point, or null.
    SetProgressCallbackFunction progressHook() const { return m_progressHook; }
    bool hasDevice() const { return m_info != nullptr; }

    // Connects to a device and reads its identification. A negative
    // `expectedSerial` takes any device; otherwise a device with another
    // serial number is dropped at once and false is returned.
    bool connect(int expectedSerial = -1);
    // Closes the link of a found device; without one the plug-in is not called.
    void disconnect();
    // The serial number of the device that answered the last connect() when
    // it was not the expected one; -1 otherwise.
    int otherSerial() const { return m_otherSerial; }
    // Closes the plug-in's link from another thread while a worker uses this
    // connection: a waiting operation fails at once. The worker still ends
    // on its own; the found device, if any, is dropped by disconnect().
    void interrupt();

    // How dialogs name a device: "КВР-ТМ4040 № 40401234".
    static QString deviceText(const QString &name, int serial);
    // The found device; without one, the device type's name.
    QString deviceText() const;

    // The plug-in object of the library called `connector` (looked for in
    // the program's library directory first), or null. The library stays
    // loaded for the rest of the process.
    static AbstractPlugin *loadPlugin(const QString &connector);
    // The library's "setProgressCallback", or null.
    static SetProgressCallbackFunction loadProgressHook(const QString &connector);

private:
    DeviceType *m_deviceType = nullptr;
    DeviceInfo *m_info = nullptr;
    AbstractPlugin *m_plugin = nullptr;
    SetProgressCallbackFunction m_progressHook = nullptr;
    int m_otherSerial = -1;
};
