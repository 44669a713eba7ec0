// bench_download: reads a full TM4040 history memory (501 records in 167
// packets) through libtm4040.so from the emulator running at 9600 baud,
// and prints the time beside the link's own byte time for the bytes the
// device sent (10 bits a byte). Goal: within 10 % of the byte time.
//
//   bench_download [runs] [baud]

#include "Tm4040Emulator.h"
#include "bench/BenchPlugin.h"
#include "device/PluginInterface.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const int baud = argc > 2 ? std::max(1, atoi(argv[2])) : 9600;
    QLibrary library;
    AbstractPlugin *plugin = loadBenchPlugin(library, ORVANE_PLUGIN_FILE);
    if (!plugin)
        return 1;

    Tm4040Scenario scenario;
    scenario.records = Tm4040Scenario::generateRecords(501, QDateTime(QDate(2024, 1, 1), QTime()));
    scenario.faults.baudRate = baud;
    Tm4040Emulator emulator(scenario);
    if (!emulator.startTcp()) {
        std::fprintf(stderr, "cannot start the emulator\n");
        return 1;
    }
    emulator.exportLink();
    if (!plugin->connectDevice()) {
        std::fprintf(stderr, "cannot connect to the emulator\n");
        return 1;
    }

    std::printf("Full-memory download, 501 records in 167 packets, link %d baud (8N1)\n", baud);
    std::vector<double> ratios;
    for (int run = 1; run <= runs; ++run) {
        QList<HistoryEvent *> events;
        QElapsedTimer timer;
        timer.start();
        plugin->readHistory(events, true);
        const double measured = timer.nsecsElapsed() / 1e9;
        // The parameter block that gives the count, then the packets.
        const qint64 bytes = 56 + 167 * 48;
        const double byteTime = bytes * 10.0 / baud;
        const int count = events.size();
        qDeleteAll(events);
        if (count != 501) {
            std::fprintf(stderr, "run %d: %d records instead of 501\n", run, count);
            return 1;
        }
        ratios.push_back(measured / byteTime);
        std::printf("run %d: %lld bytes  measured %.3f s  link byte time %.3f s  (+%.1f %%)\n", run,
                    static_cast<long long>(bytes), measured, byteTime,
                    (measured / byteTime - 1.0) * 100.0);
    }
    plugin->disconnectDevice();
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("median: %.1f %% above the link byte time (goal: within 10 %%) %s\n",
                (median - 1.0) * 100.0, median <= 1.10 ? "OK" : "MISSED");
    return median <= 1.10 ? 0 : 2;
}
