#pragma once

#include "db/Event.h"

#include <QObject>

#include <atomic>
#include <memory>

class DeviceConnection;
struct HistoryEvent;

// Downloads a found device's history on a worker thread and hands every
// record on as a VDB::Event (in the stored unit, without a user).
//
// Stopping: the stop flag is shared (stopFlag()), so the thread that asks
// for the stop sets it directly while process() runs; a queued stop() would
// only arrive after the download. The flag is read between records, so a
// stop ends the emissions at once, but cannot cut short the plug-in's own
// download call.
class HistoryReader : public QObject
{
    Q_OBJECT
public:
    using StopFlag = std::shared_ptr<std::atomic<bool>>;

    explicit HistoryReader(DeviceConnection *connection, QObject *parent = nullptr);

    StopFlag stopFlag() const { return m_stop; }

    // The event of one device record: its fields, the connection's device
    // type and serial number.
    static VDB::Event toEvent(const HistoryEvent &record, const DeviceConnection *connection);
    // Record kind -> event type (TM4040 records, kind 2, become 200).
    static int eventType(int kind);

    // How a download compares with the record count the device reported.
    // A freshly cleared TM4040 reports one record that it does not hold, and
    // a device's count may run one ahead of its written records: a history
    // short of only its last, unwritten slot is complete, and no records
    // from a count of 0 or 1 is an empty memory. Anything shorter is not.
    enum Completeness { Complete, EmptyMemory, Incomplete };
    static Completeness completeness(int reported, int received);

public slots:
    void process();
    void stop();

signals:
    void finished();
    void inProgress(int percent);
    void eventReaded(VDB::Event event);
    // While the device sends its history, from plug-ins that tell: the
    // records received so far of those expected. Emitted on the worker's
    // thread (the plug-in's callback), so it reaches a dialog queued.
    void downloadProgress(int received, int total);

private:
    bool stopped() const { return m_stop->load(); }
    static void reportDownload(void *reader, int received, int total);

    DeviceConnection *m_connection;
    StopFlag m_stop;
};
