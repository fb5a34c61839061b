#ifndef HOST_GATEWAY_GATEWAY_SERVER_H
#define HOST_GATEWAY_GATEWAY_SERVER_H

// The Modbus TCP gateway: accepts clients (those --allow admits, up to
// --max-clients), runs a session for each, and shares the one RTU link among
// them through the fair queue and the link's worker. Logs a line per client
// connected, refused and closed. stop() stops accepting, lets the request on
// the line finish, sends the answers that are ready and closes the clients.

#include <QString>
#include <atomic>
#include <memory>

#include "host/gateway/client_session.h"
#include "host/gateway/link_worker.h"
#include "host/sim/tcp_server.h"

namespace gateway {

struct GatewaySetup
{
    GatewayConfig config;
    LinkSetup link;
    int timeoutMs = 1000; // the link's response time-out
    int retries = 0;
    int delayMs = 0;
    bool trace = false;
    LogSink log;
};

class GatewayServer
{
public:
    explicit GatewayServer(GatewaySetup setup);
    ~GatewayServer();

    bool start(QString *error);
    void stop();
    quint16 port() const { return m_server.port(); }
    int deadlineMs() const { return m_context.deadlineMs; }
    const GatewayStats &stats() const { return m_stats; }
    QVector<int> backedOffStations() const { return m_gate.silentStations(); }
    qint64 lineBusyUs() const { return m_worker.busyUs(); }

private:
    void serveClient(int fd);

    GatewaySetup m_setup;
    GatewayStats m_stats;
    FairQueue m_queue;
    StationGate m_gate;
    SessionContext m_context;
    LinkWorker m_worker;
    sim::TcpServer m_server;
    std::atomic<int> m_nextSession{1};
    bool m_running = false;
};

} // namespace gateway

#endif // HOST_GATEWAY_GATEWAY_SERVER_H
