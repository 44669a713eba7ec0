#include "Tm4040Emulator.h"

#include "Tm4040DeviceModel.h"
#include "Tm4040FrameSplitter.h"
#include "irda/Tm4040IrdaAir.h"

#include <QDebug>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// How long the host must stay quiet before a short frame counts as whole.
const milliseconds QuietGap(3);

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The speed the host set on its end of the terminal, in baud; 0 unknown.
int terminalBaud(int fd)
{
    termios tio;
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0)
        return 0;
    switch (::cfgetospeed(&tio)) {
    case B2400:
        return 2400;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

} // namespace

class Tm4040Emulator::Private
{
public:
    explicit Private(const Tm4040Scenario &scenario)
        : scenario(scenario)
        , model(scenario)
        , faults(scenario.faults)
    { }

    void run();
    void serveFrames(Clock::time_point now);
    void serveIrda(Clock::time_point now);
    // The IrDA faults in force, handed to the air as well.
    Tm4040IrdaFaults takeIrdaFaults(Clock::time_point now);
    qint64 micros(Clock::time_point time) const
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(time - epoch).count();
    }
    void pump(Clock::time_point now);
    void acceptClient();
    void readClient(Clock::time_point now);
    void closeClient();
    void dropLink();

    const Tm4040Scenario scenario;
    // Shared with the caller's thread, under `mutex`.
    mutable std::mutex mutex;
    Tm4040DeviceModel model;
    Tm4040Faults faults;
    QList<QByteArray> frames;
    int connections = 0;
    qint64 sent = 0;
    bool verbose = false;

    // Set before the thread starts.
    quint16 port = 0;
    QString ptyPath;
    // IrDA mode: the devices beyond the dongle (the serving thread's) and
    // what they counted (under `mutex`).
    std::unique_ptr<Tm4040IrdaAir> air;
    Tm4040IrdaCounters irdaCounters;
    quint32 irdaAddress = 0;
    Clock::time_point epoch = Clock::now();
    int listenFd = -1;
    int masterFd = -1;
    int slaveFd = -1; // kept open so the terminal survives the plug-in closing it
    int wake[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> stopping {false};

    // The serving thread's own.
    int clientFd = -1;
    Tm4040FrameSplitter splitter;
    Clock::time_point lastInput;
    struct Pending
    {
        Tm4040Answer::Part part;
        bool dropAfter = false;
        int baud = -1; // the line's speed for these bytes; -1: faults.baudRate
        int pauseUs = 0; // before the bytes, besides part.pauseBeforeMs
    };
    std::deque<Pending> queue;
    bool frontArmed = false;
    Clock::time_point frontReadyAt;
    int frontSent = 0;
    Clock::time_point lineFreeAt;
    bool wantWrite = false;
    Clock::time_point wakeAt = Clock::time_point::max();
    // A terminal is hung up only once the host has read what was sent
    // before; a hang-up drops the unread input.
    bool dropPending = false;
    Clock::time_point dropNotBefore;
    Clock::time_point dropDeadline;
};

void Tm4040Emulator::Private::closeClient()
{
    if (masterFd >= 0)
        clientFd = -1; // the terminal stays
    else
        closeFd(clientFd);
    splitter.clear();
    queue.clear();
    frontArmed = false;
    wantWrite = false;
}

void Tm4040Emulator::Private::dropLink()
{
    if (masterFd >= 0 && !dropPending) {
        const Clock::time_point now = Clock::now();
        dropPending = true;
        dropNotBefore = now + milliseconds(20);
        dropDeadline = now + milliseconds(2000);
        wakeAt = std::min(wakeAt, dropNotBefore);
        return;
    }
    dropPending = false;
    if (masterFd >= 0) {
        // Closing every descriptor of the terminal hangs it up for the
        // plug-in, like a device leaving the infrared beam.
        clientFd = -1;
        closeFd(masterFd);
        closeFd(slaveFd);
    }
    closeClient();
}

