// The TM4040 history decoder on any bytes with any record count.
//
// Input: four bytes of record count (little-endian, any value, negative
// included), then the concatenated packets as they would come off the link.

#include "FuzzCheck.h"
#include "Tm4040Decoder.h"

#include <cstdint>
#include <cstring>

namespace {

int high(quint8 byte)
{
    return byte >> 4;
}

int low(quint8 byte)
{
    return byte & 0x0F;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    qint32 count = 0;
    std::memcpy(&count, data, sizeof count);
    const QByteArray buffer(reinterpret_cast<const char *>(data) + 4, int(size - 4));

    const int packets = Tm4040Decoder::historyPackets(count);
    FUZZ_CHECK(packets >= 0 && packets <= 167);
    FUZZ_CHECK((count <= 0) == (packets == 0));

    const Tm4040Decoder::HistoryResult result = Tm4040Decoder::decodeHistory(buffer, count);
    const int whole = buffer.size() / Tm4040Decoder::RecordSize;
    const int limit = qMax(0, qMin(count, whole));
    FUZZ_CHECK(result.events.size() == result.examined);
    FUZZ_CHECK(result.examined <= limit);
    if (result.invalidAt >= 0) {
        // Decoding stops at the first impossible date; nothing after it.
        FUZZ_CHECK(result.invalidAt == result.examined);
        FUZZ_CHECK(
            result.invalidRecord
            == buffer.mid(result.invalidAt * Tm4040Decoder::RecordSize, Tm4040Decoder::RecordSize));
    } else {
        FUZZ_CHECK(result.examined == limit);
        FUZZ_CHECK(result.invalidRecord.isEmpty());
    }

    for (int k = 0; k < result.events.size(); ++k) {
        const HistoryEvent &event = result.events.at(k);
        const auto *record
            = reinterpret_cast<const quint8 *>(buffer.constData()) + k * Tm4040Decoder::RecordSize;
        FUZZ_CHECK(event.kind == 2 && event.channel == 2);
        FUZZ_CHECK(event.dateTime.isValid());
        FUZZ_CHECK(event.dateTime.date().year() >= 2000 && event.dateTime.date().year() <= 2165);
        FUZZ_CHECK(event.number >= 0 && event.number <= 1665);
        FUZZ_CHECK(event.ed >= 0.0f && event.ed <= 16666.665f);
        FUZZ_CHECK(event.med >= 0.0f && event.med <= 16666.65f);
        // The eight flags go back into the nibbles they came from.
        FUZZ_CHECK(Tm4040Decoder::flagsOf(event) == quint8(low(record[1]) << 4 | high(record[2])));

        HistoryEvent again;
        FUZZ_CHECK(Tm4040Decoder::decodeRecord(reinterpret_cast<const char *>(record), &again));
        FUZZ_CHECK(again.dateTime == event.dateTime && again.number == event.number
                   && again.ed == event.ed && again.med == event.med);
    }
    return 0;
}
