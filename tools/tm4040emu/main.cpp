// tm4040-emulator: serves an emulated TM4040 dosimeter until interrupted.
//
//   tm4040-emulator --tcp 0 --records 120
//   TM4040_LINK=tcp:127.0.0.1:<port> ./orvane

#include "Tm4040Emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

int intOption(const QCommandLineParser &parser, const QString &name, int fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "tm4040-emulator: --%s needs a number\n", qPrintable(name));
        std::exit(2);
    }
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    // Wait for these in the main thread; the serving thread must not get them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tm4040-emulator"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Emulates a TM4040 dosimeter on loopback TCP or a pseudo-terminal.\n"
        "Prints the TM4040_LINK value for the program, then serves until interrupted."));
    parser.addHelpOption();
    parser.addOptions({
        {"tcp", "Serve TCP on 127.0.0.1:<port> (0 picks a free port). The default.", "port"},
        {"pty", "Serve on a pseudo-terminal instead of TCP."},
        {"serial", "Serial number (8 digits).", "number"},
        {"firmware", "Firmware version code.", "code"},
        {"records", "Number of history records to generate.", "count"},
        {"records-file", "History records from a file: 16 hex bytes a line.", "file"},
        {"start", "Date-time of the first generated record (ISO 8601).", "datetime"},
        {"step", "Seconds between generated records.", "seconds"},
        {"count", "Record count the device reports, in place of the records held.", "count"},
        {"clock", "Device clock (ISO 8601); the machine's clock by default.", "datetime"},
        {"frozen-clock", "Keep the device clock from running."},
        {"dose", "Accumulated dose, unit 0.00001 mSv.", "raw"},
        {"baud", "Emulated link speed in baud (0: unlimited).", "baud"},
        {"silent", "Command letters left unanswered, e.g. pH.", "letters"},
        {"split", "Command letters answered in two parts.", "letters"},
        {"split-pause", "Pause between the two parts, ms.", "ms"},
        {"short", "Command letters answered with only 20 bytes.", "letters"},
        {"delay", "Pause before every answer, ms.", "ms"},
        {"missing-packet", "History packet the device leaves out (1-based).", "n"},
        {"drop-after-packet", "Drop the link after this history packet.", "n"},
        {"bad-date-record", "History record whose month reads 13 (1-based).", "n"},
        {"verbose", "Print every frame and answer."},
    });
    parser.process(app);

    Tm4040Scenario scenario;
    scenario.serialNumber = quint32(intOption(parser, "serial", int(scenario.serialNumber)));
    scenario.firmwareVersion = quint8(intOption(parser, "firmware", scenario.firmwareVersion));
    if (parser.isSet("clock")) {
        scenario.clock = QDateTime::fromString(parser.value("clock"), Qt::ISODate);
        if (!scenario.clock.isValid()) {
            std::fprintf(stderr, "tm4040-emulator: bad --clock\n");
            return 2;
        }
    }
    scenario.clockRunning = !parser.isSet("frozen-clock");
    if (!scenario.clockRunning && !scenario.clock.isValid())
        scenario.clock = QDateTime::currentDateTime();
    scenario.accumulatedDoseRaw
        = quint32(intOption(parser, "dose", int(scenario.accumulatedDoseRaw)));
    if (parser.isSet("records-file")) {
        QString error;
        if (!Tm4040Scenario::loadRecords(parser.value("records-file"), &scenario.records, &error)) {
            std::fprintf(stderr, "tm4040-emulator: %s\n", qPrintable(error));
            return 2;
        }
    } else {
        QDateTime start = QDateTime::currentDateTime().addDays(-1);
        if (parser.isSet("start"))
            start = QDateTime::fromString(parser.value("start"), Qt::ISODate);
        if (!start.isValid()) {
            std::fprintf(stderr, "tm4040-emulator: bad --start\n");
            return 2;
        }
        scenario.records = Tm4040Scenario::generateRecords(intOption(parser, "records", 30), start,
                                                           intOption(parser, "step", 300));
    }
    scenario.reportedCount = intOption(parser, "count", -1);

    Tm4040Faults &faults = scenario.faults;
    faults.baudRate = intOption(parser, "baud", 0);
    faults.silentCommands = parser.value("silent").toLatin1();
    faults.splitCommands = parser.value("split").toLatin1();
    faults.splitPauseMs = intOption(parser, "split-pause", faults.splitPauseMs);
    faults.shortCommands = parser.value("short").toLatin1();
    faults.answerDelayMs = intOption(parser, "delay", 0);
    faults.missingHistoryPacket = intOption(parser, "missing-packet", 0);
    faults.dropLinkAfterPacket = intOption(parser, "drop-after-packet", 0);
    faults.impossibleDateRecord = intOption(parser, "bad-date-record", 0);

    Tm4040Emulator emulator(scenario);
    emulator.setVerbose(parser.isSet("verbose"));
    const bool started = parser.isSet("pty")
        ? emulator.startPty()
        : emulator.startTcp(quint16(intOption(parser, "tcp", 0)));
    if (!started) {
        std::fprintf(stderr, "tm4040-emulator: cannot start: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("TM4040_LINK=%s\n", qPrintable(emulator.link()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    emulator.stop();
    return 0;
}
