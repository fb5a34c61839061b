#include "host/sim/serial_port_server.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "host/sim/tcp_server.h"

namespace sim {
namespace {

constexpr int kReopenEveryMs = 100;

struct BaudRate
{
    int rate;
    speed_t code;
};

const BaudRate kBaudRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

bool baudCode(int rate, speed_t *code)
{
    for (const BaudRate &entry : kBaudRates) {
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

// Unix 98 pseudo-terminal slaves (/dev/pts/N).
bool isPseudoTerminal(int fd)
{
    struct stat status{};
    return ::fstat(fd, &status) == 0 && major(status.st_rdev) >= 136 && major(status.st_rdev) <= 143;
}

// Whether the port runs at the speed and character format asked for, though
// tcsetattr failed. Pseudo-terminals refuse some parity settings with EINVAL
// and apply the rest; they carry bytes, not bits, so parity means nothing there.
bool tookFormat(int fd, const termios &wanted)
{
    termios now{};
    if (::tcgetattr(fd, &now) != 0)
        return false;
    tcflag_t format = CSIZE | CSTOPB;
    if (!isPseudoTerminal(fd))
        format |= PARENB | PARODD;
    return (now.c_cflag & format) == (wanted.c_cflag & format) && ::cfgetospeed(&now) == ::cfgetospeed(&wanted)
           && ::cfgetispeed(&now) == ::cfgetispeed(&wanted);
}

// Raw bytes in both directions, the character format of the settings, no
// flow control, reads that return whatever has come.
QString configure(int fd, const SerialPortSettings &settings)
{
    speed_t speed = B9600;
    if (!baudCode(settings.baud, &speed))
        return QStringLiteral("%1 baud is no standard rate").arg(settings.baud);
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return systemError("tcgetattr");
    ::cfmakeraw(&line);
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8);
    if (settings.parity != 'N')
        line.c_cflag |= PARENB | (settings.parity == 'O' ? PARODD : 0);
    if (settings.stopBits == 2)
        line.c_cflag |= CSTOPB;
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0)
        return systemError("cfsetspeed");
    if (::tcsetattr(fd, TCSANOW, &line) != 0 && !tookFormat(fd, line))
        return systemError("tcsetattr");
    ::tcflush(fd, TCIOFLUSH);
    return QString();
}

} // namespace

int openSerialPort(const SerialPortSettings &settings, QString *error)
{
    int fd = ::open(settings.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(QString::fromStdString(settings.path),
                                               QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    const QString reason = configure(fd, settings);
    if (!reason.isEmpty()) {
        closeFd(fd);
        *error = QStringLiteral("%1: %2").arg(QString::fromStdString(settings.path), reason);
    }
    return fd;
}

SerialPortServer::~SerialPortServer()
{
    stop();
}

bool SerialPortServer::start(const SerialPortSettings &settings, QString *error)
{
    QString reason;
    int fd = -1;
    if (m_wake.open(&reason))
        fd = openSerialPort(settings, &reason);
    if (fd < 0) {
        m_wake.close();
        if (error)
            *error = reason;
        return false;
    }
    m_settings = settings;
    m_opens = 1;
    m_running = true;
    m_thread = std::thread(&SerialPortServer::run, this, fd);
    return true;
}

void SerialPortServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_wake.wake();
    m_thread.join();
    m_wake.close();
}

void SerialPortServer::run(int fd)
{
    for (;;) {
        m_handler(fd);
        closeFd(fd);
        QString ignored;
        while (pause(kReopenEveryMs) && (fd = openSerialPort(m_settings, &ignored)) < 0) {
        }
        if (fd < 0)
            return;
        ++m_opens;
    }
}

} // namespace sim
