#include "Tm4040IrDevice.h"

namespace {

// Service hints: extension bit, then IrCOMM.
const char Hints[] = {char(0x80), char(0x04)};
const char Ascii = 0x00;
// Hints, character set and nickname fit in what every primary takes.
const int LongestDiscoveryInfo = 23;
const quint8 NoReasonGiven = 0xFF;

QByteArray discoveryInfo(const QByteArray &nickname)
{
    QByteArray info(Hints, sizeof Hints);
    info.append(Ascii);
    info.append(nickname.left(LongestDiscoveryInfo - info.size()));
    return info;
}

Tm4040IrIasServer iasFor(const Tm4040IrDevice::Config &config)
{
    Tm4040IrIasServer ias;
    ias.addString("Device", "DeviceName", config.nickname);
    ias.addOctets("Device", "IrLMPSupport", QByteArray::fromHex("010000"));
    if (config.commands) {
        ias.addInteger("IrDA:IrCOMM", "IrDA:TinyTP:LsapSel", config.commLsap);
        // Service types 3-wire and 9-wire, a serial port.
        ias.addOctets("IrDA:IrCOMM", "Parameters", QByteArray::fromHex("000106010101"));
    }
    return ias;
}

Tm4040IrLapSecondary::Config lapConfig(const Tm4040IrDevice::Config &config)
{
    Tm4040IrLapSecondary::Config lap;
    lap.address = config.address;
    lap.discoveryInfo = discoveryInfo(config.nickname);
    lap.refuse = !config.commands;
    // The other device answers first; the dosimeter in a later slot, so
    // the order of the two in a device list is always the same.
    lap.firstSlot = !config.commands;
    lap.lowestSlot = 1;
    lap.seed = config.seed;
    lap.offer.baud = Tm4040IrQos::baudMaskUpTo(115200);
    lap.offer.maxTurnaround = 0x01; // 500 ms
    lap.offer.dataSize = 0x3F; // up to 2048 bytes
    lap.offer.windowSize = 0x7F; // up to 7 frames
    lap.offer.additionalBofs = 0x80; // none needed
    lap.offer.minTurnaround = 0x04; // 1 ms
    lap.offer.disconnectTime = 0xFF; // whatever the primary wants
    return lap;
}

} // namespace

Tm4040IrDevice::Tm4040IrDevice(const Config &config, CommandHandler handler)
    : m_config(config)
    , m_handler(std::move(handler))
    , m_lap(lapConfig(config))
    , m_lmp(iasFor(config), config.commands ? QList<quint8> {config.commLsap} : QList<quint8>())
{ }

void Tm4040IrDevice::applyFaults(const Tm4040IrdaFaults &faults, qint64 nowUs)
{
    m_lap.setRefuse(!m_config.commands || faults.refuseConnection);
    Tm4040IrQos offer = lapConfig(m_config).offer;
    offer.baud = Tm4040IrQos::baudMaskUpTo(faults.maxBaud);
    m_lap.setOffer(offer);
    if (faults.busyMs != m_faults.busyMs || faults.busyAfterIFrames != m_faults.busyAfterIFrames)
        m_busyArmed = faults.busyMs > 0;
    m_faults = faults;
    updateBusy(nowUs);
}

void Tm4040IrDevice::updateBusy(qint64 nowUs)
{
    if (m_busyUntil >= 0 && nowUs >= m_busyUntil)
        m_busyUntil = -1;
    if (m_busyArmed && m_lap.isConnected()
        && m_lap.stats().iFramesReceived - m_iFramesAtConnect >= m_faults.busyAfterIFrames) {
        m_busyArmed = false;
        m_busyUntil = nowUs + qint64(m_faults.busyMs) * 1000;
    }
    m_lap.setLocalBusy(m_busyUntil >= 0);
}

void Tm4040IrDevice::receive(const QByteArray &frame, qint64 nowUs)
{
    if (m_gone) {
        // Back in the beam when the host looks for devices again.
        const bool discovery = frame.size() >= 2 && (quint8(frame.at(1)) & ~0x10) == 0x2F;
        if (!discovery)
            return;
        m_gone = false;
    }
    // A busy spell that has ended must not turn this frame away.
    updateBusy(nowUs);
    m_lap.receive(frame, nowUs);
    pump(nowUs);
}

void Tm4040IrDevice::onTimer(qint64 nowUs)
{
    m_lap.onTimer(nowUs);
    pump(nowUs);
}

qint64 Tm4040IrDevice::nextDeadline() const
{
    qint64 deadline = m_lap.nextDeadline();
    const auto earlier = [&deadline](qint64 time) {
        if (time >= 0 && (deadline < 0 || time < deadline))
            deadline = time;
    };
    if (!m_answers.empty())
        earlier(m_answers.front().readyUs);
    earlier(m_busyUntil);
    return deadline;
}

void Tm4040IrDevice::closeComm()
{
    m_ttp.reset();
    m_comm = Tm4040IrComm();
    m_splitter.clear();
    m_answers.clear();
    m_leaveAfterAnswer = false;
}

