#include "irda/IrLapPrimary.h"

#include "irda/SirFrame.h"

namespace {

constexpr quint8 Broadcast = IrLapFrame::BroadcastAddress;
constexpr quint32 BroadcastDevice = 0xFFFFFFFF;

void appendAddress(QByteArray &bytes, quint32 address)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((address >> (8 * i)) & 0xFF));
}

quint32 addressAt(const QByteArray &bytes, int at)
{
    quint32 address = 0;
    for (int i = 0; i < 4; ++i)
        address |= quint32(quint8(bytes.at(at + i))) << (8 * i);
    return address;
}

quint8 slotCode(int count)
{
    switch (count) {
    case 1:
        return 0;
    case 8:
        return 2;
    case 16:
        return 3;
    default:
        return 1; // 6 slots
    }
}

int slotCount(int count)
{
    return count == 1 || count == 8 || count == 16 ? count : 6;
}

} // namespace

IrLapParameters IrLapPrimary::defaultOffer(int maxBaud)
{
    IrLapParameters offer;
    offer.baudRates = IrLapParameters::baudBitsUpTo(maxBaud);
    offer.maxTurnaround = 0x01; // 500 ms, which every station supports
    offer.dataSizes = 0x3F; // 64 to 2048 bytes
    offer.windowSizes = 0x7F; // 1 to 7 frames
    offer.additionalBofs = 0x80; // none needed
    offer.minTurnaround = 0x04; // 1 ms
    offer.linkDisconnect = 0x07; // 3, 8 or 12 s
    return offer;
}

IrLapPrimary::IrLapPrimary(const Config &config, IrMicros now)
    : m_config(config)
    , m_lastActivity(now)
{
    m_config.connectionAddress &= 0x7F;
    if (m_config.connectionAddress == 0 || m_config.connectionAddress == Broadcast)
        m_config.connectionAddress = 0x35;
}

QList<IrTransmission> IrLapPrimary::takeTransmit()
{
    QList<IrTransmission> out;
    out.swap(m_out);
    return out;
}

QList<IrLapEvent> IrLapPrimary::takeEvents()
{
    QList<IrLapEvent> events;
    events.swap(m_events);
    return events;
}

QList<QByteArray> IrLapPrimary::takeReceivedFrames()
{
    QList<QByteArray> frames;
    frames.swap(m_trace);
    return frames;
}

void IrLapPrimary::emitEvent(IrLapEvent::Kind kind, const QString &reason, const QByteArray &data)
{
    IrLapEvent event;
    event.kind = kind;
    event.reason = reason;
    event.data = data;
    m_events.append(event);
}

IrMicros IrLapPrimary::queue(const QByteArray &frame, int additionalBofs)
{
    IrTransmission transmission;
    transmission.frame = frame;
    transmission.line = SirFrame::encode(frame, additionalBofs);
    transmission.baud = m_lineBaud;
    m_out.append(transmission);
    ++m_stats.framesOut;
    return irLineTime(transmission.line.size(), m_lineBaud);
}

void IrLapPrimary::toNdm()
{
    m_state = State::Ndm;
    m_lineBaud = 9600;
    m_qos = IrLapQos();
    m_fDeadline = IrNever;
    m_slotDeadline = IrNever;
    m_haveToken = false;
    m_unacked.clear();
    m_txQueue.clear();
    m_remoteBusy = m_rejectPending = m_retransmit = m_disconnectRequested = false;
    m_vs = m_vr = m_va = 0;
}

void IrLapPrimary::reset()
{
    toNdm();
    m_deframer.reset();
}

// ---- receiving ----------------------------------------------------------

void IrLapPrimary::receiveBytes(const QByteArray &bytes, IrMicros now)
{
    if (bytes.isEmpty())
        return;
    m_lastActivity = now;
    m_deframer.receive(bytes);
    const QList<QByteArray> frames = m_deframer.takeFrames();
    for (const QByteArray &frame : frames)
        handleFrame(frame, now);
    onTimer(now);
}

