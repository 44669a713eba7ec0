#include "Tm4040IrLapSecondary.h"

#include <utility>

namespace {

const quint8 PollFinal = 0x10;
const quint8 BroadcastCommand = 0xFF; // address 7F, C/R set
const quint8 BroadcastResponse = 0xFE;

// Unnumbered frames, P/F bit clear.
const quint8 Snrm = 0x83;
const quint8 Disc = 0x43;
const quint8 Ua = 0x63;
const quint8 Dm = 0x0F;
const quint8 XidCommand = 0x2F;
const quint8 XidResponse = 0xAF;
const quint8 Test = 0xE3;
const quint8 Ui = 0x03;
// Supervisory frames, Nr and P/F clear.
const quint8 Rr = 0x01;
const quint8 Rnr = 0x05;
const quint8 Rej = 0x09;

const quint32 AnyDevice = 0xFFFFFFFF;
// Address, control, FCS, BOF and EOF around the information field.
const int FrameOverhead = 6;
const int SlotCounts[] = {1, 6, 8, 16};

quint32 readAddress(const QByteArray &bytes, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | quint8(bytes.at(at + i));
    return value;
}

void appendAddress(QByteArray *bytes, quint32 address)
{
    for (int i = 0; i < 4; ++i)
        bytes->append(char(address >> (8 * i)));
}

} // namespace

Tm4040IrLapSecondary::Tm4040IrLapSecondary(const Config &config)
    : m_config(config)
    , m_random(config.seed)
{ }

int Tm4040IrLapSecondary::lineCapacity() const
{
    const int turnaroundMs = qMin(m_primary.maxTurnaroundMs(), m_negotiated.maxTurnaroundMs());
    return baud() * turnaroundMs / 12000;
}

int Tm4040IrLapSecondary::maxInfoSize() const
{
    // 64 bytes are always allowed; address, control, FCS, BOF and EOF take 6.
    return qMax(64, qMin(m_primary.dataSizeBytes(), lineCapacity() - FrameOverhead));
}

int Tm4040IrLapSecondary::extraBofs() const
{
    return m_connected ? m_primary.extraBofsAt(baud()) : Tm4040IrQos().extraBofsAt(9600);
}

void Tm4040IrLapSecondary::send(quint8 control, const QByteArray &information, int baud)
{
    const quint8 address = m_connected ? quint8(m_connectionAddress << 1) : BroadcastResponse;
    Output output;
    output.frame.append(char(address));
    output.frame.append(char(control));
    output.frame.append(information);
    output.baud = baud > 0 ? baud : this->baud();
    m_output.append(output);
}

void Tm4040IrLapSecondary::receive(const QByteArray &frame, qint64 nowUs)
{
    if (frame.size() < 2)
        return;
    const quint8 address = quint8(frame.at(0));
    const quint8 control = quint8(frame.at(1));
    // Responses of other stations are not for us.
    if (!(address & 1))
        return;
    const QByteArray information = frame.mid(2);
    if (m_connected && (control & ~PollFinal) == Snrm && information.size() >= 8
        && readAddress(information, 4) == m_config.address) {
        // A new connection request for us ends the old link (the primary
        // lost our UA and starts again).
        leave(Event::Disconnected);
    }
    if (!m_connected) {
        receiveDisconnected(address, control, information);
    } else if ((address >> 1) == m_connectionAddress) {
        m_lastPoll = control & PollFinal;
        receiveConnected(control, information);
    } else {
        return;
    }
    // Every frame of the primary on our link holds the WD-timer off.
    if (m_connected)
        m_watchdogDeadline = nowUs + qint64(m_negotiated.disconnectSeconds()) * 1000000;
}

void Tm4040IrLapSecondary::receiveDisconnected(quint8 address, quint8 control,
                                               const QByteArray &information)
{
    const quint8 command = control & ~PollFinal;
    if (command == XidCommand && address == BroadcastCommand) {
        answerDiscovery(information);
    } else if (command == Snrm && (control & PollFinal)) {
        answerConnection(information);
    } else if (command == Disc && (address >> 1) == m_lastConnectionAddress) {
        // A primary that missed our UA to its DISC asks again.
        const quint8 response = quint8(m_lastConnectionAddress << 1);
        m_output.append({QByteArray(1, char(response)) + char(Dm | PollFinal), 9600});
    }
}

