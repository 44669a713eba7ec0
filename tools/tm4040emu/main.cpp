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

// A rate given in percent, as a fraction.
double percentOption(const QCommandLineParser &parser, const QString &name)
{
    if (!parser.isSet(name))
        return 0;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < 0 || value > 100) {
        std::fprintf(stderr, "tm4040-emulator: --%s needs a percentage\n", qPrintable(name));
        std::exit(2);
    }
    return value / 100;
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
        "Emulates a TM4040 dosimeter on loopback TCP or a pseudo-terminal,\n"
        "with --irda behind an emulated SIR infrared dongle.\n"
        "Prints the TM4040_LINK value for the program, then serves until interrupted."));
    parser.addHelpOption();
    parser.addOptions({
        {"tcp", "Serve TCP on 127.0.0.1:<port> (0 picks a free port). The default.", "port"},
        {"pty", "Serve on a pseudo-terminal instead of TCP."},
        {"irda", "Serve on a pseudo-terminal as an IrDA device behind a SIR dongle."},
        {"irda-address", "IrDA device address (hexadecimal; random by default).", "hex"},
        {"irda-nickname", "Nickname given in discovery.", "text"},
        {"irda-seed", "Seed of the random choices (slots, lost frames).", "n"},
        {"irda-drop-in", "Percent of frames from the host that are lost.", "percent"},
        {"irda-drop-out", "Percent of frames to the host that are lost.", "percent"},
        {"irda-corrupt-in", "Percent of frames from the host that arrive damaged.", "percent"},
        {"irda-corrupt-out", "Percent of frames to the host that arrive damaged.", "percent"},
        {"irda-busy", "Answer RNR for this long (ms) ...", "ms"},
        {"irda-busy-after", "... once this many I-frames came on a link.", "n"},
        {"irda-refuse", "Refuse every connection (DM)."},
        {"irda-two-devices", "A second device in range, answering first and refusing."},
        {"irda-max-baud", "Highest speed accepted in negotiation.", "baud"},
        {"irda-real-timing", "Send at the pace of the link speed."},
        {"irda-check-speed", "Lose frames sent while the host's port is at the wrong speed."},
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

    Tm4040IrdaFaults &irda = faults.irda;
    irda.seed = quint32(intOption(parser, "irda-seed", int(irda.seed)));
    irda.dropToDevice = percentOption(parser, "irda-drop-in");
    irda.dropFromDevice = percentOption(parser, "irda-drop-out");
    irda.corruptToDevice = percentOption(parser, "irda-corrupt-in");
    irda.corruptFromDevice = percentOption(parser, "irda-corrupt-out");
    irda.busyMs = intOption(parser, "irda-busy", 0);
    irda.busyAfterIFrames = intOption(parser, "irda-busy-after", 0);
    irda.refuseConnection = parser.isSet("irda-refuse");
    irda.secondDeviceRefusing = parser.isSet("irda-two-devices");
    irda.maxBaud = intOption(parser, "irda-max-baud", irda.maxBaud);
    irda.realTiming = parser.isSet("irda-real-timing");
    irda.checkHostSpeed = parser.isSet("irda-check-speed");
    if (parser.isSet("irda-address")) {
        bool ok = false;
        scenario.irdaAddress = parser.value("irda-address").toUInt(&ok, 16);
        if (!ok || scenario.irdaAddress == 0 || scenario.irdaAddress == 0xFFFFFFFF) {
            std::fprintf(stderr, "tm4040-emulator: bad --irda-address\n");
            return 2;
        }
    }
    if (parser.isSet("irda-nickname"))
        scenario.irdaNickname = parser.value("irda-nickname").toLatin1();

    Tm4040Emulator emulator(scenario);
    emulator.setVerbose(parser.isSet("verbose"));
    bool started = false;
    if (parser.isSet("irda"))
        started = emulator.startPty(Tm4040Emulator::PtyMode::Irda);
    else if (parser.isSet("pty"))
        started = emulator.startPty();
    else
        started = emulator.startTcp(quint16(intOption(parser, "tcp", 0)));
    if (!started) {
        std::fprintf(stderr, "tm4040-emulator: cannot start: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("TM4040_LINK=%s\n", qPrintable(emulator.link()));
    if (emulator.isIrda())
        std::printf("IrDA device address %08X\n", emulator.irdaAddress());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    emulator.stop();
    return 0;
}
