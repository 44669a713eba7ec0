#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

// A blocking byte stream over a plain file descriptor: a serial port (or a
// pseudo-terminal) or a TCP socket.
//
// It is deliberately not a QObject. The plug-in object is called from
// different threads in turn (a search worker connects, an import worker
// reads, the settings dialog writes on the GUI thread), and Qt's sockets and
// serial ports belong to the thread that created them. A descriptor with
// poll() has no such affinity, so whichever thread holds the turn can use it.
// The callers serialise the operations. The one exception is close(): it
// may come from another thread while an operation waits on the line (a
// dialog that goes away during a download closes the link on the GUI
// thread). It then wakes that operation, which fails at once, and closes
// the descriptor only after the operation has let go of it.
class LinkChannel
{
public:
    LinkChannel();
    ~LinkChannel();
    LinkChannel(const LinkChannel &) = delete;
    LinkChannel &operator=(const LinkChannel &) = delete;

    // Opens a serial device raw, 8N1 at `baud`, without flow control.
    bool openSerial(const QString &path, int baud, QString *error);
    // Connects to host:port within `timeoutMs`.
    bool openTcp(const QString &host, quint16 port, int timeoutMs, QString *error);
    bool isOpen() const { return m_fd >= 0; }
    // Safe from any thread, also while another operation runs.
    void close();

    // Writes all of `data` within `timeoutMs`.
    bool writeAll(const QByteArray &data, int timeoutMs);
    // Waits until `size` bytes have come, at most `timeoutMs`, and takes
    // exactly `size` bytes. Bytes of an incomplete answer stay buffered.
    bool readExact(QByteArray &out, int size, int timeoutMs);
    // Drops buffered and already arrived bytes; returns how many.
    int discardInput();

private:
    // Reads what is there now, waiting at most `timeoutMs`. False on
    // timeout, end of stream, error or a close from another thread.
    bool fill(int timeoutMs);
    // Waits for `events` on the descriptor or a close request; the
    // descriptor's revents, 0 on timeout, -1 when to give up.
    int waitFor(short events, int timeoutMs);
    void closeLocked();

    std::mutex m_operation; // held by every operation on the descriptor
    std::atomic<bool> m_closing {false};
    int m_wake[2] = {-1, -1}; // written by close() to wake a waiting operation
    std::atomic<int> m_fd {-1};
    bool m_socket = false;
    bool m_broken = false;
    QByteArray m_pending;
};
