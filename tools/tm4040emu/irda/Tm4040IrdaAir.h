#pragma once

#include "Tm4040IrDevice.h"
#include "Tm4040IrSirDeframer.h"
#include "Tm4040IrdaCounters.h"
#include "Tm4040IrdaFaults.h"
#include "Tm4040Scenario.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <random>

// What lies beyond the emulated SIR dongle, without I/O: the infrared
// space with the dosimeter and, when the fault asks for it, a second
// device. It takes the bytes the host writes to the dongle, finds the
// frames, plays the lost and damaged frames of the faults, hands the
// frames to the devices, and gives back the bytes for the host with the
// speed they go at. The serving thread of the emulator is its driver.
class Tm4040IrdaAir
{
public:
    struct Chunk
    {
        QByteArray bytes;
        int baud = 9600;
        // The primary's turnaround time, before the first frame of a turn.
        int pauseUs = 0;
    };

    Tm4040IrdaAir(const Tm4040Scenario &scenario, const Tm4040IrDevice::CommandHandler &handler);

    // Takes the faults in force now (call before each pass).
    void setFaults(const Tm4040IrdaFaults &faults, qint64 nowUs);
    // Bytes from the host; `hostBaud` is the speed its terminal is set to
    // (0: unknown).
    void receive(const char *data, int size, qint64 nowUs, int hostBaud = 0);
    void onTimer(qint64 nowUs);
    qint64 nextDeadline() const;
    QList<Chunk> takeWire();

    Tm4040IrdaCounters counters() const;
    quint32 address() const { return m_device->address(); }
    int baud() const { return m_device->isConnected() ? m_device->baud() : 9600; }
    void setVerbose(bool verbose) { m_verbose = verbose; }

private:
    void collect(Tm4040IrDevice *device);
    bool chance(double rate);
    void flipBit(QByteArray *bytes);

    Tm4040IrdaFaults m_faults;
    std::mt19937 m_random;
    Tm4040IrSirDeframer m_deframer;
    std::unique_ptr<Tm4040IrDevice> m_device;
    std::unique_ptr<Tm4040IrDevice> m_other; // in range while the fault is on
    QList<Chunk> m_wire;
    Tm4040IrdaCounters m_counters; // what the air itself counts
    bool m_verbose = false;
};
