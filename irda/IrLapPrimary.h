#pragma once

#include "irda/IrDiscoveredDevice.h"
#include "irda/IrLapEvent.h"
#include "irda/IrLapFrame.h"
#include "irda/IrLapParameters.h"
#include "irda/IrLapQos.h"
#include "irda/IrTime.h"
#include "irda/IrTransmission.h"
#include "irda/SirDeframer.h"

#include <QByteArray>
#include <QList>

// The primary station of the infrared link access protocol, without I/O:
// line bytes and the time go in (receiveBytes, onTimer), line bytes come
// out (takeTransmit) with the speed to send them at (lineBaud), and the
// layer above gets events (takeEvents).
//
// It discovers devices with XID frames after sensing the medium idle,
// connects with SNRM/UA and the negotiated parameters, changes the speed
// after UA, moves information frames in windows with Ns/Nr modulo 8 and the
// P/F bit, answers the secondary's final frame as soon as its minimum
// turnaround allows, polls it while idle, retransmits after the F timer,
// REJ or a short Nr, takes RR/RNR/REJ, loses the link after the disconnect
// time without an answer and disconnects with DISC. Frames that break the
// rules (wrong address, wrong Nr, unexpected type) are dropped.
class IrLapPrimary
{
public:
    struct Config
    {
        quint32 ownAddress = 0x2A4F5256;
        quint8 connectionAddress = 0x35; // 1 to 0x7E
        int discoverySlots = 6; // 1, 6, 8 or 16
        QByteArray discoveryInfo; // hints, character set, nickname
        IrLapParameters offer = defaultOffer(115200);
        IrMicros mediaSense = 500 * IrMillisecond;
        IrMicros mediaBusyLimit = 3 * IrSecond;
        IrMicros slotTime = 80 * IrMillisecond;
        IrMicros fTimeout = 500 * IrMillisecond;
        IrMicros idlePollDelay = 30 * IrMillisecond;
        int idleExchangesBeforeDelay = 3;
        int connectAttempts = 3;
        int disconnectAttempts = 3;
        int ndmAdditionalBofs = 10;
    };

    enum class State { Ndm, Sensing, Discovering, Connecting, Connected, Disconnecting };

    struct Stats
    {
        int framesIn = 0;
        int framesOut = 0;
        int retransmissions = 0; // I-frames sent again
        int pollTimeouts = 0; // F timer expiries
        int rejected = 0; // frames dropped for breaking the rules
    };

    // What the primary offers: every speed up to maxBaud, 500 ms turnaround,
    // up to 2048-byte frames, a window of 7, no extra BOFs, 1 ms minimum
    // turnaround, disconnect after 3, 8 or 12 s.
    static IrLapParameters defaultOffer(int maxBaud);

    IrLapPrimary(const Config &config, IrMicros now);

    void receiveBytes(const QByteArray &bytes, IrMicros now);
    void onTimer(IrMicros now);
    IrMicros nextDeadline() const;
    QList<IrTransmission> takeTransmit();
    QList<IrLapEvent> takeEvents();
    // Frames received since the last call (for the log), when tracing.
    QList<QByteArray> takeReceivedFrames();
    void setTracing(bool on) { m_tracing = on; }
    int lineBaud() const { return m_lineBaud; }

    bool startDiscovery(IrMicros now);
    bool connectTo(quint32 address, IrMicros now);
    // Queues one information field (at most maxInfoSize() bytes).
    bool send(const QByteArray &info);
    void disconnect(IrMicros now);
    // Forgets the connection at once (the line is gone).
    void reset();

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }
    const IrLapQos &qos() const { return m_qos; }
    int maxInfoSize() const { return m_qos.peerDataSize; }
    // Information fields queued or sent and not yet acknowledged.
    int pendingFrames() const { return m_txQueue.size() + m_unacked.size(); }
    const Stats &stats() const { return m_stats; }
    quint32 peerAddress() const { return m_target; }

private:
    void handleFrame(const QByteArray &bytes, IrMicros now);
    void handleDiscoveryFrame(const IrLapFrame &frame);
    void handleConnectingFrame(const IrLapFrame &frame, IrMicros now);
    void handleConnectedFrame(const IrLapFrame &frame, IrMicros now);
    void handleDisconnectingFrame(const IrLapFrame &frame);
    bool acknowledge(int nr);
    void takeToken(IrMicros now);
    IrMicros turnTime() const;
    IrMicros answerDeadline() const;
    void takeTurn(IrMicros now);
    void sendXid(IrMicros now);
    void sendSnrm(IrMicros now);
    void sendDisc(IrMicros now);
    IrMicros queue(const QByteArray &frame, int additionalBofs);
    void finishDiscovery(const QString &reason);
    void toNdm();
    void emitEvent(IrLapEvent::Kind kind, const QString &reason = QString(),
                   const QByteArray &data = QByteArray());
    bool nothingToSend() const;

    Config m_config;
    State m_state = State::Ndm;
    SirDeframer m_deframer;
    QList<IrTransmission> m_out;
    QList<IrLapEvent> m_events;
    QList<QByteArray> m_trace;
    bool m_tracing = false;
    Stats m_stats;
    int m_lineBaud = 9600;
    IrMicros m_lastActivity = 0;

    // Discovery.
    IrMicros m_sensingSince = 0;
    int m_slot = 0;
    IrMicros m_slotDeadline = IrNever;
    QList<IrDiscoveredDevice> m_discovered;

    // Connection.
    quint32 m_target = 0;
    int m_attempts = 0;
    IrLapQos m_qos;
    IrMicros m_fDeadline = IrNever;
    IrMicros m_lastValidFrame = 0;
    bool m_thresholdReported = false;
    bool m_haveToken = false;
    IrMicros m_tokenAt = 0;
    int m_vs = 0;
    int m_vr = 0;
    int m_va = 0; // oldest unacknowledged Ns
    QList<QByteArray> m_unacked;
    QList<QByteArray> m_txQueue;
    bool m_remoteBusy = false;
    bool m_rejectPending = false;
    bool m_retransmit = false;
    bool m_disconnectRequested = false;
    IrMicros m_disconnectRequestedAt = 0;
    bool m_peerSentData = false;
    bool m_weSentData = false;
    int m_idleExchanges = 0;
};
