#pragma once

#include "Tm4040Scenario.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

// What the device sends back for one frame: parts separated by pauses,
// and whether the link drops after the last part.
struct Tm4040Answer
{
    struct Part
    {
        int pauseBeforeMs = 0;
        QByteArray bytes;
    };
    QList<Part> parts;
    bool dropLink = false;
};

// The device side of the TM4040 protocol: the parameter block, the history
// memory and how each command changes them. Not thread-safe; the emulator
// guards it.
class Tm4040DeviceModel
{
public:
    explicit Tm4040DeviceModel(const Tm4040Scenario &scenario);

    // The 56-byte block the device answers to "p" at this moment.
    QByteArray parameterBlock() const;
    QList<QByteArray> records() const { return m_records; }
    // Replaces the history memory; bytes 12 to 13 then count the records.
    void setRecords(const QList<QByteArray> &records);

    // Applies a complete frame (prefix, payload, letter) and returns the
    // answer, shaped by the faults.
    Tm4040Answer handle(const QByteArray &frame, const Tm4040Faults &faults);

    // The bytes of `packets` history packets as the memory holds them
    // (unwritten memory reads FF).
    QByteArray historyStream(int packets, const Tm4040Faults &faults) const;

private:
    void setClock(const QByteArray &bcdBytes);
    QByteArray clockBytes() const;

    QByteArray m_block; // everything but the clock
    QList<QByteArray> m_records;
    bool m_clockRunning = true;
    bool m_systemClock = true;
    QDateTime m_clock; // frozen value, or the value set at m_clockSet
    QElapsedTimer m_clockSet; // running clock: time since it was set
    QByteArray m_rawClock; // a clock written with an impossible value
};
