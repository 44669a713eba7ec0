#include "irda/IrCommClient.h"

#include "irda/IasMessage.h"
#include "irda/IrCommNineWire.h"

IrCommClient::IrCommClient(const Config &config, IrMicros now)
    : m_config(config)
    , m_lap(config.lap, now)
    , m_lmp(config.deviceName)
{ }

IrCommClient::~IrCommClient() = default;

QList<IrCommClient::Refusal> IrCommClient::takeRefusals()
{
    QList<Refusal> refusals;
    refusals.swap(m_refusals);
    return refusals;
}

QStringList IrCommClient::takeNotes()
{
    QStringList notes;
    notes.swap(m_notes);
    return notes;
}

QByteArray IrCommClient::takeReceived()
{
    QByteArray received;
    received.swap(m_received);
    return received;
}

IrMicros IrCommClient::nextDeadline() const
{
    return qMin(m_lap.nextDeadline(), m_stepDeadline);
}

void IrCommClient::receiveBytes(const QByteArray &bytes, IrMicros now)
{
    m_lap.receiveBytes(bytes, now);
    process(now);
}

void IrCommClient::onTimer(IrMicros now)
{
    if (now >= m_stepDeadline) {
        m_stepDeadline = IrNever;
        switch (m_step) {
        case Step::Pause:
            startRound(now);
            break;
        case Step::IasConnect:
            refuse(QStringLiteral("IAS connection not answered"), now);
            break;
        case Step::IasQuery:
            refuse(QStringLiteral("IAS query not answered"), now);
            break;
        case Step::CommConnect:
            refuse(QStringLiteral("service connection not answered"), now);
            break;
        default:
            break;
        }
    }
    m_lap.onTimer(now);
    process(now);
}

// ---- opening ----------------------------------------------------------

bool IrCommClient::open(IrMicros now)
{
    if (m_state == State::Opening || m_state == State::Open || m_state == State::Closing)
        return false;
    m_lap.reset();
    m_lmp.reset();
    m_ttp.reset();
    m_received.clear();
    m_refusals.clear();
    m_devices.clear();
    m_failure.clear();
    m_round = 0;
    m_state = State::Opening;
    startRound(now);
    process(now);
    return true;
}

void IrCommClient::startRound(IrMicros now)
{
    m_step = Step::Discovery;
    m_stepDeadline = IrNever;
    m_lap.startDiscovery(now);
}

void IrCommClient::tryDevice(IrMicros now)
{
    const IrDiscoveredDevice &device = m_devices.at(m_deviceIndex);
    m_step = Step::Link;
    m_stepDeadline = IrNever;
    m_lmp.reset();
    m_ttp.reset();
    m_lap.connectTo(device.address, now);
}

void IrCommClient::refuse(const QString &reason, IrMicros now)
{
    Refusal refusal;
    refusal.device = m_devices.value(m_deviceIndex);
    refusal.reason = reason;
    m_refusals.append(refusal);
    m_stepDeadline = IrNever;
    m_ttp.reset();
    if (m_lap.isConnected()) {
        // Leave this device before the next one is asked.
        m_step = Step::Unlink;
        m_lmp.reset();
        m_lap.disconnect(now);
        return;
    }
    nextDevice(now);
}

void IrCommClient::nextDevice(IrMicros now)
{
    m_lmp.reset();
    if (++m_deviceIndex < m_devices.size()) {
        tryDevice(now);
        return;
    }
    fail(m_devices.size() == 1 ? QStringLiteral("the device refused the connection")
                               : QStringLiteral("every device refused the connection"));
}

void IrCommClient::fail(const QString &reason)
{
    m_state = State::Failed;
    m_step = Step::None;
    m_stepDeadline = IrNever;
    m_failure = reason;
    m_ttp.reset();
    m_lmp.reset();
}

// ---- events -------------------------------------------------------------

void IrCommClient::process(IrMicros now)
{
    // Events may cause events; the loop runs until everything settled.
    if (m_inProcess)
        return;
    m_inProcess = true;
    for (int guard = 0; guard < 64; ++guard) {
        const QList<IrLapEvent> events = m_lap.takeEvents();
        const QList<IrLmpMux::Indication> indications = m_lmp.takeIndications();
        if (events.isEmpty() && indications.isEmpty())
            break;
        for (const IrLapEvent &event : events)
            handleLapEvent(event, now);
        for (const IrLmpMux::Indication &indication : indications)
            handleIndication(indication, now);
    }
    pump();
    m_inProcess = false;
}