void Tm4040Emulator::Private::acceptClient()
{
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // One host at a time: a new connection replaces the old one.
    closeClient();
    clientFd = fd;
    std::lock_guard<std::mutex> lock(mutex);
    ++connections;
}

void Tm4040Emulator::Private::readClient(Clock::time_point now)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(clientFd, chunk, sizeof chunk);
        if (n > 0) {
            if (air) {
                const Tm4040IrdaFaults irdaFaults = takeIrdaFaults(now);
                air->receive(chunk, int(n), micros(now),
                             irdaFaults.checkHostSpeed ? terminalBaud(slaveFd) : 0);
            } else {
                splitter.append(QByteArray(chunk, int(n)));
            }
            lastInput = now;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // End of stream: the host has closed the connection. A terminal
        // reports EIO while nobody has it open; that is not an end.
        if (masterFd < 0)
            closeClient();
        return;
    }
}

void Tm4040Emulator::Private::serveFrames(Clock::time_point now)
{
    const bool quiet = now - lastInput >= QuietGap;
    QByteArray frame;
    while (clientFd >= 0 && !dropPending && splitter.next(&frame, quiet)) {
        Tm4040Answer answer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            frames.append(frame);
            answer = model.handle(frame, faults);
            if (verbose)
                qDebug().noquote() << "emulator got" << frame.toHex(' ').toUpper();
        }
        if (answer.parts.isEmpty()) {
            if (answer.dropLink)
                dropLink();
            continue;
        }
        for (int i = 0; i < answer.parts.size(); ++i)
            queue.push_back({answer.parts.at(i), answer.dropLink && i == answer.parts.size() - 1});
    }
    if (!splitter.isEmpty() && !quiet)
        wakeAt = std::min(wakeAt, lastInput + QuietGap);
}

Tm4040IrdaFaults Tm4040Emulator::Private::takeIrdaFaults(Clock::time_point now)
{
    Tm4040IrdaFaults irdaFaults;
    bool verboseNow;
    {
        std::lock_guard<std::mutex> lock(mutex);
        irdaFaults = faults.irda;
        verboseNow = verbose;
    }
    air->setVerbose(verboseNow);
    air->setFaults(irdaFaults, micros(now));
    return irdaFaults;
}

void Tm4040Emulator::Private::serveIrda(Clock::time_point now)
{
    const Tm4040IrdaFaults irdaFaults = takeIrdaFaults(now);
    air->onTimer(micros(now));
    for (const Tm4040IrdaAir::Chunk &chunk : air->takeWire()) {
        Pending pending;
        pending.part.bytes = chunk.bytes;
        pending.baud = irdaFaults.realTiming ? chunk.baud : 0;
        pending.pauseUs = irdaFaults.realTiming ? chunk.pauseUs : 0;
        queue.push_back(pending);
    }
    const qint64 deadline = air->nextDeadline();
    if (deadline >= 0)
        wakeAt = std::min(wakeAt, epoch + std::chrono::microseconds(deadline));
    std::lock_guard<std::mutex> lock(mutex);
    irdaCounters = air->counters();
    irdaAddress = air->address();
}

