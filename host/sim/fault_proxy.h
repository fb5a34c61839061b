#ifndef HOST_SIM_FAULT_PROXY_H
#define HOST_SIM_FAULT_PROXY_H

// A fault proxy between masters and an RTU-over-TCP slave: every master
// connection gets its own connection to the slave, bytes from the master go
// on at once, and the slave's stream is cut into replies (ReplyFramer) that
// get the simulated slave's faults, from a queue or a fault source, as the
// slave's own replies do. Bytes that frame as no reply (echoes, garbage) go
// on unchanged. When a master closes, the proxy closes its side towards the
// slave and waits (drainMs at most) for the slave to close too, so that a
// finished session means the slave has seen all of it.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <sys/socket.h>

#include "host/sim/sim_faults.h"
#include "host/sim/sim_slave_core.h"
#include "host/sim/tcp_server.h"

namespace sim {

struct ProxyConfig
{
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 0; // 0 takes any free port; port() tells which
    QString slaveHost;
    uint16_t slavePort = 0;
    int connectTimeoutMs = 3000;
    // A partial reply that sees no new byte for this long goes on as it is.
    int frameGapMs = 100;
    int drainMs = 3000;
};

struct ProxyStats
{
    uint64_t connections = 0;      // master connections accepted
    uint64_t slaveFailures = 0;    // ... for which the slave could not be reached
    uint64_t requestChunks = 0;    // pieces of the master's stream passed on
    uint64_t replies = 0;          // replies framed
    uint64_t passedAsIs = 0;       // units of the slave's stream that framed as no reply
};

enum class ProxyEvent { Connected, SlaveUnreachable, Request, Reply, PassedAsIs, Closed };

class FaultProxy
{
public:
    // A session's events; note names the fault applied to a reply or the
    // reason a slave connection failed. Called from the sessions' threads.
    using Monitor = std::function<void(int session, ProxyEvent event, const QByteArray &bytes, const QString &note)>;
    using FaultSource = std::function<bool(const QByteArray &reply, Fault *fault)>;

    explicit FaultProxy(ProxyConfig config);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // Looks up the slave's address and starts listening; false with a reason.
    bool start(QString *error = nullptr);
    void stop();
    uint16_t port() const { return m_server.port(); }

    void injectFault(const Fault &fault);
    // An empty source switches it off. Calls never overlap.
    void setFaultSource(FaultSource source);
    // Set before start().
    void setMonitor(Monitor monitor) { m_monitor = std::move(monitor); }
    ProxyStats stats() const;
    int openConnections() const { return m_server.openConnections(); }

private:
    void serve(int masterFd);
    int connectToSlave(QString *error) const;
    bool takeFault(const QByteArray &reply, Fault *fault);
    void drainSlave(int slaveFd) const;
    void notify(int session, ProxyEvent event, const QByteArray &bytes = QByteArray(),
                const QString &note = QString()) const;
    void count(uint64_t ProxyStats::*counter);

    ProxyConfig m_config;
    sockaddr_storage m_slaveAddress{};
    socklen_t m_slaveAddressLength = 0;
    TcpServer m_server;
    std::atomic<int> m_sessions{0};
    Monitor m_monitor;
    mutable std::mutex m_mutex; // faults, fault source, stats
    std::deque<Fault> m_faults;
    FaultSource m_faultSource;
    ProxyStats m_stats;
};

} // namespace sim

#endif // HOST_SIM_FAULT_PROXY_H
