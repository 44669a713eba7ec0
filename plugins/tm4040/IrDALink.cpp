#include "IrDALink.h"

#include "SerialLine.h"
#include "Tm4040Log.h"
#include "irda/IrCommClient.h"

#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

IrMicros clockNow()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Longest an open may take: three discovery rounds and every device's
// connection attempts fit well inside.
constexpr std::chrono::seconds OpenLimit(120);
// How long a closing link waits for the device's answer to DISC.
constexpr IrMicros CloseLimit = 1500 * IrMillisecond;

IrCommClient::Config clientConfig(int maxBaud, int rounds, const IrDALink::Service &service)
{
    IrCommClient::Config config;
    config.className = service.className;
    config.nineWire = service.nineWire;
    QRandomGenerator *random = QRandomGenerator::system();
    // A random device address (never 0 or the broadcast address) and
    // connection address, as every primary picks its own.
    quint32 address = 0;
    while (address == 0 || address == 0xFFFFFFFF)
        address = random->generate();
    config.lap.ownAddress = address;
    config.lap.connectionAddress = quint8(1 + random->bounded(0x7E));
    config.lap.offer = IrLapPrimary::defaultOffer(maxBaud);
    // Hints: computer (with the extension bit), IrCOMM; ASCII nickname.
    config.lap.discoveryInfo = QByteArray::fromHex("840400") + QByteArray("orvane");
    config.discoveryRounds = qMax(1, rounds);
    return config;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd p = {fd, POLLOUT, 0};
        // A line that takes nothing for this long is gone.
        if (::poll(&p, 1, 3000) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return true;
}

} // namespace

IrDALink::IrDALink() = default;

IrDALink::~IrDALink()
{
    // At unload the log may already be gone: the last words are not said.
    m_quiet = true;
    close();
}

void IrDALink::wake()
{
    if (m_wake[1] >= 0) {
        const char byte = 0;
        (void)!::write(m_wake[1], &byte, 1);
    }
}

void IrDALink::flushLog()
{
    const QStringList notes = m_client->takeNotes();
    if (m_quiet)
        return;
    for (const QString &note : notes)
        qCDebug(lcTm4040).noquote() << "irda:" << note;
    if (!m_tracing)
        return;
    const QList<QByteArray> frames = m_client->lap().takeReceivedFrames();
    for (const QByteArray &frame : frames)
        logFrame(m_traceIn, frame);
}

void IrDALink::logFrame(IrFrameTrace &trace, const QByteArray &frame)
{
    for (const QString &line : trace.take(frame))
        qCDebug(lcTm4040).noquote() << line;
}

void IrDALink::endTrace()
{
    const QStringList lines = m_traceIn.finish() + m_traceOut.finish();
    if (m_quiet)
        return;
    for (const QString &line : lines)
        qCDebug(lcTm4040).noquote() << line;
}

bool IrDALink::open(const QString &path, int maxBaud, int rounds, const Service &service,
                    QStringList *refusals, QString *error)
{
    close();
    std::lock_guard<std::mutex> lifecycle(m_lifecycle);
    m_fd = SerialLine::openRaw(path, 9600, error);
    if (m_fd < 0)
        return false;
    if (::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        *error = QStringLiteral("no wake-up pipe");
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_portBaud = 9600;
    m_tracing = lcTm4040().isDebugEnabled();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_client.reset(new IrCommClient(clientConfig(maxBaud, rounds, service), clockNow()));
        m_client->lap().setTracing(m_tracing);
        m_client->open(clockNow());
        m_received.clear();
        m_running = true;
    }
    m_thread = std::thread([this] { run(); });

    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, OpenLimit, [this] {
        return m_closing || !m_running || m_client->state() != IrCommClient::State::Opening;
    });
    const bool ok = !m_closing && m_running && m_client->isOpen();
    const QList<IrCommClient::Refusal> refused = m_client->takeRefusals();
    for (const IrCommClient::Refusal &refusal : refused)
        refusals->append(refusal.reason + QStringLiteral(" ") + refusal.device.describe());
    if (!ok) {
        *error = m_closing                  ? QStringLiteral("closed")
            : m_client->failure().isEmpty() ? QStringLiteral("no connection")
                                            : m_client->failure();
    }
    lock.unlock();
    if (!ok) {
        m_closing = true;
        wake();
        m_thread.join();
        std::lock_guard<std::mutex> relock(m_mutex);
        m_client.reset();
        ::close(m_fd);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        m_fd = m_wake[0] = m_wake[1] = -1;
        m_closing = false;
    }
    return ok;
}

