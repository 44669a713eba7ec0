#pragma once

#include "device/PluginInterface.h"

#include <QByteArray>
#include <QDateTime>
#include <QVector>

// Decodes what a TM4040 sends: the 56-byte parameter block and the history
// records. Pure functions of the bytes, no I/O, safe on any input.
namespace Tm4040Decoder {

// A packed BCD byte; a nibble above 9 counts with its own value (FF is 165).
int bcd(quint8 byte);
// `count` BCD bytes from `offset`, most significant pair first. Bytes past
// the end of `data` count as zero.
qint64 bcdNumber(const QByteArray &data, int offset, int count);

// The local date-time of the six BCD values, or a null date-time when they
// do not form a valid date and time.
QDateTime localDateTime(int year, int month, int day, int hour, int minute, int second);

// The fields of the parameter block that the program uses.
struct Parameters
{
    int second = 0, minute = 0, hour = 0, day = 0, month = 0, year = 0; // year in full
    QDateTime deviceTime; // null when the clock bytes are not a valid date-time
    int alarmMinute = 0;
    int alarmHour = 0;
    bool alarmEnabled = false;
    int historyCount = 0; // bytes 12 to 13
    int nextRecordHours = 0, nextRecordMinutes = 0, nextRecordSeconds = 0;
    int historyStepHours = 0, historyStepMinutes = 0, historyStepSeconds = 0;
    quint8 historyMode = 0;
    bool cyclicHistory = false;
    qint32 serialNumber = 0;
    qint64 medThresholdRaw = 0; // value x 100
    qint64 edThresholdRaw = 0; // mSv x 1000
    quint8 firmwareVersion = 0;
    quint32 accumulatedDoseRaw = 0; // unit 0.00001 mSv

    double medThreshold() const { return medThresholdRaw / 100.0; }
    double edThreshold() const { return edThresholdRaw / 1000.0; }
    double accumulatedDose() const { return accumulatedDoseRaw / 100000.0; }
};

constexpr int ParameterBlockSize = 56;

// Decodes a parameter block; false (and nothing decoded) when it is not
// 56 bytes long.
bool decodeParameters(const QByteArray &block, Parameters *out);

// Whether 56 bytes read as a TM4040 parameter block: the clock, the alarm,
// the record count, the history timing, the serial number (not 0) and the
// thresholds are BCD digits within their ranges. Tells a dosimeter from
// another device that happens to send as many bytes (a GPS receiver or a
// modem that streams); a cleared clock (00.00.00) still passes.
bool isParameterBlock(const QByteArray &block);

// The record count of bytes 12 to 13 (needs at least 14 bytes, else -1).
int historyCount(const QByteArray &block);

// Number of 48-byte packets to ask for `count` records: 0 for none, at
// most 167.
int historyPackets(int count);

constexpr int RecordSize = 16;

// Decodes one 16-byte record; false when its date-time is not valid.
bool decodeRecord(const char *record, HistoryEvent *out);

// The flag byte of a decoded record, bit 7 first.
quint8 flagsOf(const HistoryEvent &event);

struct HistoryResult
{
    QVector<HistoryEvent> events;
    int examined = 0; // records looked at
    int invalidAt = -1; // index of the record with an invalid date-time
    QByteArray invalidRecord;
};

// Decodes up to `count` records from the concatenated packets. Stops at
// the first record whose date-time is not valid; the records before it
// are kept.
HistoryResult decodeHistory(const QByteArray &buffer, int count);

} // namespace Tm4040Decoder