void IrCommClient::handleLapEvent(const IrLapEvent &event, IrMicros now)
{
    switch (event.kind) {
    case IrLapEvent::DiscoveryDone: {
        if (m_state != State::Opening || m_step != Step::Discovery)
            break;
        if (!event.reason.isEmpty()) {
            fail(QStringLiteral("discovery failed: %1").arg(event.reason));
            break;
        }
        QStringList found;
        for (const IrDiscoveredDevice &device : event.devices)
            found.append(device.describe());
        note(QStringLiteral("discovery round %1: %2")
                 .arg(m_round + 1)
                 .arg(found.isEmpty() ? QStringLiteral("no device")
                                      : found.join(QStringLiteral(", "))));
        if (event.devices.isEmpty()) {
            if (++m_round < m_config.discoveryRounds) {
                m_step = Step::Pause;
                m_stepDeadline = now + m_config.roundPause;
            } else {
                fail(QStringLiteral("no device in range"));
            }
            break;
        }
        m_devices = event.devices;
        m_deviceIndex = 0;
        tryDevice(now);
        break;
    }
    case IrLapEvent::Connected: {
        const IrLapQos &qos = m_lap.qos();
        note(QStringLiteral("link to %1: %2 b/s, frames up to %3 bytes, window %4, "
                            "turnaround %5 us, disconnect after %6 s")
                 .arg(m_devices.value(m_deviceIndex).describe())
                 .arg(qos.baud)
                 .arg(qos.peerDataSize)
                 .arg(qos.peerWindow)
                 .arg(qos.peerMinTurnaround)
                 .arg(qos.disconnectTime / IrSecond));
        if (m_step != Step::Link)
            break;
        m_step = Step::IasConnect;
        m_stepDeadline = now + m_config.stepTimeout;
        m_lmp.connect(m_config.iasLsap, IrLmpPdu::IasSelector);
        break;
    }
    case IrLapEvent::ConnectFailed:
        if (m_step == Step::Link)
            refuse(event.reason, now);
        break;
    case IrLapEvent::Data:
        m_lmp.receive(event.data);
        break;
    case IrLapEvent::Threshold:
        note(QStringLiteral("no answer from the device for a while; still trying"));
        break;
    case IrLapEvent::Disconnected:
    case IrLapEvent::LinkLost:
        m_lmp.reset();
        m_ttp.reset();
        if (m_state == State::Closing) {
            m_state = State::Closed;
            m_step = Step::None;
        } else if (m_state == State::Open) {
            m_state = State::Lost;
            m_failure = event.reason.isEmpty() ? QStringLiteral("link ended") : event.reason;
            note(QStringLiteral("link lost: %1").arg(m_failure));
        } else if (m_state == State::Opening) {
            if (m_step == Step::Unlink)
                nextDevice(now);
            else if (m_step != Step::Discovery && m_step != Step::Pause)
                refuse(event.reason.isEmpty() ? QStringLiteral("link ended") : event.reason, now);
        }
        break;
    }
}

void IrCommClient::handleIndication(const IrLmpMux::Indication &indication, IrMicros now)
{
    if (indication.local == m_config.iasLsap) {
        if (indication.kind == IrLmpMux::Indication::ConnectConfirm && m_step == Step::IasConnect) {
            m_step = Step::IasQuery;
            m_stepDeadline = now + m_config.stepTimeout;
            m_lmp.send(m_config.iasLsap,
                       IasMessage::getValueByClass(m_config.className, m_config.attribute));
        } else if (indication.kind == IrLmpMux::Indication::Disconnect
                   && (m_step == Step::IasConnect || m_step == Step::IasQuery)) {
            refuse(QStringLiteral("IAS connection refused (reason %1)").arg(indication.reason),
                   now);
        } else if (indication.kind == IrLmpMux::Indication::Data && m_step == Step::IasQuery) {
            quint32 selector = 0;
            const IasMessage::Result result
                = IasMessage::parseIntegerAnswer(indication.data, &selector);
            if (result != IasMessage::Result::Integer) {
                const char *why = result == IasMessage::Result::NoSuchClass ? "no such class"
                    : result == IasMessage::Result::NoSuchAttribute         ? "no such attribute"
                                                                            : "unusable answer";
                refuse(QStringLiteral("IAS: %1 for %2")
                           .arg(QLatin1String(why), QString::fromLatin1(m_config.className)),
                       now);
                return;
            }
            if (selector == 0 || selector > IrLmpPdu::MaxSelector) {
                refuse(QStringLiteral("IAS: selector %1 out of range").arg(selector), now);
                return;
            }
            m_lmp.disconnect(m_config.iasLsap, IrLmpPdu::UserRequest);
            m_ttp.emplace(m_config.receiveCredit);
            QByteArray userData = m_ttp->connectHeader();
            if (m_config.nineWire)
                userData.append(IrCommNineWire::connectParameters());
            m_step = Step::CommConnect;
            m_stepDeadline = now + m_config.stepTimeout;
            m_lmp.connect(m_config.commLsap, quint8(selector), userData);
        }
        return;
    }
    if (indication.local != m_config.commLsap || !m_ttp)
        return;
    switch (indication.kind) {
    case IrLmpMux::Indication::ConnectConfirm: {
        if (m_step != Step::CommConnect)
            return;
        QByteArray userData;
        if (!m_ttp->acceptConnect(indication.data, &userData)) {
            refuse(QStringLiteral("malformed service connect answer"), now);
            return;
        }
        m_step = Step::None;
        m_stepDeadline = IrNever;
        m_state = State::Open;
        note(QStringLiteral("service connected, send credit %1").arg(m_ttp->sendCredit()));
        if (m_config.nineWire)
            m_ttp->queue(IrCommNineWire::frame(QByteArray(), IrCommNineWire::initialControl()),
                         m_lap.maxInfoSize() - 2);
        break;
    }
    case IrLmpMux::Indication::Disconnect:
        if (m_state == State::Opening && m_step == Step::CommConnect) {
            refuse(QStringLiteral("service connection refused (reason %1)").arg(indication.reason),
                   now);
        } else if (m_state == State::Open) {
            m_state = State::Lost;
            m_failure
                = QStringLiteral("service closed by the device (reason %1)").arg(indication.reason);
            note(m_failure);
            m_ttp.reset();
            m_lap.disconnect(now);
        }
        break;
    case IrLmpMux::Indication::Data:
        if (m_state == State::Open)
            handleCommData(indication.data);
        break;
    }
}