void Tm4040IrLapSecondary::answerDiscovery(const QByteArray &information)
{
    // Format identifier, source, destination, flags, slot, version.
    if (information.size() < 12 || information.at(0) != 0x01)
        return;
    const quint32 source = readAddress(information, 1);
    const quint32 destination = readAddress(information, 5);
    const quint8 flags = quint8(information.at(9));
    const int slot = quint8(information.at(10));
    if (destination != AnyDevice && destination != m_config.address)
        return;
    if (slot == 0xFF) {
        m_discovering = false;
        return;
    }
    const int slots = SlotCounts[flags & 0x03];
    if (slot >= slots)
        return;
    if (!m_discovering || source != m_discoverer || slot <= m_lastSlot) {
        m_discovering = true;
        m_discoverer = source;
        m_answered = false;
        if (flags & 0x04) { // address conflict: every device draws a new one
            do
                m_config.address = quint32(m_random());
            while (m_config.address == 0 || m_config.address == AnyDevice);
        }
        if (m_config.firstSlot) {
            m_slot = slot;
        } else {
            const int lowest = qMin(qMax(m_config.lowestSlot, slot), slots - 1);
            m_slot = lowest + int(m_random() % unsigned(slots - lowest));
        }
    }
    m_lastSlot = slot;
    if (m_answered || slot < m_slot)
        return;
    m_answered = true;
    QByteArray answer;
    answer.append(char(0x01));
    appendAddress(&answer, m_config.address);
    appendAddress(&answer, source);
    answer.append(char(flags & 0x03));
    answer.append(char(slot));
    answer.append(char(0x00)); // version
    answer.append(m_config.discoveryInfo);
    m_output.append(
        {QByteArray(1, char(BroadcastResponse)) + char(XidResponse | PollFinal) + answer, 9600});
    ++m_stats.discoveryAnswers;
}

void Tm4040IrLapSecondary::answerConnection(const QByteArray &information)
{
    // Source, destination, connection address, negotiation parameters.
    if (information.size() < 9)
        return;
    const quint32 source = readAddress(information, 0);
    const quint32 destination = readAddress(information, 4);
    const quint8 connectionAddress = quint8(information.at(8)) >> 1;
    Tm4040IrQos offer;
    if (destination != m_config.address || connectionAddress == 0x7F || connectionAddress == 0
        || !Tm4040IrQos::parse(information.mid(9), &offer))
        return;
    m_discovering = false;
    const QByteArray address(1, char(connectionAddress << 1));
    if (m_config.refuse) {
        m_output.append({address + char(Dm | PollFinal), 9600});
        ++m_stats.refusals;
        return;
    }
    m_primary = offer;
    m_negotiated = m_config.offer.answer(offer);
    QByteArray answer;
    appendAddress(&answer, m_config.address);
    appendAddress(&answer, source);
    answer.append(m_negotiated.encode());
    // The UA still goes at 9600; everything after it at the new speed.
    m_output.append({address + char(Ua | PollFinal) + answer, 9600});
    m_connected = true;
    m_connectionAddress = connectionAddress;
    m_lastConnectionAddress = connectionAddress;
    m_vr = m_va = 0;
    m_unacked.clear();
    m_queue.clear();
    m_pollPending = m_outOfSequence = m_remoteBusy = false;
    ++m_stats.connections;
    m_events.append(Event::Connected);
}

bool Tm4040IrLapSecondary::acknowledge(int nr)
{
    const int outstanding = int(m_unacked.size());
    const int acked = (nr - m_va + 8) % 8;
    if (acked > outstanding) {
        ++m_stats.protocolErrors;
        return false;
    }
    for (int i = 0; i < acked; ++i)
        m_unacked.pop_front();
    m_va = nr;
    return true;
}

