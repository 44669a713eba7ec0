#include "Tm4040Decoder.h"

namespace Tm4040Decoder {

namespace {

quint8 byteAt(const QByteArray &data, int index)
{
    return index >= 0 && index < data.size() ? quint8(data.at(index)) : 0;
}

int high(quint8 byte)
{
    return byte >> 4;
}

int low(quint8 byte)
{
    return byte & 0x0F;
}

} // namespace

int bcd(quint8 byte)
{
    return high(byte) * 10 + low(byte);
}

qint64 bcdNumber(const QByteArray &data, int offset, int count)
{
    qint64 value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 100 + bcd(byteAt(data, offset + i));
    return value;
}

QDateTime localDateTime(int year, int month, int day, int hour, int minute, int second)
{
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    const QDateTime result(date, time, Qt::LocalTime);
    return result.isValid() ? result : QDateTime();
}

bool decodeParameters(const QByteArray &block, Parameters *out)
{
    if (!out || block.size() != ParameterBlockSize)
        return false;
    Parameters p;
    p.second = bcd(byteAt(block, 0));
    p.minute = bcd(byteAt(block, 1));
    p.hour = bcd(byteAt(block, 2));
    p.day = bcd(byteAt(block, 3));
    p.month = bcd(byteAt(block, 4));
    p.year = 2000 + bcd(byteAt(block, 5));
    p.deviceTime = localDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
    p.alarmMinute = bcd(byteAt(block, 6));
    p.alarmHour = bcd(byteAt(block, 7));
    p.alarmEnabled = byteAt(block, 8) != 0;
    p.historyCount = historyCount(block);
    p.nextRecordHours = bcd(byteAt(block, 20));
    p.nextRecordMinutes = bcd(byteAt(block, 21));
    p.nextRecordSeconds = bcd(byteAt(block, 22));
    p.historyStepHours = bcd(byteAt(block, 23));
    p.historyStepMinutes = bcd(byteAt(block, 24));
    p.historyStepSeconds = bcd(byteAt(block, 25));
    p.historyMode = byteAt(block, 26);
    p.cyclicHistory = (p.historyMode & 0x80) != 0;
    p.serialNumber = qint32(bcdNumber(block, 28, 4));
    p.medThresholdRaw = bcdNumber(block, 40, 3);
    p.edThresholdRaw = bcdNumber(block, 43, 4);
    p.firmwareVersion = byteAt(block, 47);
    p.accumulatedDoseRaw = quint32(byteAt(block, 48)) << 24 | quint32(byteAt(block, 49)) << 16
        | quint32(byteAt(block, 50)) << 8 | quint32(byteAt(block, 51));
    *out = p;
    return true;
}

namespace {

// A byte of two decimal digits whose value is at most `max`.
bool bcdAtMost(quint8 byte, int max)
{
    return high(byte) <= 9 && low(byte) <= 9 && bcd(byte) <= max;
}

bool bcdDigits(const QByteArray &block, int offset, int count)
{
    for (int i = offset; i < offset + count; ++i) {
        if (!bcdAtMost(byteAt(block, i), 99))
            return false;
    }
    return true;
}

} // namespace

bool isParameterBlock(const QByteArray &block)
{
    if (block.size() != ParameterBlockSize)
        return false;
    const auto at = [&block](int i) {
        return byteAt(block, i);
    };
    const bool clock = bcdAtMost(at(0), 59) && bcdAtMost(at(1), 59) && bcdAtMost(at(2), 23)
        && bcdAtMost(at(3), 31) && bcdAtMost(at(4), 12) && bcdAtMost(at(5), 99);
    const bool alarm = bcdAtMost(at(6), 59) && bcdAtMost(at(7), 23);
    const bool timing = bcdAtMost(at(20), 99) && bcdAtMost(at(21), 59) && bcdAtMost(at(22), 59)
        && bcdAtMost(at(23), 99) && bcdAtMost(at(24), 59) && bcdAtMost(at(25), 59);
    const bool numbers = bcdDigits(block, 12, 2) && bcdDigits(block, 28, 4)
        && bcdDigits(block, 40, 7) && bcdNumber(block, 28, 4) != 0;
    return clock && alarm && timing && numbers;
}

quint8 flagsOf(const HistoryEvent &event)
{
    return quint8(event.cyclicHistory << 7 | event.timezoneChanged << 6 | event.edThreshold << 5
                  | event.medThreshold << 4 | event.batteryLow << 3 | event.memoryFault << 2
                  | event.detectorFault << 1 | int(event.hvFault));
}

int historyCount(const QByteArray &block)
{
    if (block.size() < 14)
        return -1;
    return int(bcdNumber(block, 12, 2));
}

int historyPackets(int count)
{
    if (count <= 0)
        return 0;
    // Rounded up without count + 2, which would overflow for the largest
    // counts.
    return qMin(count / 3 + (count % 3 != 0 ? 1 : 0), 167);
}

bool decodeRecord(const char *record, HistoryEvent *out)
{
    const auto b = [record](int i) {
        return quint8(record[i]);
    };
    const QDateTime dateTime = localDateTime(2000 + bcd(b(9)), bcd(b(10)), bcd(b(11)), bcd(b(12)),
                                             bcd(b(13)), bcd(b(14)));
    if (!dateTime.isValid())
        return false;

    const int number = high(b(0)) * 100 + low(b(0)) * 10 + high(b(1));
    const quint8 flags = quint8(low(b(1)) << 4 | high(b(2)));
    const qint64 ed = qint64(low(b(2))) * 1000000 + high(b(3)) * 100000 + low(b(3)) * 10000
        + high(b(4)) * 1000 + low(b(4)) * 100 + high(b(5)) * 10 + low(b(5));
    const qint64 med = qint64(high(b(6))) * 100000 + low(b(6)) * 10000 + high(b(7)) * 1000
        + low(b(7)) * 100 + high(b(8)) * 10 + low(b(8));

    HistoryEvent event;
    event.kind = 2;
    event.channel = 2;
    event.dateTime = dateTime;
    event.ed = float(ed / 1000.0);
    event.med = float(med / 100.0);
    event.number = number;
    event.cyclicHistory = flags & 0x80;
    event.timezoneChanged = flags & 0x40;
    event.edThreshold = flags & 0x20;
    event.medThreshold = flags & 0x10;
    event.batteryLow = flags & 0x08;
    event.memoryFault = flags & 0x04;
    event.detectorFault = flags & 0x02;
    event.hvFault = flags & 0x01;
    *out = event;
    return true;
}

HistoryResult decodeHistory(const QByteArray &buffer, int count)
{
    HistoryResult result;
    const int size = RecordSize;
    for (int k = 0; k < count && (k + 1) * size <= buffer.size(); ++k) {
        const char *record = buffer.constData() + k * size;
        HistoryEvent event;
        if (!decodeRecord(record, &event)) {
            result.invalidAt = k;
            result.invalidRecord = QByteArray(record, size);
            return result;
        }
        result.events.append(event);
        result.examined = k + 1;
    }
    return result;
}

} // namespace Tm4040Decoder
