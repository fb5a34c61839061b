#include "host/device/serial_device.h"

#include "host/device/frame_trace.h"

#include <QSerialPort>
#include <ctime>
#include <poll.h>

namespace {

// Above this baud rate the frame gap is fixed instead of 3.5 character times.
constexpr int kFixedGapAboveBaud = 19200;
constexpr qint64 kFixedGapUs = 1750;

const QString kTimedOut = QStringLiteral("timed out");
const QString kNotOpen = QStringLiteral("not open");
const QString kPortGone = QStringLiteral("port gone");
const QString kNotQuiet = QStringLiteral("the line did not go quiet");
const QString kNoEcho = QStringLiteral("no echo of the request");
const QString kEchoMismatch = QStringLiteral("echo did not match the request");

// Monotonic microseconds.
qint64 nowUs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// A wait of whole milliseconds that lasts at least us microseconds.
int waitMs(qint64 us)
{
    return us <= 0 ? 0 : int(qMin<qint64>((us + 999) / 1000, 24 * 3600 * 1000));
}

// The port's errors, in the words the runtime shows.
QString plainErrorText(const QSerialPort &port)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such port");
    case QSerialPort::PermissionError:
        return QStringLiteral("permission denied");
    case QSerialPort::ResourceError:
        return kPortGone;
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("not a serial port, or its line settings are not supported");
    case QSerialPort::TimeoutError:
        return kTimedOut;
    default:
        return port.errorString().toLower();
    }
}