void Tm4040IrLapSecondary::receiveConnected(quint8 control, const QByteArray &information)
{
    const bool poll = control & PollFinal;
    if ((control & 0x01) == 0) {
        const int ns = (control >> 1) & 0x07;
        if (acknowledge(control >> 5)) {
            if (m_localBusy) {
                // Not taken; the primary sends it again after the busy spell.
            } else if (ns == m_vr) {
                m_received.append(information);
                m_vr = (m_vr + 1) % 8;
                ++m_stats.iFramesReceived;
            } else {
                m_outOfSequence = true;
            }
        }
    } else if ((control & 0x03) == 0x01) {
        if (acknowledge(control >> 5))
            m_remoteBusy = (control & 0x0C) == (Rnr & 0x0C);
    } else {
        const quint8 command = control & ~PollFinal;
        if (command == Disc) {
            send(Ua | PollFinal);
            ++m_stats.disconnects;
            leave(Event::Disconnected);
            return;
        }
        if (command == Test && poll) {
            send(Test | PollFinal, information);
            return;
        }
        if (command != Ui && command != XidCommand)
            ++m_stats.protocolErrors;
    }
    if (poll)
        m_pollPending = true;
}

void Tm4040IrLapSecondary::respond(qint64)
{
    if (!m_connected || !m_pollPending)
        return;
    m_pollPending = false;
    const quint8 nr = quint8(m_vr << 5);
    QList<QByteArray> burst;
    QList<int> numbers;
    if (!m_remoteBusy) {
        // What the primary's Nr shows as lost goes again, then new frames,
        // within its window and what the line carries in one turn.
        const int capacity = lineCapacity();
        int bytes = 0;
        for (size_t i = 0; i < m_unacked.size(); ++i) {
            burst.append(m_unacked[i]);
            numbers.append((m_va + int(i)) % 8);
            bytes += m_unacked[i].size() + FrameOverhead;
        }
        m_stats.retransmissions += burst.size();
        while (!m_queue.empty() && int(m_unacked.size()) < window()
               && (burst.isEmpty()
                   || bytes + int(m_queue.front().size()) + FrameOverhead <= capacity)) {
            numbers.append((m_va + int(m_unacked.size())) % 8);
            m_unacked.push_back(m_queue.front());
            burst.append(m_queue.front());
            bytes += int(m_queue.front().size()) + FrameOverhead;
            m_queue.pop_front();
            ++m_stats.iFramesSent;
        }
    }
    if (burst.isEmpty()) {
        quint8 kind = Rr;
        if (m_localBusy) {
            kind = Rnr;
            ++m_stats.rnrSent;
        } else if (m_outOfSequence) {
            kind = Rej;
            ++m_stats.rejSent;
        }
        send(quint8(kind | nr | PollFinal));
    } else {
        for (int i = 0; i < burst.size(); ++i) {
            const bool last = i == burst.size() - 1;
            send(quint8(nr | numbers.at(i) << 1 | (last ? PollFinal : 0)), burst.at(i));
        }
    }
    m_outOfSequence = false;
}

void Tm4040IrLapSecondary::onTimer(qint64 nowUs)
{
    if (m_connected && m_watchdogDeadline >= 0 && nowUs >= m_watchdogDeadline) {
        ++m_stats.linkLosses;
        leave(Event::LinkLost);
    }
}

qint64 Tm4040IrLapSecondary::nextDeadline() const
{
    return m_connected ? m_watchdogDeadline : -1;
}

void Tm4040IrLapSecondary::vanish()
{
    if (m_connected)
        leave(Event::LinkLost);
    m_discovering = false;
}

void Tm4040IrLapSecondary::leave(Event event)
{
    m_connected = false;
    m_unacked.clear();
    m_queue.clear();
    m_pollPending = false;
    m_watchdogDeadline = -1;
    m_events.append(event);
}

void Tm4040IrLapSecondary::queueData(const QByteArray &information)
{
    if (m_connected)
        m_queue.push_back(information);
}

QList<Tm4040IrLapSecondary::Output> Tm4040IrLapSecondary::takeOutput()
{
    return std::exchange(m_output, {});
}

QList<Tm4040IrLapSecondary::Event> Tm4040IrLapSecondary::takeEvents()
{
    return std::exchange(m_events, {});
}

QList<QByteArray> Tm4040IrLapSecondary::takeReceived()
{
    return std::exchange(m_received, {});
}
