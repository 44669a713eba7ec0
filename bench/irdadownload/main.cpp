// bench_irdadownload: reads a full TM4040 history memory (501 records in 167
// packets after one "H" command) through libtm4040.so and its infrared
// stack from the emulator's IrDA mode, with the bytes paced at the link's
// speed: once at 9600 baud and once at a negotiated 115200 baud. Beside
// each figure: the raw byte time of the bytes the commands bring (the
// parameter block and the packets, 10 bits a byte) at 9600 and at 115200.
// Goals: at 9600 within 1.3 x the raw time at 9600; at 115200 under 1.5 s.
//
//   bench_irdadownload [runs]

#include "Tm4040Emulator.h"
#include "bench/BenchPlugin.h"
#include "device/PluginInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 CommandBytes = 56 + 167 * 48;

double rawTime(int baud)
{
    return CommandBytes * 10.0 / baud;
}

// The median download time at `baud`, or a negative value on failure.
double measure(AbstractPlugin *plugin, int baud, int runs)
{
    Tm4040Scenario scenario;
    scenario.records = Tm4040Scenario::generateRecords(501, QDateTime(QDate(2024, 1, 1), QTime()));
    scenario.faults.irda.realTiming = true;
    scenario.faults.irda.maxBaud = baud;
    Tm4040Emulator emulator(scenario);
    if (!emulator.startPty(Tm4040Emulator::PtyMode::Irda)) {
        std::fprintf(stderr, "cannot start the emulator\n");
        return -1;
    }
    emulator.exportLink();
    if (!plugin->connectDevice()) {
        std::fprintf(stderr, "cannot connect to the emulator at %d baud\n", baud);
        return -1;
    }
    std::vector<double> times;
    for (int run = 1; run <= runs; ++run) {
        QList<HistoryEvent *> events;
        QElapsedTimer timer;
        timer.start();
        plugin->readHistory(events, true);
        const double seconds = timer.nsecsElapsed() / 1e9;
        const int count = events.size();
        qDeleteAll(events);
        if (count != 501) {
            std::fprintf(stderr, "run %d: %d records instead of 501\n", run, count);
            plugin->disconnectDevice();
            return -1;
        }
        times.push_back(seconds);
        std::printf("  %6d baud, run %d: %.3f s\n", emulator.irdaCounters().baud, run, seconds);
    }
    plugin->disconnectDevice();
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QLibrary library;
    AbstractPlugin *plugin = loadBenchPlugin(library, ORVANE_PLUGIN_FILE);
    if (!plugin)
        return 1;

    std::printf("Full-memory download over IrDA, 501 records in 167 packets (%lld bytes)\n",
                static_cast<long long>(CommandBytes));
    const double slow = measure(plugin, 9600, runs);
    const double fast = measure(plugin, 115200, runs);
    if (slow < 0 || fast < 0)
        return 1;
    const bool slowOk = slow <= 1.3 * rawTime(9600);
    const bool fastOk = fast < 1.5;
    std::printf(
        "9600 baud:   median %.3f s, raw byte time at 9600 %.3f s: %.2f x (goal 1.3 x) %s\n", slow,
        rawTime(9600), slow / rawTime(9600), slowOk ? "OK" : "MISSED");
    std::printf("115200 baud: median %.3f s, raw byte time at 115200 %.3f s, at 9600 %.3f s "
                "(goal under 1.5 s) %s\n",
                fast, rawTime(115200), rawTime(9600), fastOk ? "OK" : "MISSED");
    return slowOk && fastOk ? 0 : 2;
}
