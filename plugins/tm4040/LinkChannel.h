#pragma once

#include <QByteArray>
#include <QString>

// A blocking byte stream over a plain file descriptor: a serial port (or a
// pseudo-terminal) or a TCP socket.
//
// It is deliberately not a QObject. The plug-in object is called from
// different threads in turn (a search worker connects, an import worker
// reads, the settings dialog writes on the GUI thread), and Qt's sockets and
// serial ports belong to the thread that created them. A descriptor with
// poll() has no such affinity, so whichever thread holds the turn can use it.
// Calls must not overlap; the callers serialise them.
class LinkChannel
{
public:
    LinkChannel() = default;
    ~LinkChannel();
    LinkChannel(const LinkChannel &) = delete;
    LinkChannel &operator=(const LinkChannel &) = delete;

    // Opens a serial device raw, 8N1 at `baud`, without flow control.
    bool openSerial(const QString &path, int baud, QString *error);
    // Connects to host:port within `timeoutMs`.
    bool openTcp(const QString &host, quint16 port, int timeoutMs, QString *error);
    bool isOpen() const { return m_fd >= 0; }
    void close();

    // Writes all of `data` within `timeoutMs`.
    bool writeAll(const QByteArray &data, int timeoutMs);
    // Waits until `size` bytes have come, at most `timeoutMs`, and takes
    // exactly `size` bytes. Bytes of an incomplete answer stay buffered.
    bool readExact(QByteArray &out, int size, int timeoutMs);
    // Drops buffered and already arrived bytes; returns how many.
    int discardInput();
    // True once the other side has closed the stream or it failed.
    bool isBroken() const { return m_broken; }

private:
    // Reads what is there now, waiting at most `timeoutMs`. False on
    // timeout, end of stream or error.
    bool fill(int timeoutMs);

    int m_fd = -1;
    bool m_socket = false;
    bool m_broken = false;
    QByteArray m_pending;
};