void Tm4040Emulator::Private::pump(Clock::time_point now)
{
    int faultBaud;
    {
        std::lock_guard<std::mutex> lock(mutex);
        faultBaud = faults.baudRate;
    }
    while (clientFd >= 0 && !dropPending && !queue.empty()) {
        Pending &front = queue.front();
        const int baud = front.baud >= 0 ? front.baud : faultBaud;
        // 10 bits a byte: start bit, 8 data bits, stop bit.
        const nanoseconds byteTime(baud > 0 ? 10'000'000'000LL / baud : 0);
        if (!frontArmed) {
            frontArmed = true;
            frontReadyAt = now + milliseconds(front.part.pauseBeforeMs)
                + std::chrono::microseconds(front.pauseUs);
            frontSent = 0;
        }
        if (now < frontReadyAt) {
            wakeAt = std::min(wakeAt, frontReadyAt);
            return;
        }
        const QByteArray &bytes = front.part.bytes;
        int allowed = bytes.size() - frontSent;
        if (baud > 0) {
            if (frontSent == 0 && lineFreeAt < frontReadyAt)
                lineFreeAt = frontReadyAt;
            // A byte reaches the host once its last bit is on the line.
            allowed = int(std::min<qint64>(allowed, (now - lineFreeAt) / byteTime));
            if (allowed <= 0) {
                wakeAt = std::min(wakeAt, lineFreeAt + byteTime);
                return;
            }
        }
        if (allowed > 0) {
            const ssize_t n = ::write(clientFd, bytes.constData() + frontSent, size_t(allowed));
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    wantWrite = true;
                    return;
                }
                if (errno == EINTR)
                    continue;
                closeClient();
                return;
            }
            frontSent += int(n);
            if (baud > 0)
                lineFreeAt += byteTime * n;
            std::lock_guard<std::mutex> lock(mutex);
            sent += n;
        }
        if (frontSent < bytes.size())
            continue;
        if (verbose)
            qDebug().noquote() << "emulator sent" << bytes.toHex(' ').toUpper();
        const bool drop = front.dropAfter;
        queue.pop_front();
        frontArmed = false;
        if (drop) {
            dropLink();
            return;
        }
    }
}

