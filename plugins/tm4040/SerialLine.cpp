#include "SerialLine.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool speedOf(int baud, speed_t *speed)
{
    static const struct
    {
        int baud;
        speed_t speed;
    } table[] = {{1200, B1200},      {2400, B2400},       {4800, B4800},       {9600, B9600},
                 {19200, B19200},    {38400, B38400},     {57600, B57600},     {115200, B115200},
                 {230400, B230400},  {460800, B460800},   {500000, B500000},   {576000, B576000},
                 {921600, B921600},  {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
                 {2000000, B2000000}};
    for (const auto &entry : table) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool SerialLine::isSupportedSpeed(int baud)
{
    speed_t speed;
    return speedOf(baud, &speed);
}

int SerialLine::openRaw(const QString &path, int baud, QString *error)
{
    speed_t speed;
    if (!speedOf(baud, &speed)) {
        *error = QStringLiteral("unsupported speed %1").arg(baud);
        return -1;
    }
    const int fd
        = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = errnoText();
        return -1;
    }
    termios tio;
    if (::tcgetattr(fd, &tio) != 0) {
        *error = errnoText();
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = errnoText();
        ::close(fd);
        return -1;
    }
    // Not every line has modem controls (a pseudo-terminal has none).
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &lines);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

bool SerialLine::setSpeed(int fd, int baud)
{
    speed_t speed;
    termios tio;
    if (!speedOf(baud, &speed) || ::tcgetattr(fd, &tio) != 0)
        return false;
    ::tcdrain(fd);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}
