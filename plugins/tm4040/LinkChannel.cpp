#include "LinkChannel.h"

#include "SerialLine.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int remainingOf(const QElapsedTimer &timer, int timeoutMs)
{
    return qMax<qint64>(0, timeoutMs - timer.elapsed());
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

LinkChannel::LinkChannel()
{
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
}

LinkChannel::~LinkChannel()
{
    close();
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

void LinkChannel::close()
{
    // Wake an operation waiting on the line, then wait for it to let go.
    m_closing = true;
    if (m_wake[1] >= 0) {
        const char byte = 0;
        (void)!::write(m_wake[1], &byte, 1);
    }
    std::lock_guard<std::mutex> lock(m_operation);
    closeLocked();
    char drain[64];
    while (m_wake[0] >= 0 && ::read(m_wake[0], drain, sizeof drain) > 0) { }
    m_closing = false;
}

void LinkChannel::closeLocked()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_socket = false;
    m_broken = false;
    m_pending.clear();
}

int LinkChannel::waitFor(short events, int timeoutMs)
{
    pollfd p[2] = {{m_fd, events, 0}, {m_wake[0], POLLIN, 0}};
    for (;;) {
        if (m_closing)
            return -1;
        const int ready = ::poll(p, m_wake[0] >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || m_closing || (p[1].revents & POLLIN))
            return -1;
        return ready == 0 ? 0 : p[0].revents;
    }
}

bool LinkChannel::openSerial(const QString &path, int baud, QString *error)
{
    std::lock_guard<std::mutex> lock(m_operation);
    closeLocked();
    const int fd = SerialLine::openRaw(path, baud, error);
    if (fd < 0)
        return false;
    m_fd = fd;
    m_socket = false;
    return true;
}

bool LinkChannel::openTcp(const QString &host, quint16 port, int timeoutMs, QString *error)
{
    std::lock_guard<std::mutex> lock(m_operation);
    closeLocked();
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const int status = ::getaddrinfo(host.toUtf8().constData(),
                                     QByteArray::number(port).constData(), &hints, &addresses);
    if (status != 0) {
        *error = QString::fromLocal8Bit(::gai_strerror(status));
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    int fd = -1;
    for (addrinfo *a = addresses; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            *error = errnoText();
            continue;
        }
        int connected = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (connected != 0 && errno == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            int ready;
            do {
                ready = ::poll(&p, 1, remainingOf(timer, timeoutMs));
            } while (ready < 0 && errno == EINTR);
            int soError = ETIMEDOUT;
            socklen_t length = sizeof soError;
            if (ready > 0)
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
            errno = soError;
            connected = soError == 0 ? 0 : -1;
        }
        if (connected != 0) {
            *error = errnoText();
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(addresses);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_fd = fd;
    m_socket = true;
    return true;
}

bool LinkChannel::writeAll(const QByteArray &data, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_operation);
    if (m_fd < 0 || m_closing)
        return false;
    QElapsedTimer timer;
    timer.start();
    int done = 0;
    while (done < data.size()) {
        // A socket whose peer has gone must not raise SIGPIPE in the program.
        const ssize_t n = m_socket
            ? ::send(m_fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL)
            : ::write(m_fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_broken = true;
            return false;
        }
        if (waitFor(POLLOUT, remainingOf(timer, timeoutMs)) <= 0)
            return false;
    }
    return true;
}

bool LinkChannel::fill(int timeoutMs)
{
    const int revents = waitFor(POLLIN, timeoutMs);
    if (revents <= 0)
        return false;
    char chunk[4096];
    const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
    if (n > 0) {
        m_pending.append(chunk, int(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    // A raw terminal reads 0 bytes when it has none; only a hang-up ends it.
    if (n == 0 && !m_socket && !(revents & POLLHUP))
        return true;
    // End of stream, or an error such as EIO from a pseudo-terminal whose
    // other side has closed: nothing more will come.
    m_broken = true;
    return false;
}

bool LinkChannel::readExact(QByteArray &out, int size, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_operation);
    if (m_fd < 0 || size < 0)
        return false;
    QElapsedTimer timer;
    timer.start();
    while (m_pending.size() < size) {
        if (m_broken || m_closing)
            return false;
        const int remaining = remainingOf(timer, timeoutMs);
        if (remaining <= 0 || !fill(remaining)) {
            if (m_pending.size() >= size)
                break;
            if (m_broken || m_closing || timer.elapsed() >= timeoutMs)
                return false;
        }
    }
    out = m_pending.left(size);
    m_pending.remove(0, size);
    return true;
}

int LinkChannel::discardInput()
{
    std::lock_guard<std::mutex> lock(m_operation);
    if (m_fd < 0)
        return 0;
    int dropped = m_pending.size();
    m_pending.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            dropped += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A raw terminal reads 0 bytes when it has none; a socket ends.
        if ((n == 0 && m_socket) || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            m_broken = true;
        break;
    }
    return dropped;
}
