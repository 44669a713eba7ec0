#pragma once

#include "db/Channel.h"

#include <QObject>

class DeviceConnection;

// Reads or resets a found device's accumulated dose on a worker thread.
class ResetDoseWorker : public QObject
{
    Q_OBJECT
public:
    // `read` true reads the dose; false resets it.
    ResetDoseWorker(DeviceConnection *connection, bool read, QObject *parent = nullptr);

public slots:
    void process();

signals:
    // The dose in the display milli-unit; 0 after a reset. Only after a
    // successful call.
    void doseReaded(VDB::Channel channel, double doseLevel);
    void finished(bool result);

private:
    DeviceConnection *m_connection;
    bool m_read;
};
