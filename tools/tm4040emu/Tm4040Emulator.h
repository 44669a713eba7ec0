#pragma once

#include "Tm4040IrdaCounters.h"
#include "Tm4040Scenario.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// A TM4040 dosimeter in software: it answers the plug-in's frames over
// loopback TCP or a pseudo-terminal, from a thread of its own, so the
// calling thread may block in the plug-in meanwhile.
//
// A test typically does:
//
//     Tm4040Scenario scenario;
//     scenario.serialNumber = 40401234;
//     scenario.records = Tm4040Scenario::generateRecords(
//         10, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
//     scenario.faults.silentCommands = "d";       // optional faults
//     Tm4040Emulator emulator(scenario);
//     QVERIFY(emulator.startTcp());              // or startPty()
//     emulator.exportLink();                     // TM4040_LINK=tcp:127.0.0.1:<port>
//     qputenv("TM4040_ANSWER_TIMEOUT_MS", "300"); // fail fast on faults
//     ... connectDevice() and other plug-in calls ...
//     QCOMPARE(emulator.receivedLetters(), QByteArray("p"));
//     QCOMPARE(emulator.parameterBlock().mid(40, 7), QByteArray::fromHex("00003500001500"));
//
// Faults can be changed at any time with setFaults(). The device state
// (parameter block, history memory) persists across connections until the
// emulator is destroyed. A link dropped by a fault ends a TCP connection
// (the next connect gets a new one) or, on a pseudo-terminal, the
// terminal itself.
//
// IrDA mode: startPty(PtyMode::Irda) plays the dosimeter behind a SIR
// infrared dongle on the terminal. The host then speaks IrDA as a primary
// station: discovery (XID), connection (SNRM/UA with negotiation, speed
// change after UA), the IAS query for "IrDA:IrCOMM" "IrDA:TinyTP:LsapSel",
// a TinyTP connection to that LSAP in IrCOMM nine-wire (cooked) mode, and
// the command frames above inside the IrCOMM data. link() is then
// "irda:/dev/pts/N". Faults of this mode are in Tm4040Faults::irda; a
// dropped link (dropLinkAfterPacket) makes the device fall silent, as if
// it left the beam, until the host starts a new discovery.
//
//     Tm4040Emulator emulator(scenario);
//     QVERIFY(emulator.startPty(Tm4040Emulator::PtyMode::Irda));
//     emulator.exportLink();                     // TM4040_LINK=irda:/dev/pts/N
//     ... plug-in calls ...
//     QCOMPARE(emulator.irdaCounters().linkConnections, 1);
class Tm4040Emulator
{
public:
    // What a pseudo-terminal carries: the command frames as they are, or
    // IrDA frames of a SIR dongle with the command frames inside.
    enum class PtyMode { Raw, Irda };

    explicit Tm4040Emulator(const Tm4040Scenario &scenario = Tm4040Scenario());
    ~Tm4040Emulator();
    Tm4040Emulator(const Tm4040Emulator &) = delete;
    Tm4040Emulator &operator=(const Tm4040Emulator &) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port, see tcpPort()).
    bool startTcp(quint16 port = 0);
    // Opens a pseudo-terminal; the plug-in opens ptyPath() as a serial port.
    bool startPty(PtyMode mode = PtyMode::Raw);
    void stop();
    bool isRunning() const;

    quint16 tcpPort() const;
    QString ptyPath() const;
    // The value for TM4040_LINK: "tcp:127.0.0.1:<port>", "serial:<pty>"
    // or, in IrDA mode, "irda:<pty>".
    QString link() const;
    // Sets TM4040_LINK of this process to link().
    void exportLink() const;

    // Prints every frame and answer to the debug log.
    void setVerbose(bool verbose);

    // The state of the device, as the plug-in would see it now.
    QByteArray parameterBlock() const;
    QList<QByteArray> records() const;
    void setRecords(const QList<QByteArray> &records);

    Tm4040Faults faults() const;
    void setFaults(const Tm4040Faults &faults);

    // Every frame received since the start (or the last clear), whole.
    QList<QByteArray> receivedFrames() const;
    // The command letters of those frames, e.g. "rbph".
    QByteArray receivedLetters() const;
    void clearReceivedFrames();
    // Connections accepted so far (TCP), or IrCOMM connections (IrDA mode).
    int connectionCount() const;
    // Answer bytes sent so far (counted just after each write, so it may
    // trail what the host has already read by a moment); in IrDA mode the
    // bytes on the line, framing included.
    qint64 bytesSent() const;

    // IrDA mode: whether it was started so, the dosimeter's device address
    // (the second device, when in range, has another one), and counters.
    bool isIrda() const;
    quint32 irdaAddress() const;
    Tm4040IrdaCounters irdaCounters() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};
