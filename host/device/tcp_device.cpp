#include "host/device/tcp_device.h"

#include "host/device/frame_trace.h"

#include <ctime>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int kSerialBaudrate = 9600;
constexpr int kSerialDataBits = 8;
constexpr int kSerialStopBits = 0;
constexpr int kSerialParity = 2;
constexpr int kDiscardChunk = 512;

// Monotonic microseconds.
qint64 nowUs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// Monotonic milliseconds.
qint64 now()
{
    return nowUs() / 1000;
}

// What a send or receive meets on a link the peer has closed.
bool closedByPeer(int error)
{
    return error == EPIPE || error == ECONNRESET;
}

enum class Wait { Ready, TimedOut, Failed, Interrupted };

// Waits for events on fd until the deadline; a signal does not end the wait.
// An observer, when set, watches the wait in slices and may abandon it.
Wait waitFor(int fd, short events, qint64 deadline, const WaitObserver &observer)
{
    const qint64 start = now();
    pollfd watched = {fd, events, 0};
    for (;;) {
        const qint64 left = deadline - now();
        if (left <= 0)
            return Wait::TimedOut;
        if (observer && !observer(now() - start))
            return Wait::Interrupted;
        const int ready = ::poll(&watched, 1, int(observer ? std::min<qint64>(left, kObserveEveryMs) : left));
        if (ready > 0)
            return Wait::Ready;
        if (ready == 0 && !(observer && now() < deadline))
            return Wait::TimedOut;
        if (ready < 0 && errno != EINTR)
            return Wait::Failed;
    }
}

QString plainErrorText(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return QStringLiteral("connection refused");
    case ETIMEDOUT:
        return QStringLiteral("timed out");
    case ECONNRESET:
        return QStringLiteral("connection reset by peer");
    case EPIPE:
        return QStringLiteral("connection closed by peer");
    case EHOSTUNREACH:
        return QStringLiteral("host unreachable");
    case ENETUNREACH:
        return QStringLiteral("network unreachable");
    case ECONNABORTED:
        return QStringLiteral("connection aborted");
    default:
        return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}

const QString kTimedOut = QStringLiteral("timed out");
const QString kNotConnected = QStringLiteral("not connected");
const QString kClosedByPeer = QStringLiteral("connection closed by peer");
const QString kNoEcho = QStringLiteral("no echo of the request");
const QString kEchoMismatch = QStringLiteral("echo did not match the request");

} // namespace

TcpDevice::TcpDevice(const TcpDeviceSettings &settings)
    : m_settings(settings),
      m_setting(new DeviceSetting(DEVICE_TYPE_ETHERNET, settings.deviceString, kSerialBaudrate,
                                  kSerialDataBits, kSerialStopBits, kSerialParity))
{
    m_setting->setSocketData({qMakePair(settings.host, QString::number(settings.port))});
}

TcpDevice::~TcpDevice()
{
    closeSocket();
}

bool TcpDevice::open()
{
    closeSocket();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const QByteArray host = m_settings.host.toLocal8Bit();
    const QByteArray port = QByteArray::number(m_settings.port);
    if (::getaddrinfo(host.constData(), port.constData(), &hints, &addresses) != 0) {
        m_error = QStringLiteral("unknown host");
        return false;
    }
    const qint64 deadline = now() + m_settings.connectTimeoutMs;
    for (const addrinfo *address = addresses; address && m_fd < 0; address = address->ai_next)
        connectTo(address, deadline);
    ::freeaddrinfo(addresses);
    if (m_fd < 0)
        return false;
    ++m_connects;
    return true;
}

bool TcpDevice::connectTo(const addrinfo *address, qint64 deadline)
{
    const int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        setSystemError(errno);
        return false;
    }
    int error = 0;
    if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const Wait wait = waitFor(fd, POLLOUT, deadline, m_observer);
            socklen_t length = sizeof error;
            if (wait == Wait::Interrupted) {
                ::close(fd);
                m_error = kInterrupted;
                return false;
            }
            if (wait == Wait::TimedOut)
                error = ETIMEDOUT;
            else if (wait == Wait::Failed || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        ::close(fd);
        setSystemError(error);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // From here on the socket blocks, so that a read waits in the receive
    // itself, bounded by the receive time-out; sending and discarding ask
    // not to wait call by call.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_receiveTimeoutMs = -1;
    return true;
}

void TcpDevice::close()
{
    closeSocket();
}

void TcpDevice::closeSocket()
{
    if (m_trace)
        m_trace->flush();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_aheadStart = m_aheadEnd = 0;
    m_replyTakenWhole = false;
    m_awaitingReply = false;
    m_unlookedRequest.clear();
    m_expectedEcho.clear();
    m_replyAfterEcho = false;
    m_echoFailed = false;
}

