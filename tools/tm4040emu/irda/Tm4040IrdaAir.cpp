#include "Tm4040IrdaAir.h"

#include "Tm4040IrSirFramer.h"

#include <QDebug>

#include <utility>

namespace {

// A device address from the seed; 0 and FFFFFFFF mean "none" and "all".
quint32 drawAddress(quint32 seed, quint32 salt)
{
    std::mt19937 random(seed ^ salt);
    quint32 address = 0;
    while (address == 0 || address == 0xFFFFFFFF)
        address = quint32(random());
    return address;
}

// Address, control: the two low bits of the control field set mark an
// unnumbered frame (XID, SNRM, DISC, UA, DM, ...).
bool isUnnumbered(const QByteArray &frame)
{
    return frame.size() >= 2 && (quint8(frame.at(1)) & 0x03) == 0x03;
}

} // namespace

Tm4040IrdaAir::Tm4040IrdaAir(const Tm4040Scenario &scenario,
                             const Tm4040IrDevice::CommandHandler &handler)
    : m_faults(scenario.faults.irda)
    , m_random(scenario.faults.irda.seed)
{
    Tm4040IrDevice::Config device;
    device.address
        = scenario.irdaAddress != 0 ? scenario.irdaAddress : drawAddress(m_faults.seed, 0x4040);
    device.nickname = scenario.irdaNickname;
    device.commLsap = scenario.irdaCommLsap;
    device.seed = m_faults.seed;
    m_device.reset(new Tm4040IrDevice(device, handler));

    Tm4040IrDevice::Config other;
    other.address = drawAddress(m_faults.seed, 0x0702);
    if (other.address == device.address)
        other.address ^= 0x00010000;
    other.nickname = "Other device";
    other.commands = false;
    other.seed = m_faults.seed + 1;
    m_other.reset(new Tm4040IrDevice(other, handler));

    m_device->applyFaults(m_faults, 0);
    m_other->applyFaults(m_faults, 0);
}

void Tm4040IrdaAir::setFaults(const Tm4040IrdaFaults &faults, qint64 nowUs)
{
    if (faults.seed != m_faults.seed)
        m_random.seed(faults.seed);
    m_faults = faults;
    m_device->applyFaults(faults, nowUs);
    m_other->applyFaults(faults, nowUs);
}

bool Tm4040IrdaAir::chance(double rate)
{
    if (rate <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 1)(m_random) < rate;
}

void Tm4040IrdaAir::flipBit(QByteArray *bytes)
{
    if (bytes->isEmpty())
        return;
    const quint32 draw = quint32(m_random());
    const int at = int(draw % quint32(bytes->size()));
    (*bytes)[at] = char(bytes->at(at) ^ (1 << (draw >> 16) % 8));
}

void Tm4040IrdaAir::receive(const char *data, int size, qint64 nowUs, int hostBaud)
{
    m_deframer.feed(data, size);
    QByteArray raw;
    while (m_deframer.takeFrame(&raw)) {
        const bool spared = m_faults.spareUnnumbered && isUnnumbered(raw);
        if (!spared && chance(m_faults.dropToDevice)) {
            ++m_counters.droppedToDevice;
            continue;
        }
        if (!spared && chance(m_faults.corruptToDevice)) {
            flipBit(&raw);
            ++m_counters.corruptedToDevice;
        }
        if (!Tm4040IrSirFramer::checkFcs(raw)) {
            ++m_counters.badFrames;
            continue;
        }
        const QByteArray frame = raw.left(raw.size() - 2);
        ++m_counters.framesReceived;
        if (m_verbose)
            qDebug().noquote() << "emulator irda in " << frame.toHex(' ').toUpper();
        if (m_faults.checkHostSpeed && hostBaud > 0 && hostBaud != baud()) {
            // The dongle hears noise at the wrong speed.
            ++m_counters.hostSpeedMismatches;
            continue;
        }
        m_device->receive(frame, nowUs);
        if (m_faults.secondDeviceRefusing)
            m_other->receive(frame, nowUs);
        collect(m_other.get());
        collect(m_device.get());
    }
}

void Tm4040IrdaAir::onTimer(qint64 nowUs)
{
    m_device->onTimer(nowUs);
    m_other->onTimer(nowUs);
    collect(m_other.get());
    collect(m_device.get());
}

qint64 Tm4040IrdaAir::nextDeadline() const
{
    const qint64 device = m_device->nextDeadline();
    const qint64 other = m_other->nextDeadline();
    if (device < 0)
        return other;
    return other < 0 ? device : qMin(device, other);
}

void Tm4040IrdaAir::collect(Tm4040IrDevice *device)
{
    // What a device sends in one go is one turn.
    const int turnaround = device->turnaroundUs();
    bool first = true;
    for (const Tm4040IrLapSecondary::Output &output : device->takeOutput()) {
        ++m_counters.framesSent;
        if (m_verbose)
            qDebug().noquote() << "emulator irda out" << output.frame.toHex(' ').toUpper();
        const bool spared = m_faults.spareUnnumbered && isUnnumbered(output.frame);
        if (!spared && chance(m_faults.dropFromDevice)) {
            ++m_counters.droppedFromDevice;
            continue;
        }
        QByteArray body = Tm4040IrSirFramer::withFcs(output.frame);
        if (!spared && chance(m_faults.corruptFromDevice)) {
            flipBit(&body);
            ++m_counters.corruptedFromDevice;
        }
        m_wire.append({Tm4040IrSirFramer::escape(body, device->extraBofs()), output.baud,
                       first ? turnaround : 0});
        first = false;
    }
}

QList<Tm4040IrdaAir::Chunk> Tm4040IrdaAir::takeWire()
{
    return std::exchange(m_wire, {});
}

Tm4040IrdaCounters Tm4040IrdaAir::counters() const
{
    Tm4040IrdaCounters counters = m_counters;
    counters.badFrames += m_deframer.droppedFrames();
    m_device->addCounters(&counters);
    m_other->addCounters(&counters);
    counters.baud = baud();
    return counters;
}
