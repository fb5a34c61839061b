// The fault proxy's sessions: one master connection, one slave connection,
// bytes passed both ways, replies with faults.

#include "host/sim/fault_proxy.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReceiveChunk = 4096;
// The master's bytes since the last reply, kept for an echo; longer than any request.
constexpr int kMaxPendingRequest = 512;

// Receives what is there; 0 when the peer closed, -1 on an error.
ssize_t receive(int fd, char *buffer, std::size_t size)
{
    ssize_t received;
    while ((received = ::recv(fd, buffer, size, 0)) < 0 && errno == EINTR) {
    }
    return received;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

} // namespace

FaultProxy::FaultProxy(ProxyConfig config)
    : m_config(std::move(config)), m_server([this](int fd) { serve(fd); })
{
}

FaultProxy::~FaultProxy()
{
    stop();
}

bool FaultProxy::start(QString *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray host = m_config.slaveHost.toLocal8Bit();
    const QByteArray port = QByteArray::number(m_config.slavePort);
    const int status = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
    if (status != 0 || !found) {
        if (error)
            *error = QStringLiteral("cannot look up %1: %2").arg(m_config.slaveHost, QString::fromLocal8Bit(gai_strerror(status)));
        return false;
    }
    std::memcpy(&m_slaveAddress, found->ai_addr, found->ai_addrlen);
    m_slaveAddressLength = found->ai_addrlen;
    ::freeaddrinfo(found);
    return m_server.start(m_config.bindAddress, m_config.port, error);
}

void FaultProxy::stop()
{
    m_server.stop();
}

int FaultProxy::connectToSlave(QString *error) const
{
    int fd = ::socket(m_slaveAddress.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = systemError("socket");
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&m_slaveAddress), m_slaveAddressLength) != 0
        && errno != EINPROGRESS) {
        *error = systemError("connect");
        closeFd(fd);
        return -1;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {m_server.wakeFd(), POLLIN, 0}};
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_config.connectTimeoutMs);
    int ready;
    while ((ready = ::poll(fds, 2, remainingMs(deadline))) < 0 && errno == EINTR) {
    }
    int failure = 0;
    socklen_t length = sizeof failure;
    if (ready <= 0 || fds[1].revents) {
        *error = ready == 0 ? QStringLiteral("connect: timed out") : QStringLiteral("connect: stopped");
    } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0) {
        errno = failure;
        *error = systemError("connect");
    } else {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }
    closeFd(fd);
    return -1;
}

void FaultProxy::serve(int masterFd)
{
    const int session = ++m_sessions;
    QString error;
    int slaveFd = connectToSlave(&error);
    if (slaveFd < 0) {
        count(&ProxyStats::slaveFailures);
        notify(session, ProxyEvent::SlaveUnreachable, QByteArray(), error);
        return;
    }
    notify(session, ProxyEvent::Connected);
    Delivery delivery;
    delivery.fd = masterFd;
    delivery.pause = [this](int ms) { return m_server.pause(ms); };
    ReplyFramer framer;
    QByteArray request; // the master's bytes since the last reply
    Clock::time_point requestTime = Clock::now();
    char chunk[kReceiveChunk];
    pollfd fds[3] = {{masterFd, POLLIN, 0}, {slaveFd, POLLIN, 0}, {m_server.wakeFd(), POLLIN, 0}};
    bool masterClosed = false;
    bool open = true;
    while (open) {
        const int ready = ::poll(fds, 3, framer.hasPartial() ? m_config.frameGapMs : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[2].revents)
            break;
        QByteArray unit;
        if (ready == 0 && framer.flush(&unit)) {
            count(&ProxyStats::passedAsIs);
            notify(session, ProxyEvent::PassedAsIs, unit);
            open = sendAll(masterFd, unit.constData(), unit.size());
            continue;
        }
        if (fds[0].revents) {
            const ssize_t received = receive(masterFd, chunk, sizeof chunk);
            if (received <= 0) {
                masterClosed = true;
                break;
            }
            if (!sendAll(slaveFd, chunk, int(received)))
                break;
            count(&ProxyStats::requestChunks);
            notify(session, ProxyEvent::Request, QByteArray(chunk, int(received)));
            request.append(chunk, int(received));
            if (request.size() > kMaxPendingRequest)
                request = request.right(kMaxPendingRequest);
            requestTime = Clock::now();
            framer.expectEcho(request);
        }
        if (fds[1].revents) {
            const ssize_t received = receive(slaveFd, chunk, sizeof chunk);
            if (received <= 0) {
                if (framer.flush(&unit))
                    sendAll(masterFd, unit.constData(), unit.size());
                break;
            }
            framer.append(chunk, int(received));
            bool isReply = false;
            while (open && framer.take(&unit, &isReply)) {
                if (!isReply) {
                    count(&ProxyStats::passedAsIs);
                    notify(session, ProxyEvent::PassedAsIs, unit);
                    open = sendAll(masterFd, unit.constData(), unit.size());
                    continue;
                }
                count(&ProxyStats::replies);
                Fault fault;
                const bool faulty = takeFault(unit, &fault);
                notify(session, ProxyEvent::Reply, unit, faulty ? describeFault(fault) : QString());
                open = deliver(delivery, request, unit, faulty ? &fault : nullptr, requestTime) != Delivered::Failed;
                request.clear();
            }
        }
    }
    if (masterClosed)
        drainSlave(slaveFd);
    closeFd(slaveFd);
    notify(session, ProxyEvent::Closed);
}

// The slave may still be working on what the master sent last: it closes its
// end once it has read everything up to the proxy's.
void FaultProxy::drainSlave(int slaveFd) const
{
    ::shutdown(slaveFd, SHUT_WR);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_config.drainMs);
    pollfd fds[2] = {{slaveFd, POLLIN, 0}, {m_server.wakeFd(), POLLIN, 0}};
    char chunk[kReceiveChunk];
    for (;;) {
        const int ready = ::poll(fds, 2, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || fds[1].revents || receive(slaveFd, chunk, sizeof chunk) <= 0)
            return;
    }
}

bool FaultProxy::takeFault(const QByteArray &reply, Fault *fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_faults.empty()) {
        *fault = m_faults.front();
        m_faults.pop_front();
        return true;
    }
    return m_faultSource && m_faultSource(reply, fault);
}

void FaultProxy::injectFault(const Fault &fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back(fault);
}

void FaultProxy::setFaultSource(FaultSource source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultSource = std::move(source);
}

ProxyStats FaultProxy::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ProxyStats stats = m_stats;
    stats.connections = m_server.accepted();
    return stats;
}

void FaultProxy::count(uint64_t ProxyStats::*counter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++(m_stats.*counter);
}

void FaultProxy::notify(int session, ProxyEvent event, const QByteArray &bytes, const QString &note) const
{
    if (m_monitor)
        m_monitor(session, event, bytes, note);
}

} // namespace sim
