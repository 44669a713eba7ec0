#pragma once

#include "Tm4040IrQos.h"

#include <QByteArray>
#include <QList>

#include <deque>
#include <random>

// The IrLAP secondary station of the emulated dosimeter, without I/O: it
// takes whole frames (address, control, information; FCS already checked
// and removed) with the time they came, and gives the frames to send with
// the speed each goes out at.
//
// Disconnected (NDM) it answers discovery (XID) in a slot of its choice and
// a connection request (SNRM) addressed to it with UA and the negotiated
// parameters, then changes speed; or with DM when it refuses. Connected
// (NRM) it takes I-frames in sequence (Ns/Nr modulo 8), answers every poll
// with its queued I-frames or with RR, RNR (busy) or REJ (a frame was out
// of sequence), sends again what the primary's Nr shows as lost, answers
// DISC with UA, and drops the link when the primary has not been heard for
// the negotiated disconnect time (WD-timer).
//
// A poll is answered by respond(), so the layers above can first put the
// answer to what the poll brought into the queue.
class Tm4040IrLapSecondary
{
public:
    struct Config
    {
        quint32 address = 0;
        // Service hints, character set and nickname for XID responses.
        QByteArray discoveryInfo;
        Tm4040IrQos offer;
        bool refuse = false;
        // Discovery: answer in the first slot heard, or in a random slot
        // not below `lowestSlot`.
        bool firstSlot = false;
        int lowestSlot = 0;
        quint32 seed = 1;
    };
    struct Output
    {
        QByteArray frame;
        int baud = 9600;
    };
    enum class Event { Connected, Disconnected, LinkLost };
    struct Stats
    {
        qint64 iFramesReceived = 0;
        qint64 iFramesSent = 0;
        qint64 retransmissions = 0;
        qint64 rnrSent = 0;
        qint64 rejSent = 0;
        qint64 protocolErrors = 0;
        int discoveryAnswers = 0;
        int connections = 0;
        int refusals = 0;
        int disconnects = 0;
        int linkLosses = 0;
    };

    explicit Tm4040IrLapSecondary(const Config &config);

    void setRefuse(bool refuse) { m_config.refuse = refuse; }
    void setOffer(const Tm4040IrQos &offer) { m_config.offer = offer; }
    void setLocalBusy(bool busy) { m_localBusy = busy; }
    quint32 address() const { return m_config.address; }

    void receive(const QByteArray &frame, qint64 nowUs);
    // Answers a poll received since the last call, if any.
    void respond(qint64 nowUs);
    void onTimer(qint64 nowUs);
    // When onTimer() must run next; -1: no timer.
    qint64 nextDeadline() const;
    // Leaves the link without a word (the device left the beam).
    void vanish();

    QList<Output> takeOutput();
    QList<Event> takeEvents();
    // Information fields of the I-frames taken, in order.
    QList<QByteArray> takeReceived();
    // Whether the last frame received ended the primary's turn (P bit).
    bool lastFrameHadPoll() const { return m_lastPoll; }

    bool isConnected() const { return m_connected; }
    int baud() const { return m_connected ? m_negotiated.baudRate() : 9600; }
    // The primary's limits for what we send, and its extra BOFs. A frame
    // also fits the line's capacity: what the link's speed carries in the
    // shorter of the two maximum turnaround times (5/6 of the raw rate).
    int lineCapacity() const;
    int maxInfoSize() const;
    int window() const { return m_primary.windowFrames(); }
    int extraBofs() const;
    // How long the primary needs between its transmission and ours.
    int turnaroundUs() const { return m_connected ? m_primary.minTurnaroundUs() : 10000; }
    const Tm4040IrQos &negotiated() const { return m_negotiated; }
    const Stats &stats() const { return m_stats; }

    // Queues the information field of an I-frame to send.
    void queueData(const QByteArray &information);
    // Frames queued or sent and not yet acknowledged.
    int pendingFrames() const { return int(m_queue.size() + m_unacked.size()); }

private:
    void receiveDisconnected(quint8 address, quint8 control, const QByteArray &information);
    void receiveConnected(quint8 control, const QByteArray &information);
    void answerDiscovery(const QByteArray &information);
    void answerConnection(const QByteArray &information);
    bool acknowledge(int nr);
    void send(quint8 control, const QByteArray &information = QByteArray(), int baud = 0);
    void leave(Event event);

    Config m_config;
    std::mt19937 m_random;
    QList<Output> m_output;
    QList<Event> m_events;
    QList<QByteArray> m_received;
    Stats m_stats;

    // Discovery in progress.
    bool m_discovering = false;
    quint32 m_discoverer = 0;
    int m_lastSlot = -1;
    int m_slot = 0;
    bool m_answered = false;

    // The link.
    bool m_connected = false;
    quint8 m_connectionAddress = 0; // 7 bits
    quint8 m_lastConnectionAddress = 0xFF;
    Tm4040IrQos m_primary;
    Tm4040IrQos m_negotiated;
    int m_vs = 0;
    int m_vr = 0;
    std::deque<QByteArray> m_unacked; // from Ns = m_va on
    int m_va = 0;
    std::deque<QByteArray> m_queue;
    bool m_pollPending = false;
    bool m_lastPoll = false;
    bool m_outOfSequence = false;
    bool m_localBusy = false;
    bool m_remoteBusy = false;
    qint64 m_watchdogDeadline = -1;
};
