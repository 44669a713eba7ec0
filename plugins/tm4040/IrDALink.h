#pragma once

#include "IrFrameTrace.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class IrCommClient;

// The infrared stack on a serial port with an SIR dongle: owns the port,
// a thread and the real clock, and pumps the stack (irda/IrCommClient).
// The thread keeps the link alive between the caller's operations (the
// device drops a link that is not polled), follows the negotiated speed
// and goes back to 9600 b/s when the link ends.
//
// Calls may come from any thread, one operation at a time; close() may
// also come from another thread while an operation waits and ends that
// wait at once.
class IrDALink
{
public:
    // The service to connect to: its IAS class name, and whether it speaks
    // IrCOMM nine-wire (control channel before the data).
    struct Service
    {
        QByteArray className = "IrDA:IrCOMM";
        bool nineWire = true;
    };

    IrDALink();
    ~IrDALink();
    IrDALink(const IrDALink &) = delete;
    IrDALink &operator=(const IrDALink &) = delete;

    // Opens `path`, discovers devices (`rounds` rounds 200 ms apart) and
    // connects to the first that takes a connection to `service`, offering
    // speeds up to `maxBaud`. One line per refusing device goes to
    // `refusals`; `error` says why it failed.
    bool open(const QString &path, int maxBaud, int rounds, const Service &service,
              QStringList *refusals, QString *error);
    bool isOpen() const;
    // Hands `data` to the link and waits until the device acknowledged it.
    bool write(const QByteArray &data, int timeoutMs);
    // Waits for exactly `size` bytes; bytes of an incomplete answer stay.
    bool read(QByteArray &out, int size, int timeoutMs);
    int discardInput();
    // Disconnects (DISC), stops the thread and closes the port.
    void close();

private:
    void run();
    void wake();
    void flushLog();
    void logFrame(IrFrameTrace &trace, const QByteArray &frame);
    void endTrace();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unique_ptr<IrCommClient> m_client; // guarded by m_mutex
    QByteArray m_received; // guarded by m_mutex
    std::thread m_thread;
    std::mutex m_lifecycle; // open and close, one at a time
    std::atomic<bool> m_closing {false};
    std::atomic<bool> m_quiet {false};
    bool m_running = false; // guarded by m_mutex
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    int m_portBaud = 9600;
    bool m_tracing = false;
    IrFrameTrace m_traceIn {QStringLiteral("in")}; // the link thread's
    IrFrameTrace m_traceOut {QStringLiteral("out")}; // the link thread's
};