void IrCommClient::handleCommData(const QByteArray &pdu)
{
    if (!m_ttp->receive(pdu)) {
        note(QStringLiteral("malformed Tiny TP PDU dropped"));
        return;
    }
    const QList<QByteArray> sdus = m_ttp->takeSdus();
    for (const QByteArray &sdu : sdus) {
        if (!m_config.nineWire) {
            m_received.append(sdu);
            continue;
        }
        QByteArray control;
        QByteArray data;
        if (!IrCommNineWire::parse(sdu, &control, &data)) {
            note(QStringLiteral("malformed IrCOMM frame dropped"));
            continue;
        }
        m_received.append(data);
    }
}

// ---- data ---------------------------------------------------------------

void IrCommClient::pump()
{
    if (m_ttp && m_state == State::Open) {
        const QList<QByteArray> pdus = m_ttp->takePdus();
        for (const QByteArray &pdu : pdus)
            m_lmp.send(m_config.commLsap, pdu);
    }
    const QList<QByteArray> out = m_lmp.takeOutgoing();
    for (const QByteArray &pdu : out)
        m_lap.send(pdu);
}

bool IrCommClient::write(const QByteArray &data)
{
    if (m_state != State::Open || !m_ttp)
        return false;
    // Link header and Tiny TP byte, then the clen byte of IrCOMM.
    const int pduRoom = m_lap.maxInfoSize() - 2;
    const int chunk = pduRoom - 1 - (m_config.nineWire ? 1 : 0);
    for (int at = 0; at < data.size(); at += chunk) {
        const QByteArray piece = data.mid(at, chunk);
        m_ttp->queue(m_config.nineWire ? IrCommNineWire::frame(piece) : piece, pduRoom);
    }
    pump();
    return true;
}

bool IrCommClient::writeDrained() const
{
    return (!m_ttp || m_ttp->queuedPdus() == 0) && m_lap.pendingFrames() == 0;
}

// ---- closing -------------------------------------------------------------

void IrCommClient::close(IrMicros now)
{
    m_stepDeadline = IrNever;
    if (m_lap.isConnected()) {
        if (m_ttp && m_lmp.isOpen(m_config.commLsap))
            m_lmp.disconnect(m_config.commLsap, IrLmpPdu::UserRequest);
        pump();
        m_ttp.reset();
        m_state = State::Closing;
        m_step = Step::None;
        m_lap.disconnect(now);
        process(now);
        return;
    }
    m_lap.disconnect(now);
    m_lmp.reset();
    m_ttp.reset();
    m_step = Step::None;
    m_state = State::Closed;
}

void IrCommClient::lineFailed(const QString &reason)
{
    m_lap.reset();
    m_lmp.reset();
    m_ttp.reset();
    m_step = Step::None;
    m_stepDeadline = IrNever;
    if (m_state == State::Open || m_state == State::Opening) {
        m_state = m_state == State::Open ? State::Lost : State::Failed;
        m_failure = reason;
    } else {
        m_state = State::Closed;
    }
}
