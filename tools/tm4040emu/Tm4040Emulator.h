#pragma once

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
class Tm4040Emulator
{
public:
    explicit Tm4040Emulator(const Tm4040Scenario &scenario = Tm4040Scenario());
    ~Tm4040Emulator();
    Tm4040Emulator(const Tm4040Emulator &) = delete;
    Tm4040Emulator &operator=(const Tm4040Emulator &) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port, see tcpPort()).
    bool startTcp(quint16 port = 0);
    // Opens a pseudo-terminal; the plug-in opens ptyPath() as a serial port.
    bool startPty();
    void stop();
    bool isRunning() const;

    quint16 tcpPort() const;
    QString ptyPath() const;
    // The value for TM4040_LINK: "tcp:127.0.0.1:<port>" or "serial:<pty>".
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
    // Connections accepted so far (TCP).
    int connectionCount() const;
    // Answer bytes sent so far (counted just after each write, so it may
    // trail what the host has already read by a moment).
    qint64 bytesSent() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};