void IrLapPrimary::handleFrame(const QByteArray &bytes, IrMicros now)
{
    ++m_stats.framesIn;
    if (m_tracing)
        m_trace.append(bytes);
    const IrLapFrame frame = IrLapFrame::parse(bytes);
    // A primary listens to responses only; a command comes from another
    // primary and is none of ours.
    if (frame.kind == IrLapFrame::Invalid || frame.command) {
        ++m_stats.rejected;
        return;
    }
    switch (m_state) {
    case State::Discovering:
        handleDiscoveryFrame(frame);
        break;
    case State::Connecting:
        handleConnectingFrame(frame, now);
        break;
    case State::Connected:
        handleConnectedFrame(frame, now);
        break;
    case State::Disconnecting:
        handleDisconnectingFrame(frame);
        break;
    case State::Ndm:
    case State::Sensing:
        break;
    }
}

void IrLapPrimary::handleDiscoveryFrame(const IrLapFrame &frame)
{
    if (frame.kind != IrLapFrame::Unnumbered || frame.type() != IrLapFrame::XidResponse
        || frame.connectionAddress != Broadcast) {
        ++m_stats.rejected;
        return;
    }
    // Format identifier, source, destination, flags, slot, version.
    const QByteArray &info = frame.info;
    if (info.size() < 12 || quint8(info.at(0)) != 0x01) {
        ++m_stats.rejected;
        return;
    }
    IrDiscoveredDevice device;
    device.address = addressAt(info, 1);
    const quint32 destination = addressAt(info, 5);
    if (destination != m_config.ownAddress || device.address == 0
        || device.address == BroadcastDevice
        || !IrDiscoveredDevice::parseInfo(info.mid(12), &device)) {
        ++m_stats.rejected;
        return;
    }
    for (const IrDiscoveredDevice &known : qAsConst(m_discovered)) {
        if (known.address == device.address)
            return;
    }
    m_discovered.append(device);
}

void IrLapPrimary::handleConnectingFrame(const IrLapFrame &frame, IrMicros now)
{
    if (frame.kind != IrLapFrame::Unnumbered
        || (frame.connectionAddress != m_config.connectionAddress
            && frame.connectionAddress != Broadcast)) {
        ++m_stats.rejected;
        return;
    }
    if (frame.type() == IrLapFrame::DM) {
        emitEvent(IrLapEvent::ConnectFailed, QStringLiteral("refused (DM)"));
        toNdm();
        return;
    }
    if (frame.type() != IrLapFrame::UA) {
        ++m_stats.rejected;
        return;
    }
    IrLapParameters theirs;
    if (frame.info.size() < 8 || addressAt(frame.info, 0) != m_target
        || addressAt(frame.info, 4) != m_config.ownAddress
        || !IrLapParameters::decode(frame.info.mid(8), &theirs)) {
        ++m_stats.rejected;
        return;
    }
    m_qos = IrLapQos::negotiate(m_config.offer, theirs);
    m_state = State::Connected;
    m_lineBaud = m_qos.baud;
    m_vs = m_vr = m_va = 0;
    m_unacked.clear();
    m_txQueue.clear();
    m_remoteBusy = m_rejectPending = m_retransmit = m_disconnectRequested = false;
    m_lastValidFrame = now;
    m_thresholdReported = false;
    m_idleExchanges = 0;
    m_fDeadline = IrNever;
    emitEvent(IrLapEvent::Connected);
    // The first frame at the new speed is ours: an RR with the P bit.
    takeToken(now);
}

bool IrLapPrimary::acknowledge(int nr)
{
    // Nr must lie between the oldest unacknowledged frame and the next to send.
    const int acked = (nr - m_va + 8) % 8;
    if (acked > (m_vs - m_va + 8) % 8)
        return false;
    for (int i = 0; i < acked && !m_unacked.isEmpty(); ++i)
        m_unacked.removeFirst();
    m_va = nr;
    return true;
}

