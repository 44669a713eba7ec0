#pragma once

#include <QtGlobal>

#include <limits>

// Time inside the infrared stack: microseconds on a monotonic clock that the
// caller owns (the driver's real clock, or a test's counter).
using IrMicros = qint64;

constexpr IrMicros IrNever = std::numeric_limits<IrMicros>::max();
constexpr IrMicros IrMillisecond = 1000;
constexpr IrMicros IrSecond = 1000 * IrMillisecond;

// How long `bytes` take on an asynchronous line at `baud` (10 bits a byte).
constexpr IrMicros irLineTime(int bytes, int baud)
{
    return baud > 0 ? IrMicros(bytes) * 10 * IrSecond / baud : 0;
}
