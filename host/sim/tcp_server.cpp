#include "host/sim/tcp_server.h"

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

} // namespace

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

TcpServer::~TcpServer()
{
    stop();
}

bool TcpServer::start(const std::string &bindAddress, uint16_t port, QString *error)
{
    QString reason;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, bindAddress.c_str(), &address.sin_addr) != 1)
        reason = QStringLiteral("not an IPv4 address: %1").arg(QString::fromStdString(bindAddress));
    else if (m_wake.open(&reason))
        reason = openListener(&address);
    if (!reason.isEmpty()) {
        closeFd(m_listenFd);
        m_wake.close();
        if (error)
            *error = reason;
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_running = true;
    m_acceptor = std::thread(&TcpServer::acceptLoop, this);
    return true;
}

// Opens the listening socket at *address and fills in the port it got;
// empty on success, else the reason.
QString TcpServer::openListener(sockaddr_in *address)
{
    if ((m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) < 0)
        return systemError("socket");
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof *address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(address), sizeof *address) != 0)
        return systemError("bind");
    if (::listen(m_listenFd, kListenBacklog) != 0)
        return systemError("listen");
    if (::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(address), &length) != 0)
        return systemError("getsockname");
    return QString();
}

void TcpServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_wake.wake();
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
    m_wake.close();
}

void TcpServer::acceptLoop()
{
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wake.fd(), POLLIN, 0}};
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
        ++m_accepted;
        m_connections.push_back(std::move(connection));
        raw->thread = std::thread([this, raw] {
            m_handler(raw->fd);
            ::shutdown(raw->fd, SHUT_RDWR);
            raw->finished = true;
        });
    }
}

void TcpServer::reapFinished()
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

void TcpServer::closeConnections()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &connection : m_connections) {
        if (!connection->finished)
            ::shutdown(connection->fd, SHUT_RDWR);
    }
}

int TcpServer::openConnections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int open = 0;
    for (const auto &connection : m_connections)
        open += connection->finished ? 0 : 1;
    return open;
}

uint64_t TcpServer::accepted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

} // namespace sim
