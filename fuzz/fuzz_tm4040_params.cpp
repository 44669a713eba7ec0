// The TM4040 parameter block: decoding it as device info and settings do,
// and building the write frames back from what was decoded.
//
// Input: the parameter block as it would come off the link (any length;
// only 56 bytes decode). The first 16 bytes also serve as two raw doubles
// for the threshold frame, which takes any value a caller passes.

#include "FuzzCheck.h"
#include "Tm4040Decoder.h"
#include "Tm4040Frames.h"

#include <cstdint>
#include <cstring>

namespace {

quint8 at(const QByteArray &block, int index)
{
    return quint8(block.at(index));
}

bool isBcd(quint8 byte)
{
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

bool allBcd(const QByteArray &block, int from, int count)
{
    for (int i = from; i < from + count; ++i) {
        if (!isBcd(at(block, i)))
            return false;
    }
    return true;
}

QByteArray payloadOf(const QByteArray &frame, char letter)
{
    FUZZ_CHECK(frame.startsWith("RX3008M"));
    FUZZ_CHECK(frame.endsWith(letter));
    return frame.mid(7, frame.size() - 8);
}

// What readDeviceInfo and readSettings make of a decoded block.
void fillRecords(const Tm4040Decoder::Parameters &p, DeviceInfo *info, Tm4040Settings *settings)
{
    info->serialNumber = p.serialNumber;
    info->firmwareVersion = p.firmwareVersion;
    info->deviceTime = p.deviceTime;
    info->accumulatedDose = p.accumulatedDose();
    info->historyCount = p.historyCount;
    info->cyclicHistory = p.cyclicHistory;

    settings->alarmMinute = quint8(p.alarmMinute);
    settings->alarmHour = quint8(p.alarmHour);
    settings->alarmEnabled = p.alarmEnabled;
    settings->nextRecordHours = quint8(p.nextRecordHours);
    settings->nextRecordMinutes = quint8(p.nextRecordMinutes);
    settings->nextRecordSeconds = quint8(p.nextRecordSeconds);
    settings->historyStepHours = quint8(p.historyStepHours);
    settings->historyStepMinutes = quint8(p.historyStepMinutes);
    settings->historyStepSeconds = quint8(p.historyStepSeconds);
    settings->cyclicHistory = p.cyclicHistory;
    settings->historyEventsCount = quint16(p.historyCount);
    settings->medThreshold = p.medThreshold();
    settings->edThreshold = p.edThreshold();
    settings->accumulatedDose = p.accumulatedDose();
}

// Settings read and written back unchanged give the device its own bytes.
void checkWriteBack(const QByteArray &block, const Tm4040Decoder::Parameters &p)
{
    DeviceInfo info;
    Tm4040Settings settings;
    fillRecords(p, &info, &settings);
    FUZZ_CHECK(info.accumulatedDose >= 0 && info.accumulatedDose <= 42949.67296);
    FUZZ_CHECK(info.historyCount >= 0 && info.historyCount <= 16665);
    FUZZ_CHECK(info.serialNumber >= 0);

    const QByteArray thresholds = payloadOf(
        Tm4040Frames::writeThresholds(settings.medThreshold, settings.edThreshold), 'r');
    FUZZ_CHECK(thresholds.size() == 7);
    if (allBcd(block, 40, 7))
        FUZZ_CHECK(thresholds == block.mid(40, 7));

    const QByteArray alarm = payloadOf(
        Tm4040Frames::writeAlarm(settings.alarmMinute, settings.alarmHour, settings.alarmEnabled),
        'b');
    FUZZ_CHECK(alarm.size() == 3);
    if (allBcd(block, 6, 2))
        FUZZ_CHECK(alarm.left(2) == block.mid(6, 2));
    FUZZ_CHECK(alarm.at(2) == char(at(block, 8) != 0 ? 1 : 0));

    const quint8 timing[6]
        = {settings.nextRecordHours,  settings.nextRecordMinutes,  settings.nextRecordSeconds,
           settings.historyStepHours, settings.historyStepMinutes, settings.historyStepSeconds};
    quint8 mode = at(block, 26);
    mode = settings.cyclicHistory ? quint8(mode | 0x80) : quint8(mode & 0x7F);
    const QByteArray history
        = payloadOf(Tm4040Frames::writeHistorySettings(block.mid(12, 8), timing, mode), 'h');
    FUZZ_CHECK(history.size() == 15);
    FUZZ_CHECK(history.left(8) == block.mid(12, 8));
    if (allBcd(block, 20, 6))
        FUZZ_CHECK(history.mid(8, 6) == block.mid(20, 6));
    FUZZ_CHECK(quint8(history.at(14)) == at(block, 26));

    const QByteArray clear = payloadOf(Tm4040Frames::clearHistory(block), 'h');
    FUZZ_CHECK(clear == Tm4040Frames::clearedPointers() + block.mid(20, 7));

    if (p.deviceTime.isValid()) {
        const QDate date = p.deviceTime.date();
        const QTime time = p.deviceTime.time();
        // Local times that a clock change skips are moved; only an exact
        // one must come back as it went.
        if (date == QDate(p.year, p.month, p.day) && time == QTime(p.hour, p.minute, p.second)
            && allBcd(block, 0, 6)) {
            FUZZ_CHECK(payloadOf(Tm4040Frames::writeTime(p.deviceTime), 't') == block.left(6));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray block(reinterpret_cast<const char *>(data), int(size));

    const int count = Tm4040Decoder::historyCount(block);
    FUZZ_CHECK(size < 14 ? count == -1 : count >= 0 && count <= 16665);
    const int packets = Tm4040Decoder::historyPackets(count);
    FUZZ_CHECK(packets >= 0 && packets <= 167);

    Tm4040Decoder::Parameters p;
    const bool decoded = Tm4040Decoder::decodeParameters(block, &p);
    FUZZ_CHECK(decoded == (size == size_t(Tm4040Decoder::ParameterBlockSize)));
    if (decoded) {
        FUZZ_CHECK(p.historyCount == count);
        FUZZ_CHECK(p.cyclicHistory == ((at(block, 26) & 0x80) != 0));
        checkWriteBack(block, p);
    }
    // What the port search takes for a dosimeter decodes in range.
    if (Tm4040Decoder::isParameterBlock(block)) {
        FUZZ_CHECK(decoded && p.serialNumber > 0 && p.month <= 12 && p.hour <= 23);
        FUZZ_CHECK(allBcd(block, 0, 8) && allBcd(block, 20, 6) && allBcd(block, 40, 7));
    }

    // Threshold values from any caller, not only from a decoded block.
    if (size >= 16) {
        double rate = 0, dose = 0;
        std::memcpy(&rate, data, sizeof rate);
        std::memcpy(&dose, data + 8, sizeof dose);
        const QByteArray payload = payloadOf(Tm4040Frames::writeThresholds(rate, dose), 'r');
        FUZZ_CHECK(payload.size() == 7);
    }
    return 0;
}
