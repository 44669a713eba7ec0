#include "Tm4040Frames.h"

#include <cmath>
#include <limits>

namespace Tm4040Frames {

namespace {
const char Prefix[] = "RX3008M";
}

quint8 toBcd(int value)
{
    return quint8((value / 10) * 16 + value % 10);
}

qint64 roundHalfAwayFromZero(double value)
{
    // Not a number and values beyond 64 bits have no integer to become;
    // converting them would be undefined, so they give 0 or saturate.
    if (std::isnan(value))
        return 0;
    const double rounded = value >= 0 ? std::floor(value + 0.5) : -std::floor(-value + 0.5);
    constexpr double Limit = 9223372036854775808.0; // 2^63
    if (rounded >= Limit)
        return std::numeric_limits<qint64>::max();
    if (rounded < -Limit)
        return std::numeric_limits<qint64>::min();
    return qint64(rounded);
}

QByteArray clearedPointers()
{
    return QByteArray::fromRawData("\x00\x01\x00\xC0\x00\x01\x00\xC0", 8);
}

QByteArray frame(char letter, const QByteArray &payload)
{
    QByteArray result(Prefix, 7);
    result.reserve(7 + payload.size() + 1);
    result.append(payload);
    result.append(letter);
    return result;
}

QByteArray readAllParams()
{
    return frame('p');
}

QByteArray writeTime(const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    QByteArray payload;
    payload.append(char(toBcd(time.second())));
    payload.append(char(toBcd(time.minute())));
    payload.append(char(toBcd(time.hour())));
    payload.append(char(toBcd(date.day())));
    payload.append(char(toBcd(date.month())));
    payload.append(char(toBcd(date.year() - 2000)));
    return frame('t', payload);
}

QByteArray writeAlarm(int minute, int hour, bool enabled)
{
    QByteArray payload;
    payload.append(char(toBcd(minute)));
    payload.append(char(toBcd(hour)));
    payload.append(char(enabled ? 1 : 0));
    return frame('b', payload);
}

QByteArray writeThresholds(double rate, double dose)
{
    const qint64 m = roundHalfAwayFromZero(rate * 100.0);
    const qint64 e = roundHalfAwayFromZero(dose * 1000.0);
    QByteArray payload;
    payload.append(char(toBcd(int(m / 10000 % 100))));
    payload.append(char(toBcd(int(m / 100 % 100))));
    payload.append(char(toBcd(int(m % 100))));
    payload.append(char(toBcd(int(e / 1000000 % 100))));
    payload.append(char(toBcd(int(e / 10000 % 100))));
    payload.append(char(toBcd(int(e / 100 % 100))));
    payload.append(char(toBcd(int(e % 100))));
    return frame('r', payload);
}

QByteArray writeHistorySettings(const QByteArray &pointers, const quint8 (&timing)[6], quint8 mode)
{
    QByteArray payload = pointers.left(8);
    for (quint8 value : timing)
        payload.append(char(toBcd(value)));
    payload.append(char(mode));
    return frame('h', payload);
}

QByteArray clearHistory(const QByteArray &block)
{
    return frame('h', clearedPointers() + block.mid(20, 7));
}

QByteArray resetAccumulatedED()
{
    return frame('d');
}

QByteArray history(int packets)
{
    QByteArray payload;
    payload.append('\x00');
    payload.append('\x01');
    payload.append(char(quint8(packets)));
    return frame('H', payload);
}

} // namespace Tm4040Frames