void IrLapPrimary::handleConnectedFrame(const IrLapFrame &frame, IrMicros now)
{
    if (frame.connectionAddress != m_config.connectionAddress || m_haveToken) {
        ++m_stats.rejected;
        return;
    }
    if (frame.kind == IrLapFrame::Unnumbered) {
        switch (frame.type()) {
        case IrLapFrame::DM:
            emitEvent(IrLapEvent::Disconnected, QStringLiteral("disconnected by the device (DM)"));
            toNdm();
            return;
        case IrLapFrame::RD:
        case IrLapFrame::FRMR:
            // The device asks to end the link (or cannot go on): disconnect.
            m_disconnectRequested = true;
            m_lastValidFrame = now;
            if (frame.pollFinal)
                takeToken(now);
            return;
        default:
            ++m_stats.rejected;
            return;
        }
    }
    if (frame.kind == IrLapFrame::Supervisory && frame.type() == IrLapFrame::SREJ) {
        ++m_stats.rejected;
        return;
    }
    if (!acknowledge(frame.nr)) {
        ++m_stats.rejected;
        return;
    }
    m_lastValidFrame = now;
    m_thresholdReported = false;
    m_fDeadline = qMax(m_fDeadline, now + m_config.fTimeout);
    if (frame.kind == IrLapFrame::Information) {
        if (frame.ns == m_vr) {
            m_vr = (m_vr + 1) % 8;
            m_peerSentData = true;
            if (!frame.info.isEmpty())
                emitEvent(IrLapEvent::Data, QString(), frame.info);
        } else {
            // A frame went missing before this one: ask for it again.
            m_rejectPending = true;
        }
    } else if (frame.type() == IrLapFrame::RR) {
        m_remoteBusy = false;
    } else if (frame.type() == IrLapFrame::RNR) {
        m_remoteBusy = true;
    } else if (frame.type() == IrLapFrame::REJ) {
        m_remoteBusy = false;
        m_retransmit = !m_unacked.isEmpty();
    }
    if (frame.pollFinal)
        takeToken(now);
}

void IrLapPrimary::handleDisconnectingFrame(const IrLapFrame &frame)
{
    if (frame.connectionAddress != m_config.connectionAddress
        || frame.kind != IrLapFrame::Unnumbered
        || (frame.type() != IrLapFrame::UA && frame.type() != IrLapFrame::DM)) {
        return;
    }
    emitEvent(IrLapEvent::Disconnected);
    toNdm();
}

// ---- the turn of the primary ---------------------------------------------

void IrLapPrimary::takeToken(IrMicros now)
{
    m_haveToken = true;
    m_tokenAt = now;
    m_fDeadline = IrNever;
    // Frames we sent that the answer does not cover went missing.
    if (!m_unacked.isEmpty() && !m_remoteBusy)
        m_retransmit = true;
    const bool idle = !m_peerSentData && !m_weSentData;
    m_idleExchanges = idle ? m_idleExchanges + 1 : 0;
    m_peerSentData = m_weSentData = false;
}

bool IrLapPrimary::nothingToSend() const
{
    return !m_disconnectRequested && !m_retransmit && !m_rejectPending
        && (m_txQueue.isEmpty() || m_remoteBusy || m_unacked.size() >= m_qos.peerWindow);
}

IrMicros IrLapPrimary::turnTime() const
{
    IrMicros at = m_tokenAt + m_qos.peerMinTurnaround;
    // While nothing moves, poll at a calm pace; data waiting goes at once.
    if (nothingToSend() && (m_remoteBusy || m_idleExchanges >= m_config.idleExchangesBeforeDelay))
        at = qMax(at, m_tokenAt + m_config.idlePollDelay);
    return at;
}