bool IrDALink::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running && m_client && m_client->isOpen();
}

void IrDALink::close()
{
    m_closing = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changed.notify_all();
    }
    std::lock_guard<std::mutex> lifecycle(m_lifecycle);
    wake();
    if (m_thread.joinable())
        m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_client.reset();
        m_received.clear();
        m_running = false;
    }
    for (int *fd : {&m_fd, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_closing = false;
}

bool IrDALink::write(const QByteArray &data, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_running || m_closing || !m_client || !m_client->write(data))
        return false;
    wake();
    const auto done = [this] {
        return m_closing || !m_running || !m_client->isOpen() || m_client->writeDrained();
    };
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    return !m_closing && m_running && m_client->isOpen() && m_client->writeDrained();
}

bool IrDALink::read(QByteArray &out, int size, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_running || !m_client || size < 0)
        return false;
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_received.size() >= size || m_closing || !m_running || !m_client->isOpen();
    });
    if (m_closing || m_received.size() < size)
        return false;
    out = m_received.left(size);
    m_received.remove(0, size);
    return true;
}

int IrDALink::discardInput()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int dropped = m_received.size();
    m_received.clear();
    return dropped;
}

void IrDALink::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool closing = false;
    bool lineGone = false;
    IrMicros closeDeadline = IrNever;
    for (;;) {
        IrMicros now = clockNow();
        if (m_closing && !closing) {
            closing = true;
            closeDeadline = now + CloseLimit;
            m_client->close(now);
        }
        m_client->onTimer(now);
        if (closing
            && (m_client->state() != IrCommClient::State::Closing || now >= closeDeadline
                || lineGone)) {
            break;
        }
        const QList<IrTransmission> out = m_client->takeTransmit();
        const int lineBaud = m_client->lineBaud();
        const IrMicros deadline = m_client->nextDeadline();
        flushLog();
        m_changed.notify_all();
        lock.unlock();

        bool lineOk = !lineGone;
        for (const IrTransmission &transmission : out) {
            if (!lineOk)
                break;
            if (transmission.baud != m_portBaud) {
                SerialLine::setSpeed(m_fd, transmission.baud);
                m_portBaud = transmission.baud;
            }
            if (m_tracing && !m_quiet)
                logFrame(m_traceOut, transmission.frame);
            lineOk = writeAll(m_fd, transmission.line);
        }
        if (lineOk && out.isEmpty() && lineBaud != m_portBaud) {
            SerialLine::setSpeed(m_fd, lineBaud);
            m_portBaud = lineBaud;
        }

        IrMicros wait = deadline == IrNever ? IrSecond : qMax<IrMicros>(0, deadline - clockNow());
        wait = qMin(wait, IrSecond);
        const timespec timeout = {time_t(wait / IrSecond), long(wait % IrSecond) * 1000};
        pollfd fds[2] = {{lineOk ? m_fd : -1, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, &timeout, nullptr);
        char drain[64];
        while (ready > 0 && (fds[1].revents & POLLIN)
               && ::read(m_wake[0], drain, sizeof drain) > 0) { }
        QByteArray bytes;
        if (lineOk && ready > 0 && fds[0].revents) {
            char chunk[4096];
            for (;;) {
                const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
                if (n > 0) {
                    bytes.append(chunk, int(n));
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                // A raw terminal reads 0 bytes when it has none; an error
                // such as EIO means the port (or the USB adapter) is gone.
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    lineOk = false;
                break;
            }
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                lineOk = false;
        }
        lock.lock();
        now = clockNow();
        if (!bytes.isEmpty())
            m_client->receiveBytes(bytes, now);
        if (!lineOk && !lineGone) {
            lineGone = true;
            if (!m_quiet)
                qCDebug(lcTm4040) << "irda: the port went away";
            m_client->lineFailed(QStringLiteral("the port went away"));
        }
        m_received.append(m_client->takeReceived());
    }
    flushLog();
    endTrace();
    m_running = false;
    m_changed.notify_all();
}
