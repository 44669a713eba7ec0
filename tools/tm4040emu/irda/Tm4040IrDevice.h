#pragma once

#include "Tm4040DeviceModel.h"
#include "Tm4040FrameSplitter.h"
#include "Tm4040IrComm.h"
#include "Tm4040IrLapSecondary.h"
#include "Tm4040IrLmp.h"
#include "Tm4040IrTinyTp.h"
#include "Tm4040IrdaCounters.h"
#include "Tm4040IrdaFaults.h"

#include <QByteArray>
#include <QList>

#include <deque>
#include <functional>
#include <memory>

// One IrDA device in front of the dongle, without I/O: the IrLAP
// secondary, IrLMP with the IAS server, and on the IrCOMM service a
// TinyTP connection in nine-wire mode whose data are TM4040 command
// frames, answered by `handler`. A device made with `commands` off only
// answers discovery and refuses every connection (the other device in
// range).
class Tm4040IrDevice
{
public:
    using CommandHandler = std::function<Tm4040Answer(const QByteArray &frame)>;
    struct Config
    {
        quint32 address = 0;
        QByteArray nickname;
        quint8 commLsap = 0x0B;
        bool commands = true;
        quint32 seed = 1;
    };

    Tm4040IrDevice(const Config &config, CommandHandler handler);

    // Faults that concern the device: refusal, speed limit, busy spells.
    void applyFaults(const Tm4040IrdaFaults &faults, qint64 nowUs);

    void receive(const QByteArray &frame, qint64 nowUs);
    void onTimer(qint64 nowUs);
    qint64 nextDeadline() const;
    QList<Tm4040IrLapSecondary::Output> takeOutput() { return m_lap.takeOutput(); }

    bool isConnected() const { return m_lap.isConnected(); }
    int baud() const { return m_lap.baud(); }
    int extraBofs() const { return m_lap.extraBofs(); }
    int turnaroundUs() const { return m_lap.turnaroundUs(); }
    quint32 address() const { return m_lap.address(); }
    // Adds what this device counted to `counters`.
    void addCounters(Tm4040IrdaCounters *counters) const;

private:
    struct PendingAnswer
    {
        qint64 readyUs;
        QByteArray bytes;
    };

    void pump(qint64 nowUs);
    void handleLinkEvents();
    void handleServiceEvents(qint64 nowUs);
    void fillLink();
    void closeComm();
    void updateBusy(qint64 nowUs);

    Config m_config;
    CommandHandler m_handler;
    Tm4040IrLapSecondary m_lap;
    Tm4040IrLmp m_lmp;
    std::unique_ptr<Tm4040IrTinyTp> m_ttp;
    Tm4040IrComm m_comm;
    quint8 m_commPeer = 0;
    Tm4040FrameSplitter m_splitter;
    std::deque<PendingAnswer> m_answers;
    bool m_leaveAfterAnswer = false;
    bool m_gone = false; // left the beam: silent until the next discovery
    int m_commConnections = 0;

    Tm4040IrdaFaults m_faults;
    bool m_busyArmed = false;
    qint64 m_iFramesAtConnect = 0;
    qint64 m_busyUntil = -1;
};