void IrLapPrimary::takeTurn(IrMicros now)
{
    m_haveToken = false;
    // What was queued before the disconnect goes first, unless the peer
    // holds it up for long.
    if (m_disconnectRequested
        && ((m_txQueue.isEmpty() && m_unacked.isEmpty())
            || now - m_disconnectRequestedAt >= m_config.fTimeout * 2)) {
        m_state = State::Disconnecting;
        m_attempts = 0;
        sendDisc(now);
        return;
    }
    const quint8 ca = m_config.connectionAddress;
    const int bofs = m_qos.peerAdditionalBofs;
    // What may go out before the peer must have the line back.
    const qint64 capacity = qint64(m_qos.baud) / 10 * m_qos.maxTurnaround / IrSecond;
    QList<QByteArray> frames;
    qint64 bytes = 0;
    if (m_retransmit && !m_remoteBusy) {
        int ns = m_va;
        for (const QByteArray &info : qAsConst(m_unacked)) {
            frames.append(IrLapFrame::information(ca, true, ns, m_vr, false, info));
            bytes += info.size() + 8 + bofs;
            ns = (ns + 1) % 8;
            ++m_stats.retransmissions;
        }
    }
    m_retransmit = false;
    if (!m_remoteBusy) {
        while (!m_txQueue.isEmpty() && m_unacked.size() < m_qos.peerWindow
               && (frames.isEmpty() || bytes + m_txQueue.first().size() + 8 + bofs <= capacity)) {
            const QByteArray info = m_txQueue.takeFirst();
            frames.append(IrLapFrame::information(ca, true, m_vs, m_vr, false, info));
            bytes += info.size() + 8 + bofs;
            m_unacked.append(info);
            m_vs = (m_vs + 1) % 8;
        }
    }
    if (!frames.isEmpty())
        m_weSentData = true;
    if (frames.isEmpty() || m_rejectPending) {
        // A gap in what came in is asked for by a REJ of its own.
        const quint8 type = m_rejectPending ? IrLapFrame::REJ : IrLapFrame::RR;
        frames.append(IrLapFrame::supervisory(ca, true, type, m_vr, true));
    } else {
        // The P bit goes on the last frame of the window.
        frames.last()[1] = char(quint8(frames.last().at(1)) | IrLapFrame::PollFinal);
    }
    m_rejectPending = false;
    IrMicros lineTime = 0;
    for (const QByteArray &frame : qAsConst(frames))
        lineTime += queue(frame, bofs);
    m_fDeadline = now + lineTime + m_config.fTimeout;
}

// ---- timers ---------------------------------------------------------------

IrMicros IrLapPrimary::answerDeadline() const
{
    // The F timer does not run out while the answer is still coming in: at
    // low speed a long frame takes longer than the timer.
    const IrMicros quiet = qMax(20 * IrMillisecond, irLineTime(20, m_lineBaud));
    return m_fDeadline == IrNever ? IrNever : qMax(m_fDeadline, m_lastActivity + quiet);
}

IrMicros IrLapPrimary::nextDeadline() const
{
    switch (m_state) {
    case State::Sensing:
        return qMin(m_lastActivity + m_config.mediaSense, m_sensingSince + m_config.mediaBusyLimit);
    case State::Discovering:
        return m_slotDeadline;
    case State::Connected:
        return m_haveToken ? turnTime() : answerDeadline();
    case State::Connecting:
    case State::Disconnecting:
        return answerDeadline();
    case State::Ndm:
        break;
    }
    return IrNever;
}

void IrLapPrimary::onTimer(IrMicros now)
{
    switch (m_state) {
    case State::Sensing:
        if (now - m_lastActivity >= m_config.mediaSense) {
            m_state = State::Discovering;
            m_slot = 0;
            sendXid(now);
        } else if (now - m_sensingSince >= m_config.mediaBusyLimit) {
            finishDiscovery(QStringLiteral("media busy"));
        }
        break;
    case State::Discovering:
        if (now < m_slotDeadline)
            break;
        // A response still coming in belongs to this slot.
        if (m_deframer.inFrame() && now - m_lastActivity < 10 * IrMillisecond) {
            m_slotDeadline = m_lastActivity + 10 * IrMillisecond;
            break;
        }
        if (m_slot == 0xFF) {
            finishDiscovery(QString());
            break;
        }
        m_slot = m_slot + 1 >= slotCount(m_config.discoverySlots) ? 0xFF : m_slot + 1;
        sendXid(now);
        break;
    case State::Connecting:
        if (now < answerDeadline())
            break;
        if (++m_attempts < m_config.connectAttempts) {
            sendSnrm(now);
        } else {
            emitEvent(IrLapEvent::ConnectFailed, QStringLiteral("no answer to SNRM"));
            toNdm();
        }
        break;
    case State::Connected:
        if (m_haveToken) {
            if (now >= turnTime())
                takeTurn(now);
            break;
        }
        if (now < answerDeadline())
            break;
        ++m_stats.pollTimeouts;
        if (m_disconnectRequested) {
            // Leaving anyway: no need to wait for the answer to the last poll.
            m_state = State::Disconnecting;
            m_attempts = 0;
            sendDisc(now);
            break;
        }
        if (now - m_lastValidFrame >= m_qos.disconnectTime) {
            emitEvent(IrLapEvent::LinkLost,
                      QStringLiteral("no answer for %1 s").arg(m_qos.disconnectTime / IrSecond));
            toNdm();
            break;
        }
        if (m_qos.thresholdTime > 0 && !m_thresholdReported
            && now - m_lastValidFrame >= m_qos.thresholdTime) {
            m_thresholdReported = true;
            emitEvent(IrLapEvent::Threshold);
        }
        // Poll again; the answer's Nr tells what to send again.
        m_rejectPending = false;
        m_idleExchanges = 0;
        queue(IrLapFrame::supervisory(m_config.connectionAddress, true, IrLapFrame::RR, m_vr, true),
              m_qos.peerAdditionalBofs);
        m_fDeadline = now + m_config.fTimeout;
        break;
    case State::Disconnecting:
        if (now < answerDeadline())
            break;
        if (++m_attempts < m_config.disconnectAttempts) {
            sendDisc(now);
        } else {
            emitEvent(IrLapEvent::Disconnected, QStringLiteral("no answer to DISC"));
            toNdm();
        }
        break;
    case State::Ndm:
        break;
    }
}

