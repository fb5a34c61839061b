#include "host/gateway/gateway_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace gateway {
namespace {

struct Peer
{
    quint32 address = 0; // host order
    QString text;        // "127.0.0.1:40000"
};

Peer peerOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    Peer peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 || address.sin_family != AF_INET)
        return peer;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    peer.address = ntohl(address.sin_addr.s_addr);
    peer.text = QStringLiteral("%1:%2").arg(QLatin1String(text)).arg(ntohs(address.sin_port));
    return peer;
}

} // namespace

GatewayServer::GatewayServer(GatewaySetup setup)
    : m_setup(std::move(setup)),
      // A silent station's back-off starts from twice the link's time-out.
      m_gate(m_setup.timeoutMs, m_setup.timeoutMs),
      m_context{m_setup.config, m_queue, m_gate, m_stats, m_setup.log, m_setup.trace,
                deadlineFor(m_setup.config, m_setup.timeoutMs, m_setup.retries, m_setup.delayMs),
                m_setup.link.defaultStation, -1},
      m_worker(m_setup.link, m_queue, m_gate, m_stats),
      m_server([this](int fd) { serveClient(fd); })
{
}

GatewayServer::~GatewayServer()
{
    stop();
}

bool GatewayServer::start(QString *error)
{
    if (!m_server.start(m_setup.config.listenAddress.toStdString(), quint16(m_setup.config.listenPort), error))
        return false;
    m_worker.start();
    m_running = true;
    return true;
}

void GatewayServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_queue.stop();
    m_worker.join();
    m_server.stop();
}

void GatewayServer::serveClient(int fd)
{
    const Peer peer = peerOf(fd);
    if (!isAllowed(m_setup.config.allow, peer.address)) {
        ++m_stats.refusedClients;
        m_setup.log(QStringLiteral("client %1 refused: not in --allow").arg(peer.text));
        return;
    }
    if (++m_stats.clients > m_setup.config.maxClients) {
        --m_stats.clients;
        ++m_stats.refusedClients;
        m_setup.log(QStringLiteral("client %1 refused: %2 clients already (--max-clients)")
                        .arg(peer.text)
                        .arg(m_setup.config.maxClients));
        return;
    }
    ++m_stats.connected;
    const int id = m_nextSession++;
    m_setup.log(QStringLiteral("client %1 connected from %2 (%3 of %4)")
                    .arg(id)
                    .arg(peer.text)
                    .arg(m_stats.clients.load())
                    .arg(m_setup.config.maxClients));
    SessionContext context = m_context;
    context.stopFd = m_server.wakeFd();
    ClientSession session(fd, id, context);
    const QString why = session.run();
    --m_stats.clients;
    m_setup.log(QStringLiteral("client %1 closed: %2 (%3 request(s))").arg(id).arg(why).arg(session.requests()));
}

} // namespace gateway
