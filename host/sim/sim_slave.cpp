// TCP side of the simulated slave: accepting, framing the byte stream of
// each connection, answering and applying injected faults.

#include "host/sim/sim_slave.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr int kListenBacklog = 16;
constexpr int kReceiveChunk = 4096;

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool sendAll(int fd, const char *data, int size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, std::size_t(size), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= int(sent);
    }
    return true;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

SimSlave::SimSlave(SlaveConfig config)
    : m_config(std::move(config))
{
}

SimSlave::~SimSlave()
{
    stop();
}

bool SimSlave::start(QString *error)
{
    QString reason;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_config.port);
    if (inet_pton(AF_INET, m_config.bindAddress.c_str(), &address.sin_addr) != 1) {
        reason = QStringLiteral("not an IPv4 address: %1").arg(QString::fromStdString(m_config.bindAddress));
    } else if (::pipe2(m_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        reason = systemError("pipe");
    } else if ((m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) < 0) {
        reason = systemError("socket");
    } else {
        const int on = 1;
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        socklen_t length = sizeof address;
        if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            reason = systemError("bind");
        else if (::listen(m_listenFd, kListenBacklog) != 0)
            reason = systemError("listen");
        else if (::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            reason = systemError("getsockname");
    }
    if (!reason.isEmpty()) {
        closeFd(m_listenFd);
        closeFd(m_wakeFds[0]);
        closeFd(m_wakeFds[1]);
        if (error)
            *error = reason;
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_running = true;
    m_acceptor = std::thread(&SimSlave::acceptLoop, this);
    return true;
}

void SimSlave::stop()
{
    if (!m_running)
        return;
    m_running = false;
    // The pipe is never read, so once written it wakes every poll for good.
    const char wake = 1;
    while (::write(m_wakeFds[1], &wake, 1) < 0 && errno == EINTR) {
    }
    m_acceptor.join();
    closeConnections();
    std::list<std::unique_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto &connection : connections) {
        connection->thread.join();
        closeFd(connection->fd);
    }
    closeFd(m_listenFd);
    closeFd(m_wakeFds[0]);
    closeFd(m_wakeFds[1]);
}

void SimSlave::acceptLoop()
{
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        reapFinished();
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection *raw = connection.get();
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_stats.connections;
        m_connections.push_back(std::move(connection));
        raw->thread = std::thread(&SimSlave::serve, this, raw);
    }
}

void SimSlave::reapFinished()
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->finished) {
                finished.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &connection : finished) {
        connection->thread.join();
        closeFd(connection->fd);
    }
}

void SimSlave::serve(Connection *connection)
{
    const int fd = connection->fd;
    RequestFramer framer;
    char chunk[kReceiveChunk];
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    bool open = true;
    while (open) {
        const int timeout = framer.hasPartialFrame() ? m_config.frameGapMs : -1;
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            break;
        if (ready == 0) {
            framer.clear();
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_stats.discarded;
            continue;
        }
        const ssize_t received = ::recv(fd, chunk, sizeof chunk, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            break;
        framer.append(chunk, int(received));
        const int discardedBefore = framer.discardedFrames();
        QByteArray request;
        while (open && framer.takeFrame(&request))
            open = answer(fd, request);
        if (framer.discardedFrames() != discardedBefore) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stats.discarded += uint64_t(framer.discardedFrames() - discardedBefore);
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    connection->finished = true;
}

bool SimSlave::answer(int fd, const QByteArray &request)
{
    QByteArray reply;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        reply = processRequest(m_data, m_config.stations, request);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_stats.requests;
    }
    if (m_monitor)
        m_monitor(request, reply);
    if (reply.isEmpty())
        return true;
    return sendReply(fd, reply);
}

bool SimSlave::sendReply(int fd, QByteArray reply)
{
    Fault fault;
    int firstPart = reply.size();
    if (takeFault(reply, &fault)) {
        switch (fault.kind) {
        case FaultKind::Drop:
            return true;
        case FaultKind::Close:
            return false;
        case FaultKind::Delay:
            if (!pause(fault.delayMs))
                return false;
            break;
        case FaultKind::Corrupt:
            reply[fault.byteIndex % reply.size()] = char(reply[fault.byteIndex % reply.size()] ^ fault.xorMask);
            break;
        case FaultKind::Split:
            firstPart = qBound(0, fault.byteIndex, reply.size());
            break;
        }
    }
    if (!sendAll(fd, reply.constData(), firstPart))
        return false;
    if (firstPart < reply.size()) {
        if (!pause(fault.delayMs) || !sendAll(fd, reply.constData() + firstPart, reply.size() - firstPart))
            return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_stats.replies;
    return true;
}

bool SimSlave::takeFault(const QByteArray &reply, Fault *fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_faults.empty()) {
        *fault = m_faults.front();
        m_faults.pop_front();
        return true;
    }
    return m_faultSource && m_faultSource(reply, fault);
}

bool SimSlave::pause(int ms) const
{
    pollfd wake = {m_wakeFds[0], POLLIN, 0};
    int ready;
    while ((ready = ::poll(&wake, 1, ms)) < 0 && errno == EINTR) {
    }
    return ready == 0;
}

void SimSlave::injectFault(const Fault &fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back(fault);
}

void SimSlave::setFaultSource(FaultSource source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faultSource = std::move(source);
}

void SimSlave::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

int SimSlave::pendingFaults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_faults.size());
}

void SimSlave::closeConnections()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &connection : m_connections) {
        if (!connection->finished)
            ::shutdown(connection->fd, SHUT_RDWR);
    }
}

int SimSlave::openConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int open = 0;
    for (const auto &connection : m_connections)
        open += connection->finished ? 0 : 1;
    return open;
}

SlaveStats SimSlave::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

} // namespace sim