// ---- services -------------------------------------------------------------

bool IrLapPrimary::startDiscovery(IrMicros now)
{
    if (m_state != State::Ndm)
        return false;
    m_discovered.clear();
    m_state = State::Sensing;
    m_sensingSince = now;
    onTimer(now);
    return true;
}

void IrLapPrimary::finishDiscovery(const QString &reason)
{
    IrLapEvent event;
    event.kind = IrLapEvent::DiscoveryDone;
    event.devices = m_discovered;
    event.reason = reason;
    m_events.append(event);
    m_state = State::Ndm;
    m_slotDeadline = IrNever;
}

void IrLapPrimary::sendXid(IrMicros now)
{
    QByteArray info;
    info.append(char(0x01)); // format identifier
    appendAddress(info, m_config.ownAddress);
    appendAddress(info, BroadcastDevice);
    info.append(char(slotCode(m_config.discoverySlots)));
    info.append(char(m_slot));
    info.append(char(0x00)); // version
    if (m_slot == 0xFF)
        info.append(m_config.discoveryInfo);
    const IrMicros lineTime = queue(
        IrLapFrame::build(Broadcast, true, IrLapFrame::XidCommand | IrLapFrame::PollFinal, info),
        m_config.ndmAdditionalBofs);
    m_slotDeadline = now + lineTime + (m_slot == 0xFF ? 0 : m_config.slotTime);
}

bool IrLapPrimary::connectTo(quint32 address, IrMicros now)
{
    if (m_state != State::Ndm)
        return false;
    m_target = address;
    m_attempts = 0;
    m_state = State::Connecting;
    sendSnrm(now);
    return true;
}

void IrLapPrimary::sendSnrm(IrMicros now)
{
    QByteArray info;
    appendAddress(info, m_config.ownAddress);
    appendAddress(info, m_target);
    info.append(char(m_config.connectionAddress << 1));
    info.append(m_config.offer.encode());
    const IrMicros lineTime
        = queue(IrLapFrame::build(Broadcast, true, IrLapFrame::SNRM | IrLapFrame::PollFinal, info),
                m_config.ndmAdditionalBofs);
    m_fDeadline = now + lineTime + m_config.fTimeout;
}

void IrLapPrimary::sendDisc(IrMicros now)
{
    const IrMicros lineTime = queue(IrLapFrame::build(m_config.connectionAddress, true,
                                                      IrLapFrame::DISC | IrLapFrame::PollFinal),
                                    m_qos.peerAdditionalBofs);
    m_fDeadline = now + lineTime + m_config.fTimeout;
}

bool IrLapPrimary::send(const QByteArray &info)
{
    if (m_state != State::Connected || m_disconnectRequested || info.isEmpty()
        || info.size() > m_qos.peerDataSize) {
        return false;
    }
    m_txQueue.append(info);
    return true;
}

void IrLapPrimary::disconnect(IrMicros now)
{
    switch (m_state) {
    case State::Connected:
        if (!m_disconnectRequested)
            m_disconnectRequestedAt = now;
        m_disconnectRequested = true;
        onTimer(now);
        break;
    case State::Connecting:
    case State::Sensing:
    case State::Discovering:
        toNdm();
        break;
    case State::Ndm:
    case State::Disconnecting:
        break;
    }
}