// The other end is gone: the descriptor reports a hang-up (an unplugged
// adapter, a pseudo-terminal whose other end closed) or is no longer valid.
bool hungUp(int fd)
{
    pollfd watched = {fd, POLLIN, 0};
    return ::poll(&watched, 1, 0) < 0 || (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

QSerialPort::Parity portParity(char parity)
{
    return parity == 'E' ? QSerialPort::EvenParity : parity == 'O' ? QSerialPort::OddParity : QSerialPort::NoParity;
}

// DeviceSetting's encoding of the line, as the runtime records it: stop bits
// 0 for one and 1 for two, parity 0 none, 1 odd, 2 even.
DeviceSetting *recordedSetting(const SerialDeviceSettings &s)
{
    const int parity = s.parity == 'O' ? 1 : s.parity == 'E' ? 2 : 0;
    return new DeviceSetting(DEVICE_TYPE_SERIAL, s.deviceString, s.baudRate, s.dataBits, s.stopBits == 2 ? 1 : 0,
                             parity);
}

} // namespace

QString serialSettingsError(const SerialDeviceSettings &settings)
{
    if (settings.portName.isEmpty())
        return QStringLiteral("no port name");
    if (settings.baudRate <= 0)
        return QStringLiteral("baud rate must be positive");
    if (settings.parity != 'N' && settings.parity != 'E' && settings.parity != 'O')
        return QStringLiteral("parity must be N, E or O");
    if (settings.dataBits != 7 && settings.dataBits != 8)
        return QStringLiteral("data bits must be 7 or 8");
    if (settings.stopBits != 1 && settings.stopBits != 2)
        return QStringLiteral("stop bits must be 1 or 2");
    return QString();
}

qint64 serialCharacterUs(const SerialDeviceSettings &settings)
{
    const qint64 bits = 1 + settings.dataBits + (settings.parity == 'N' ? 0 : 1) + settings.stopBits;
    return (bits * 1000000 + settings.baudRate - 1) / qMax(settings.baudRate, 1);
}

qint64 serialFrameGapUs(const SerialDeviceSettings &settings)
{
    if (settings.baudRate > kFixedGapAboveBaud)
        return kFixedGapUs;
    const qint64 bits = 1 + settings.dataBits + (settings.parity == 'N' ? 0 : 1) + settings.stopBits;
    // 3.5 characters, rounded up to the microsecond.
    return (bits * 7 * 1000000 / 2 + settings.baudRate - 1) / qMax(settings.baudRate, 1);
}

SerialDevice::SerialDevice(const SerialDeviceSettings &settings)
    : m_settings(settings), m_setting(recordedSetting(settings))
{
}

SerialDevice::~SerialDevice()
{
    closePort();
}

bool SerialDevice::open()
{
    closePort();
    m_error = serialSettingsError(m_settings);
    if (!m_error.isEmpty())
        return false;
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(m_settings.portName);
    const bool configured = port->setBaudRate(m_settings.baudRate)
                            && port->setDataBits(QSerialPort::DataBits(m_settings.dataBits))
                            && port->setParity(portParity(m_settings.parity))
                            && port->setStopBits(m_settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
                            && port->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured || !port->open(QIODevice::ReadWrite)) {
        m_error = plainErrorText(*port);
        return false;
    }
    m_port = std::move(port);
    ++m_opens;
    // The port may have been opened in the middle of a frame on the line.
    m_lastActivityUs = nowUs();
    return true;
}

void SerialDevice::close()
{
    closePort();
}

void SerialDevice::closePort()
{
    if (m_trace)
        m_trace->flush();
    if (m_port)
        m_port->close();
    m_port.reset();
    m_awaitingReply = false;
    m_expectedEcho.clear();
    m_echoFailed = false;
}

void SerialDevice::lose(const QString &what)
{
    const bool gone = m_port->error() == QSerialPort::ResourceError || hungUp(int(m_port->handle()));
    m_error = gone ? kPortGone : what + QStringLiteral(": ") + plainErrorText(*m_port);
    closePort();
}

bool SerialDevice::onlyTimedOut(const QString &what)
{
    // A wait that saw nothing reports a time-out; one that met a hang-up may
    // report a read error, or nothing at all.
    const QSerialPort::SerialPortError error = m_port->error();
    if ((error == QSerialPort::TimeoutError || error == QSerialPort::NoError) && !hungUp(int(m_port->handle()))) {
        m_port->clearError();
        return true;
    }
    lose(what);
    return false;
}

bool SerialDevice::waitForQuietLine()
{
    const qint64 gapUs = serialFrameGapUs(m_settings);
    const qint64 giveUpUs = nowUs() + qint64(responseTimeoutMs(m_settings.responseTimeoutMs)) * 1000 + gapUs;
    QByteArray stale;
    bool quiet = true;
    for (;;) {
        stale.append(m_port->readAll());
        const qint64 now = nowUs();
        const qint64 quietInUs = m_lastActivityUs + gapUs - now;
        if (quietInUs > 0 && now >= giveUpUs) {
            m_error = kNotQuiet;
            quiet = false;
            break;
        }
        // Once the gap has passed, one look without waiting for bytes that
        // came unread while nobody was reading.
        if (m_port->waitForReadyRead(waitMs(observed(qMin(quietInUs, giveUpUs - now))))) {
            m_lastActivityUs = nowUs();
            continue;
        }
        if (!onlyTimedOut(QStringLiteral("read error"))) {
            quiet = false;
            break;
        }
        if (!stillWanted()) {
            m_error = kInterrupted;
            quiet = false;
            break;
        }
        if (quietInUs <= 0)
            break;
    }
    if (m_trace && !stale.isEmpty())
        m_trace->discarded(stale);
    return quiet;
}

qint64 SerialDevice::observed(qint64 waitUs) const
{
    return m_observer ? qMin<qint64>(waitUs, qint64(kObserveEveryMs) * 1000) : waitUs;
}

bool SerialDevice::stillWanted() const
{
    return !m_observer || m_observer((nowUs() - m_requestUs) / 1000);
}

int SerialDevice::writeData(const char *data, int len)
{
    ++m_requests;
    noteRequestWritten();
    if (!m_port) {
        m_error = kNotOpen;
        return -1;
    }
    if (len < 0 || (len > 0 && !data)) {
        m_error = QStringLiteral("invalid request");
        return -1;
    }
    m_awaitingReply = false;
    m_expectedEcho.clear();
    m_echoFailed = false;
    if (!waitForQuietLine())
        return -1;
    if (m_port->write(data, len) != len) {
        lose(QStringLiteral("write error"));
        return -1;
    }
    // The bytes reach the driver at once; the line takes a character time each.
    const qint64 onLineUs = len * serialCharacterUs(m_settings);
    const qint64 deadlineUs = nowUs() + onLineUs + qint64(responseTimeoutMs(m_settings.responseTimeoutMs)) * 1000;
    while (m_port->bytesToWrite() > 0) {
        const qint64 leftUs = deadlineUs - nowUs();
        if (leftUs <= 0) {
            m_error = QStringLiteral("write timed out");
            return -1;
        }
        if (!m_port->waitForBytesWritten(waitMs(leftUs)) && !onlyTimedOut(QStringLiteral("write error")))
            return -1;
    }
    m_requestUs = m_lastActivityUs = nowUs() + onLineUs;
    m_awaitingReply = true;
    if (m_settings.echo)
        m_expectedEcho = QByteArray(data, len);
    if (m_trace)
        m_trace->sent(QByteArray(data, len));
    return len;
}

int SerialDevice::gather(char *data, int want, qint64 deadlineUs, bool *broken)
{
    int got = int(qMax<qint64>(m_port->read(data, want), 0));
    while (got < want) {
        const qint64 leftUs = deadlineUs - nowUs();
        if (leftUs <= 0) {
            m_error = kTimedOut;
            break;
        }
        if (!stillWanted()) {
            m_error = kInterrupted;
            break;
        }
        if (!m_port->waitForReadyRead(waitMs(observed(leftUs)))) {
            if (onlyTimedOut(QStringLiteral("read error")))
                continue;
            *broken = true;
            break;
        }
        m_lastActivityUs = nowUs();
        got += int(qMax<qint64>(m_port->read(data + got, want - got), 0));
    }
    return got;
}

int SerialDevice::takeEcho(qint64 deadlineUs)
{
    const QByteArray expected = m_expectedEcho;
    m_expectedEcho.clear();
    QByteArray echo(expected.size(), '\0');
    bool broken = false;
    echo.resize(gather(echo.data(), echo.size(), deadlineUs, &broken));
    if (m_trace && !echo.isEmpty())
        m_trace->echoed(echo);
    if (broken)
        return -1;
    if (echo == expected)
        return 1;
    // Whatever follows a wrong echo (the reply to a garbled request, the
    // rest of a collision) answers nothing: drained now.
    waitForQuietLine();
    if (!isOpen())
        return -1;
    m_echoFailed = true;
    m_error = echo.isEmpty() ? kNoEcho : kEchoMismatch;
    return 0;
}

int SerialDevice::readData(char *data, int maxlen)
{
    if (maxlen <= 0)
        return 0;
    if (!m_port) {
        m_error = kNotOpen;
        return -1;
    }
    if (m_echoFailed)
        return 0;
    // The response time-out runs from the request for the first read after
    // it (echo included), from the call for any later one.
    const qint64 deadlineUs = (m_awaitingReply ? m_requestUs : nowUs()) + qint64(responseTimeoutMs(m_settings.responseTimeoutMs)) * 1000;
    m_awaitingReply = false;
    if (!m_expectedEcho.isEmpty()) {
        const int echoed = takeEcho(deadlineUs);
        if (echoed < 1)
            return echoed;
    }
    bool broken = false;
    const int got = gather(data, maxlen, deadlineUs, &broken);
    if (m_trace && got > 0)
        m_trace->received(QByteArray(data, got));
    if (got > 0)
        noteReplyBytes(data, got);
    return got > 0 || !broken ? got : -1;
}

int SerialDevice::portDescriptor() const
{
    return m_port ? int(m_port->handle()) : -1;
}

DeviceSetting *SerialDevice::deviceSetting() const
{
    return m_setting.get();
}

bool SerialDevice::isOpen() const
{
    return m_port != nullptr;
}

int SerialDevice::retryCount() const
{
    return retriesInForce(m_settings.retryCount);
}

int SerialDevice::stationId() const
{
    return m_settings.stationId;
}

unsigned long SerialDevice::delayTime() const
{
    return m_settings.delayMs;
}

QString SerialDevice::errorString() const
{
    return m_error;
}