int TcpDevice::writeData(const char *data, int len)
{
    if (m_fd < 0) {
        m_error = kNotConnected;
        return -1;
    }
    ++m_requests;
    noteRequestWritten();
    const qint64 requestUs = nowUs();
    const bool skipLook = canSkipLook(requestUs);
    m_replyTakenWhole = false;
    m_unlookedRequest.clear();
    m_expectedEcho.clear();
    m_replyAfterEcho = false;
    m_echoFailed = false;
    if (!skipLook && !discardStaleBytes() && !open())
        return -1;
    const int error = sendAll(data, len);
    // Unlooked, a link the peer had closed can show first here.
    const bool reopened = error != 0 && skipLook && closedByPeer(error);
    if (error != 0 && !(reopened && open() && sendAll(data, len) == 0))
        return -1;
    if (skipLook && !reopened)
        m_unlookedRequest.assign(data, data + len);
    m_requestUs = requestUs;
    m_awaitingReply = true;
    if (m_settings.echo)
        m_expectedEcho.assign(data, data + len);
    if (m_trace)
        m_trace->sent(QByteArray(data, len));
    return len;
}

bool TcpDevice::canSkipLook(qint64 nowUs) const
{
    return m_replyTakenWhole && nowUs - m_requestUs < m_settings.lookSkipWindowUs;
}

