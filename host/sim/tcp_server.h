#ifndef HOST_SIM_TCP_SERVER_H
#define HOST_SIM_TCP_SERVER_H

// The listening side shared by the simulated slave and the fault proxy: binds,
// accepts, and runs a handler on a thread of its own for each connection.
// stop() wakes every wait of the handlers (their polls watch wakeFd(), their
// sleeps go through pause()) and joins every thread.

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/sim/wake_pipe.h"

struct sockaddr_in;

namespace sim {

class TcpServer
{
public:
    // Runs on the connection's thread with its socket; the connection is
    // shut down when it returns.
    using Handler = std::function<void(int fd)>;

    explicit TcpServer(Handler handler) : m_handler(std::move(handler)) {}
    ~TcpServer();
    TcpServer(const TcpServer &) = delete;
    TcpServer &operator=(const TcpServer &) = delete;

    // Binds and starts listening (port 0: any free port); false with a reason.
    bool start(const std::string &bindAddress, uint16_t port, QString *error);
    void stop();
    uint16_t port() const { return m_port; }

    // Readable once the server stops.
    int wakeFd() const { return m_wake.fd(); }
    // Sleeps ms unless the server stops first; false when it stops.
    bool pause(int ms) const { return m_wake.pause(ms); }

    // Shuts every open connection down at once.
    void closeConnections();
    int openConnections() const;
    // Connections accepted so far.
    uint64_t accepted() const;

private:
    struct Connection
    {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    QString openListener(::sockaddr_in *address);
    void acceptLoop();
    void reapFinished();

    Handler m_handler;
    uint16_t m_port = 0;
    int m_listenFd = -1;
    WakePipe m_wake;
    std::thread m_acceptor;
    bool m_running = false;
    mutable std::mutex m_mutex;
    std::list<std::unique_ptr<Connection>> m_connections;
    uint64_t m_accepted = 0;
};

// "bind: Address already in use"
QString systemError(const char *what);
void closeFd(int &fd);

} // namespace sim

#endif // HOST_SIM_TCP_SERVER_H
