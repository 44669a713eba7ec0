#pragma once

#include "irda/IrDiscoveredDevice.h"
#include "irda/IrLapPrimary.h"
#include "irda/IrLmpMux.h"
#include "irda/IrTime.h"
#include "irda/IrTransmission.h"
#include "irda/TinyTpChannel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A byte stream to a device's IrCOMM service over the infrared stack, as
// the primary, without I/O. open() discovers the devices in range (up to
// a number of rounds, a pause apart) and tries each in the order found:
// link connection, a query of its IAS for the service's Tiny TP selector,
// the LSAP connection with the nine-wire parameters. Each device that
// refuses leaves a reason. Once open, write() and takeReceived() move the
// user data; close() disconnects.
//
// The driver feeds line bytes and the time (receiveBytes, onTimer), sends
// what takeTransmit() gives at lineBaud(), and sleeps until nextDeadline()
// or the next bytes.
class IrCommClient
{
public:
    struct Config
    {
        IrLapPrimary::Config lap;
        QByteArray className = "IrDA:IrCOMM";
        QByteArray attribute = "IrDA:TinyTP:LsapSel";
        QByteArray deviceName = "orvane"; // what our IAS tells a peer
        int discoveryRounds = 3;
        IrMicros roundPause = 200 * IrMillisecond;
        IrMicros stepTimeout = 3 * IrSecond; // LSAP connect, IAS answer
        bool nineWire = true;
        int receiveCredit = 20;
        quint8 iasLsap = 0x12;
        quint8 commLsap = 0x13;
    };

    enum class State { Idle, Opening, Open, Closing, Closed, Failed, Lost };

    struct Refusal
    {
        IrDiscoveredDevice device;
        QString reason;
    };

    IrCommClient(const Config &config, IrMicros now);
    ~IrCommClient();

    void receiveBytes(const QByteArray &bytes, IrMicros now);
    void onTimer(IrMicros now);
    IrMicros nextDeadline() const;
    QList<IrTransmission> takeTransmit() { return m_lap.takeTransmit(); }
    int lineBaud() const { return m_lap.lineBaud(); }
    // The line went away under us.
    void lineFailed(const QString &reason);

    bool open(IrMicros now);
    void close(IrMicros now);
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    // Why the last open failed or the link ended.
    QString failure() const { return m_failure; }
    QList<Refusal> takeRefusals();
    // Notes for the log (devices found, link terms, faults).
    QStringList takeNotes();
    QList<IrDiscoveredDevice> devices() const { return m_devices; }

    // Queues user data; false unless open.
    bool write(const QByteArray &data);
    // Everything written went out and the device acknowledged it.
    bool writeDrained() const;
    QByteArray takeReceived();
    int bytesAvailable() const { return m_received.size(); }

    IrLapPrimary &lap() { return m_lap; }
    const IrLapPrimary &lap() const { return m_lap; }

private:
    enum class Step { None, Pause, Discovery, Link, IasConnect, IasQuery, CommConnect, Unlink };

    void process(IrMicros now);
    void handleLapEvent(const IrLapEvent &event, IrMicros now);
    void handleIndication(const IrLmpMux::Indication &indication, IrMicros now);
    void handleCommData(const QByteArray &pdu);
    void startRound(IrMicros now);
    void tryDevice(IrMicros now);
    void refuse(const QString &reason, IrMicros now);
    void nextDevice(IrMicros now);
    void fail(const QString &reason);
    void pump();
    void note(const QString &text) { m_notes.append(text); }

    Config m_config;
    IrLapPrimary m_lap;
    IrLmpMux m_lmp;
    std::optional<TinyTpChannel> m_ttp;
    State m_state = State::Idle;
    Step m_step = Step::None;
    IrMicros m_stepDeadline = IrNever;
    int m_round = 0;
    QList<IrDiscoveredDevice> m_devices;
    int m_deviceIndex = 0;
    QList<Refusal> m_refusals;
    QStringList m_notes;
    QString m_failure;
    QByteArray m_received;
    bool m_inProcess = false;
};