void Tm4040IrDevice::handleLinkEvents()
{
    for (const Tm4040IrLapSecondary::Event event : m_lap.takeEvents()) {
        m_lmp.reset();
        closeComm();
        if (event == Tm4040IrLapSecondary::Event::Connected) {
            m_iFramesAtConnect = m_lap.stats().iFramesReceived;
            m_busyArmed = m_faults.busyMs > 0;
            m_busyUntil = -1;
        }
    }
}

void Tm4040IrDevice::handleServiceEvents(qint64 nowUs)
{
    for (const QByteArray &pdu : m_lap.takeReceived())
        m_lmp.receive(pdu);
    for (const Tm4040IrLmp::Event &event : m_lmp.takeEvents()) {
        if (event.type == Tm4040IrLmp::Event::Type::Connect) {
            closeComm();
            m_ttp.reset(new Tm4040IrTinyTp());
            QByteArray userData;
            if (!m_ttp->takeConnect(event.data, &userData)) {
                m_ttp.reset();
                m_lmp.disconnect(event.local, event.peer, NoReasonGiven);
                continue;
            }
            const QByteArray reply = m_ttp->connectPdu(m_comm.acceptConnect(userData));
            m_lmp.acceptConnect(event.local, event.peer, reply);
            m_commPeer = event.peer;
            ++m_commConnections;
        } else if (event.peer != m_commPeer || !m_ttp) {
            continue;
        } else if (event.type == Tm4040IrLmp::Event::Type::Disconnect) {
            closeComm();
        } else {
            m_ttp->receive(event.data);
            QByteArray sdu;
            while (m_ttp->takeSdu(&sdu))
                m_comm.receiveSdu(sdu);
            m_splitter.append(m_comm.takeData());
        }
    }
    // The end of the primary's turn is the quiet that ends a short frame.
    QByteArray frame;
    while (m_splitter.next(&frame, m_lap.lastFrameHadPoll())) {
        const Tm4040Answer answer = m_handler(frame);
        qint64 ready = nowUs;
        for (const Tm4040Answer::Part &part : answer.parts) {
            ready += qint64(part.pauseBeforeMs) * 1000;
            m_answers.push_back({ready, part.bytes});
        }
        if (answer.dropLink)
            m_leaveAfterAnswer = true;
    }
    while (!m_answers.empty() && m_answers.front().readyUs <= nowUs) {
        m_comm.write(m_answers.front().bytes);
        m_answers.pop_front();
    }
}

void Tm4040IrDevice::fillLink()
{
    const int maxInfo = m_lap.maxInfoSize();
    for (;;) {
        for (const QByteArray &pdu : m_lmp.takeOutgoing())
            m_lap.queueData(pdu);
        if (!m_ttp || !m_lap.isConnected() || m_lap.pendingFrames() >= 2 * m_lap.window())
            return;
        // Each IrCOMM SDU fits one TinyTP PDU (LM header 2, TinyTP 1).
        QByteArray sdu;
        if (!m_ttp->hasData() && m_comm.takeSdu(&sdu, maxInfo - 3))
            m_ttp->send(sdu);
        QByteArray pdu;
        if (!m_ttp->takePdu(&pdu, maxInfo - 2))
            return;
        m_lmp.sendData(m_config.commLsap, m_commPeer, pdu);
    }
}

void Tm4040IrDevice::pump(qint64 nowUs)
{
    handleLinkEvents();
    updateBusy(nowUs);
    handleServiceEvents(nowUs);
    fillLink();
    if (m_leaveAfterAnswer && m_answers.empty() && !m_comm.hasOutput()
        && !(m_ttp && m_ttp->hasData()) && m_lap.pendingFrames() == 0) {
        // The answer went out whole; the device leaves the beam.
        m_gone = true;
        m_lap.vanish();
        handleLinkEvents();
        return;
    }
    m_lap.respond(nowUs);
    handleLinkEvents();
}

void Tm4040IrDevice::addCounters(Tm4040IrdaCounters *counters) const
{
    const Tm4040IrLapSecondary::Stats &lap = m_lap.stats();
    counters->iFramesReceived += lap.iFramesReceived;
    counters->iFramesSent += lap.iFramesSent;
    counters->retransmissions += lap.retransmissions;
    counters->rnrSent += lap.rnrSent;
    counters->rejSent += lap.rejSent;
    counters->protocolErrors += lap.protocolErrors + m_lmp.protocolErrors()
        + (m_ttp ? m_ttp->protocolErrors() : 0) + m_comm.droppedSdus();
    counters->discoveryAnswers += lap.discoveryAnswers;
    counters->linkConnections += lap.connections;
    counters->refusals += lap.refusals;
    counters->disconnects += lap.disconnects;
    counters->linkLosses += lap.linkLosses;
    counters->iasQueries += m_lmp.iasQueries();
    counters->commConnections += m_commConnections;
}
