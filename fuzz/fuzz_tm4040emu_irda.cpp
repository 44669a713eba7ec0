// The emulator's IrDA device side: whatever a host sends to the dongle goes
// through the SIR deframer, IrLAP, IrLMP with the IAS server, TinyTP and
// IrCOMM to the device model, and everything the device sends back must be
// a whole frame within the sizes IrLAP allows.
//
// Input: records of a flags byte, a length byte and that many bytes. Flags
// bit 0: the bytes go to the dongle as they are (noise, broken frames);
// else they are one frame, sent with its FCS. Bit 1: 4 s pass before it
// (timers: busy spells, split answers, the disconnect time). Bit 2: the
// second device is in range. The dosimeter's address is 04030201.

#include "FuzzCheck.h"
#include "Tm4040DeviceModel.h"
#include "irda/Tm4040IrSirDeframer.h"
#include "irda/Tm4040IrSirFramer.h"
#include "irda/Tm4040IrdaAir.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Tm4040Scenario scenario;
    scenario.irdaAddress = 0x04030201;
    scenario.clock = QDateTime(QDate(2024, 5, 1), QTime(8, 0));
    scenario.clockRunning = false;
    scenario.records = Tm4040Scenario::generateRecords(7, scenario.clock.addDays(-1));
    scenario.faults.splitCommands = "p";
    Tm4040DeviceModel model(scenario);
    Tm4040IrdaAir air(scenario, [&model, &scenario](const QByteArray &frame) {
        return model.handle(frame, scenario.faults);
    });
    Tm4040IrdaFaults faults;
    faults.busyMs = 3000;
    faults.busyAfterIFrames = 5;

    qint64 now = 0;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t flags = data[at];
        const size_t length = qMin<size_t>(data[at + 1], size - at - 2);
        const QByteArray bytes(reinterpret_cast<const char *>(data + at + 2), int(length));
        at += 2 + length;

        now += (flags & 0x02) ? 4000000 : 1000;
        faults.secondDeviceRefusing = flags & 0x04;
        air.setFaults(faults, now);
        air.onTimer(now);
        const QByteArray line = (flags & 0x01) ? bytes : Tm4040IrSirFramer::wrap(bytes, 1);
        air.receive(line.constData(), line.size(), now);

        Tm4040IrSirDeframer deframer;
        for (const Tm4040IrdaAir::Chunk &chunk : air.takeWire()) {
            FUZZ_CHECK(chunk.baud >= 2400 && chunk.baud <= 115200);
            deframer.feed(chunk.bytes.constData(), chunk.bytes.size());
            QByteArray frame;
            FUZZ_CHECK(deframer.takeFrame(&frame));
            FUZZ_CHECK(Tm4040IrSirFramer::checkFcs(frame));
            // Address, control, at most 2048 bytes of information, FCS.
            FUZZ_CHECK(frame.size() <= 2 + 2048 + 2);
            FUZZ_CHECK(!deframer.takeFrame(&frame));
        }
        FUZZ_CHECK(deframer.droppedFrames() == 0);
    }
    return 0;
}
