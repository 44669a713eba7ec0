#pragma once

#include <QObject>

class DeviceConnection;

// Looks for a device on a worker thread: connects and reads its
// identification, then reports whether a device was found.
class ConnectorHelper : public QObject
{
    Q_OBJECT
public:
    // A negative `expectedSerial` accepts any device.
    explicit ConnectorHelper(DeviceConnection *connection, int expectedSerial = -1,
                             QObject *parent = nullptr);

public slots:
    void process();

signals:
    void finished(bool found);

private:
    DeviceConnection *m_connection;
    int m_expectedSerial;
};