bool TcpDevice::discardStaleBytes()
{
    char chunk[kDiscardChunk];
    QByteArray stale;
    if (m_aheadEnd > m_aheadStart)
        stale.append(m_ahead + m_aheadStart, m_aheadEnd - m_aheadStart);
    m_aheadStart = m_aheadEnd = 0;
    bool alive = true;
    for (;;) {
        const ssize_t received = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (received > 0) {
            stale.append(chunk, int(received));
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        alive = received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
    }
    if (m_trace && !stale.isEmpty())
        m_trace->discarded(stale);
    return alive;
}

int TcpDevice::sendAll(const char *data, int len)
{
    // Sending waits only when the socket's buffer is full; the clock is read
    // then.
    qint64 deadline = -1;
    int sent = 0;
    while (sent < len) {
        const ssize_t n = ::send(m_fd, data + sent, std::size_t(len - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += int(n);
            continue;
        }
        int error = errno;
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
            if (deadline < 0)
                deadline = now() + responseTimeoutMs(m_settings.responseTimeoutMs);
            const Wait wait = waitFor(m_fd, POLLOUT, deadline, m_observer);
            if (wait == Wait::Ready)
                continue;
            if (wait == Wait::Interrupted) {
                closeSocket();
                m_error = kInterrupted;
                return EINTR;
            }
            error = wait == Wait::TimedOut ? ETIMEDOUT : errno;
        }
        setSystemError(error);
        closeSocket();
        return error;
    }
    return 0;
}

int TcpDevice::takeAhead(char *data, int maxlen)
{
    const int n = qMin(maxlen, m_aheadEnd - m_aheadStart);
    std::memcpy(data, m_ahead + m_aheadStart, std::size_t(n));
    m_aheadStart += n;
    if (m_aheadStart == m_aheadEnd)
        m_aheadStart = m_aheadEnd = 0;
    return n;
}

// Inline in receive: the receive that waits for the reply then sits one
// call less deep, and each return after the wait is a mispredicted branch.
inline ssize_t TcpDevice::receiveAhead(qint64 waitMs)
{
    // A zero receive time-out would wait for ever: no time left is one look.
    if (waitMs <= 0)
        return ::recv(m_fd, m_ahead, sizeof m_ahead, MSG_DONTWAIT);
    if (waitMs != m_receiveTimeoutMs) {
        const timeval timeout = {time_t(waitMs / 1000), suseconds_t(waitMs % 1000 * 1000)};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        m_receiveTimeoutMs = waitMs;
    }
    return ::recv(m_fd, m_ahead, sizeof m_ahead, 0);
}

int TcpDevice::readData(char *data, int maxlen)
{
    if (maxlen <= 0)
        return 0;
    if (m_fd < 0) {
        m_error = kNotConnected;
        return -1;
    }
    if (!m_expectedEcho.empty() || m_echoFailed) {
        const int echoed = m_echoFailed ? 0 : takeEcho();
        if (echoed < 1)
            return echoed;
    }
    return receive(data, maxlen, false);
}

int TcpDevice::takeEcho()
{
    const std::vector<char> expected = std::move(m_expectedEcho);
    m_expectedEcho.clear();
    std::vector<char> echo(expected.size());
    const int got = receive(echo.data(), int(echo.size()), true);
    if (got < 0)
        return -1;
    if (got == int(expected.size()) && echo == expected) {
        m_awaitingReply = m_replyAfterEcho = true;
        return 1;
    }
    // Whatever has come after a wrong echo answers nothing; a link found
    // closed here is reopened by the next request.
    discardStaleBytes();
    m_replyTakenWhole = false;
    m_echoFailed = true;
    m_error = got == 0 ? kNoEcho : kEchoMismatch;
    return 0;
}

int TcpDevice::receive(char *data, int maxlen, bool echo)
{
    // Bytes read ahead by the previous call come first: the rest of a reply
    // whose head the driver asked for is usually all there.
    int got = takeAhead(data, maxlen);
    // The response time-out runs from the request for the first read after
    // it, from the call for any later one.
    const bool firstAfterRequest = m_awaitingReply;
    m_awaitingReply = false;
    const qint64 timeoutMs = responseTimeoutMs(m_settings.responseTimeoutMs);
    const qint64 deadline = got >= maxlen      ? 0
                            : firstAfterRequest ? m_requestUs / 1000 + timeoutMs
                                                : now() + timeoutMs;
    // After an echo the reply's wait is what is left of the time-out.
    bool firstWait = !m_replyAfterEcho;
    m_replyAfterEcho = false;
    // Only a watched wait needs the first wait's end as a time (no clock read otherwise).
    const qint64 firstDeadline = m_observer ? now() + timeoutMs : 0;
    bool broken = false;
    while (got < maxlen) {
        // Waits in the receive for whatever comes, up to a whole frame and
        // more, within the time left of the response time-out; in slices
        // while an observer watches.
        const qint64 until = firstWait ? firstDeadline : deadline;
        if (m_observer && !m_observer(now() - m_requestUs / 1000)) {
            m_error = kInterrupted;
            break;
        }
        const qint64 wait = firstWait && !m_observer ? timeoutMs : until - now();
        const ssize_t n = receiveAhead(m_observer ? std::min<qint64>(wait, kObserveEveryMs) : wait);
        const int error = n < 0 ? errno : 0;
        if (m_observer && (error == EAGAIN || error == EWOULDBLOCK) && now() < until)
            continue; // the observer looks again before the next slice
        firstWait = false;
        if (n > 0) {
            m_unlookedRequest.clear();
            m_aheadEnd = int(n);
            got += takeAhead(data + got, maxlen - got);
            continue;
        }
        if (error == EINTR)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            m_error = kTimedOut;
            break;
        }
        // The link closed or failed. Right after a request sent without the
        // look, it may have been closed before the request went out.
        if (!m_unlookedRequest.empty() && (n == 0 || closedByPeer(error))) {
            if (resendOnNewLink())
                continue;
            // Why the new link failed is the error.
        } else {
            m_error = n == 0 ? kClosedByPeer : plainErrorText(error);
        }
        broken = true;
        break;
    }
    if (m_trace && got > 0) {
        if (echo)
            m_trace->echoed(QByteArray(data, got));
        else
            m_trace->received(QByteArray(data, got));
    }
    if (!echo && got > 0)
        noteReplyBytes(data, got);
    if (broken)
        closeSocket();
    // A reply taken whole, nothing after it: the next request may skip the
    // look for late bytes.
    m_replyTakenWhole = !broken && got == maxlen && m_aheadStart == m_aheadEnd;
    return got > 0 || !broken ? got : -1;
}

bool TcpDevice::resendOnNewLink()
{
    // Taken out first: opening clears it, and it goes out once more only.
    const std::vector<char> request = std::move(m_unlookedRequest);
    m_unlookedRequest.clear();
    const int len = int(request.size());
    if (!open() || sendAll(request.data(), len) != 0)
        return false;
    if (m_trace)
        m_trace->sent(QByteArray(request.data(), len));
    return true;
}

void TcpDevice::setSystemError(int error)
{
    m_error = plainErrorText(error);
}

DeviceSetting *TcpDevice::deviceSetting() const
{
    return m_setting.get();
}

bool TcpDevice::isOpen() const
{
    return m_fd >= 0;
}

int TcpDevice::retryCount() const
{
    return retriesInForce(m_settings.retryCount);
}

int TcpDevice::stationId() const
{
    return m_settings.stationId;
}

unsigned long TcpDevice::delayTime() const
{
    return m_settings.delayMs;
}

QString TcpDevice::errorString() const
{
    return m_error;
}