void Tm4040Emulator::Private::run()
{
    lastInput = Clock::now();
    if (masterFd >= 0)
        clientFd = masterFd;
    while (!stopping) {
        pollfd fds[3];
        int count = 0;
        fds[count++] = {wake[0], POLLIN, 0};
        const int listenIndex = listenFd >= 0 ? count : -1;
        if (listenFd >= 0)
            fds[count++] = {listenFd, POLLIN, 0};
        const int clientIndex = clientFd >= 0 ? count : -1;
        if (clientFd >= 0)
            fds[count++] = {clientFd, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0};

        timespec timeout;
        timespec *timeoutPointer = nullptr;
        if (wakeAt != Clock::time_point::max()) {
            const auto wait = std::max(nanoseconds(0), wakeAt - Clock::now());
            timeout.tv_sec = time_t(wait.count() / 1'000'000'000);
            timeout.tv_nsec = long(wait.count() % 1'000'000'000);
            timeoutPointer = &timeout;
        }
        const int ready = ::ppoll(fds, nfds_t(count), timeoutPointer, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (stopping)
            break;
        const Clock::time_point now = Clock::now();
        wakeAt = Clock::time_point::max();
        wantWrite = false;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            char drain[64];
            while (::read(wake[0], drain, sizeof drain) > 0) { }
        }
        if (ready > 0 && listenIndex >= 0 && (fds[listenIndex].revents & POLLIN))
            acceptClient();
        if (ready > 0 && clientIndex >= 0 && clientFd == fds[clientIndex].fd
            && (fds[clientIndex].revents & (POLLIN | POLLHUP | POLLERR))) {
            readClient(now);
        }
        if (dropPending) {
            int unread = 0;
            if (now >= dropDeadline
                || (now >= dropNotBefore && ::ioctl(slaveFd, FIONREAD, &unread) == 0
                    && unread == 0))
                dropLink();
            else
                wakeAt = std::min(wakeAt, now + milliseconds(5));
            continue;
        }
        if (air)
            serveIrda(now);
        else
            serveFrames(now);
        pump(now);
        // A terminal nobody holds reports POLLHUP at once; don't spin on it.
        if (masterFd >= 0 && clientIndex >= 0 && (fds[clientIndex].revents & POLLHUP)
            && !(fds[clientIndex].revents & POLLIN)) {
            wakeAt = std::min(wakeAt, now + milliseconds(5));
        }
    }
}

Tm4040Emulator::Tm4040Emulator(const Tm4040Scenario &scenario)
    : d(new Private(scenario))
{ }

Tm4040Emulator::~Tm4040Emulator()
{
    stop();
}

bool Tm4040Emulator::startTcp(quint16 port)
{
    if (isRunning())
        return false;
    d->air.reset(); // from an earlier run in IrDA mode
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(fd, 4) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(fd);
        return false;
    }
    d->listenFd = fd;
    d->port = ntohs(address.sin_port);
    if (::pipe2(d->wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        closeFd(d->listenFd);
        return false;
    }
    d->stopping = false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

bool Tm4040Emulator::startPty(PtyMode mode)
{
    if (isRunning())
        return false;
    d->air.reset(); // from an earlier run in IrDA mode
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return false;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    // Raw from the start: no echo of answers back to the device, no line
    // editing of binary frames.
    termios tio;
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    if (::pipe2(d->wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(slave);
        ::close(master);
        return false;
    }
    d->masterFd = master;
    d->slaveFd = slave;
    d->ptyPath = QFile::decodeName(name);
    if (mode == PtyMode::Irda) {
        // The dongle starts at the speed of discovery.
        if (::tcgetattr(slave, &tio) == 0) {
            ::cfsetspeed(&tio, B9600);
            ::tcsetattr(slave, TCSANOW, &tio);
        }
        Tm4040Scenario scenario = d->scenario;
        scenario.faults = d->faults;
        Private *p = d.get();
        d->air.reset(new Tm4040IrdaAir(scenario, [p](const QByteArray &frame) {
            std::lock_guard<std::mutex> lock(p->mutex);
            p->frames.append(frame);
            if (p->verbose)
                qDebug().noquote() << "emulator got" << frame.toHex(' ').toUpper();
            return p->model.handle(frame, p->faults);
        }));
        d->irdaAddress = d->air->address();
    }
    d->stopping = false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void Tm4040Emulator::stop()
{
    if (!d->thread.joinable())
        return;
    d->stopping = true;
    const char byte = 0;
    (void)!::write(d->wake[1], &byte, 1);
    d->thread.join();
    d->clientFd = d->clientFd == d->masterFd ? -1 : d->clientFd;
    closeFd(d->clientFd);
    closeFd(d->listenFd);
    closeFd(d->masterFd);
    closeFd(d->slaveFd);
    closeFd(d->wake[0]);
    closeFd(d->wake[1]);
}

bool Tm4040Emulator::isRunning() const
{
    return d->thread.joinable();
}

quint16 Tm4040Emulator::tcpPort() const
{
    return d->port;
}

QString Tm4040Emulator::ptyPath() const
{
    return d->ptyPath;
}

QString Tm4040Emulator::link() const
{
    if (d->air)
        return QStringLiteral("irda:") + d->ptyPath;
    if (!d->ptyPath.isEmpty())
        return QStringLiteral("serial:") + d->ptyPath;
    return QStringLiteral("tcp:127.0.0.1:%1").arg(d->port);
}

void Tm4040Emulator::exportLink() const
{
    qputenv("TM4040_LINK", link().toLocal8Bit());
}

void Tm4040Emulator::setVerbose(bool verbose)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->verbose = verbose;
}

QByteArray Tm4040Emulator::parameterBlock() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.parameterBlock();
}

QList<QByteArray> Tm4040Emulator::records() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->model.records();
}

void Tm4040Emulator::setRecords(const QList<QByteArray> &records)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->model.setRecords(records);
}

Tm4040Faults Tm4040Emulator::faults() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->faults;
}

void Tm4040Emulator::setFaults(const Tm4040Faults &faults)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->faults = faults;
}

QList<QByteArray> Tm4040Emulator::receivedFrames() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->frames;
}

QByteArray Tm4040Emulator::receivedLetters() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QByteArray letters;
    for (const QByteArray &frame : d->frames)
        letters.append(frame.back());
    return letters;
}

void Tm4040Emulator::clearReceivedFrames()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->frames.clear();
}

int Tm4040Emulator::connectionCount() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->air ? d->irdaCounters.commConnections : d->connections;
}

qint64 Tm4040Emulator::bytesSent() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->sent;
}

bool Tm4040Emulator::isIrda() const
{
    return d->air != nullptr;
}

quint32 Tm4040Emulator::irdaAddress() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->irdaAddress;
}

Tm4040IrdaCounters Tm4040Emulator::irdaCounters() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->irdaCounters;
}
