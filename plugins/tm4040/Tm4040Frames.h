#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

// Builds TM4040 command frames: the prefix "RX3008M", the payload, then the
// command letter. Pure functions, no I/O.
namespace Tm4040Frames {

constexpr int AnswerSize = 56; // every answer but the history packets
constexpr int HistoryPacketSize = 48; // three 16-byte records
constexpr int HistoryRecordSize = 16;
constexpr int MaxHistoryPackets = 167;

// Packed BCD of 0..99: tens in the high nibble, units in the low nibble.
quint8 toBcd(int value);

// Integer part of x + 0.5 for x >= 0; halves away from zero below 0.
qint64 roundHalfAwayFromZero(double value);

// The history pointer block that empties the device memory.
QByteArray clearedPointers();

QByteArray frame(char letter, const QByteArray &payload = QByteArray());

QByteArray readAllParams();
QByteArray writeTime(const QDateTime &localTime);
QByteArray writeAlarm(int minute, int hour, bool enabled);
QByteArray writeThresholds(double rate, double dose);
// pointers: 8 bytes; timing: next record h, m, s then step h, m, s.
QByteArray writeHistorySettings(const QByteArray &pointers, const quint8 (&timing)[6], quint8 mode);
// Cleared pointers and bytes 20 to 26 of `block` as they are.
QByteArray clearHistory(const QByteArray &block);
QByteArray resetAccumulatedED();
QByteArray history(int packets);

} // namespace Tm4040Frames
