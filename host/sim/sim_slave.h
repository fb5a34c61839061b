#ifndef HOST_SIM_SLAVE_H
#define HOST_SIM_SLAVE_H

// The simulated slave as a TCP server: RTU frames over TCP, one thread per
// connection, the data map of sim_slave_core.h shared by all connections.
// Faults can be injected for tests: they apply to the next replies, one
// fault per reply, in the order they were queued. A fault source, when set,
// decides for every reply that finds the queue empty (random faults of a
// long run).

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/sim/sim_slave_core.h"

namespace sim {

enum class FaultKind {
    Drop,    // the request is served, the reply is never sent
    Delay,   // the reply is sent after delayMs
    Corrupt, // reply byte byteIndex is XORed with xorMask (inverted by default)
    Split,   // the first byteIndex bytes, a pause of delayMs, then the rest
    Close    // the connection is closed instead of replying
};

struct Fault
{
    FaultKind kind = FaultKind::Drop;
    int delayMs = 0;
    int byteIndex = 0;
    uint8_t xorMask = 0xFF;

    static Fault drop() { return Fault{FaultKind::Drop, 0, 0}; }
    static Fault delay(int ms) { return Fault{FaultKind::Delay, ms, 0}; }
    static Fault corrupt(int index, uint8_t mask = 0xFF) { return Fault{FaultKind::Corrupt, 0, index, mask}; }
    static Fault split(int firstPart, int pauseMs) { return Fault{FaultKind::Split, pauseMs, firstPart}; }
    static Fault close() { return Fault{FaultKind::Close, 0, 0}; }
};

struct SlaveConfig
{
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 0; // 0 takes any free port; port() tells which
    StationSet stations = makeStationSet({1});
    // A partial request that sees no new byte for this long is dropped, the
    // way an RTU slave ends a frame at a silent interval.
    int frameGapMs = 100;
};

struct SlaveStats
{
    uint64_t requests = 0;   // complete frames taken off the stream
    uint64_t replies = 0;    // replies sent whole
    uint64_t discarded = 0;  // frames thrown away for a bad CRC or a gap
    uint64_t connections = 0;
};

class SimSlave
{
public:
    // Sees every request with the reply it got (empty when silent).
    using Monitor = std::function<void(const QByteArray &request, const QByteArray &reply)>;
    // Asked for a fault for the reply about to go out when none is queued;
    // false for none. Calls never overlap; the source must not call back into
    // the slave.
    using FaultSource = std::function<bool(const QByteArray &reply, Fault *fault)>;

    explicit SimSlave(SlaveConfig config = SlaveConfig());
    ~SimSlave();
    SimSlave(const SimSlave &) = delete;
    SimSlave &operator=(const SimSlave &) = delete;

    // Binds and starts listening; false with a reason when it cannot.
    bool start(QString *error = nullptr);
    void stop();
    uint16_t port() const { return m_port; }

    // Runs f on the data map while no request is being served.
    template <typename F>
    auto withData(F &&f)
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        return f(m_data);
    }

    void injectFault(const Fault &fault);
    void clearFaults();
    int pendingFaults() const;
    // Closes every open connection at once, as a slave that restarts would.
    void closeConnections();
    int openConnections() const;
    SlaveStats stats() const;
    // Set before start().
    void setMonitor(Monitor monitor) { m_monitor = std::move(monitor); }
    // An empty source switches it off.
    void setFaultSource(FaultSource source);

private:
    struct Connection
    {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void acceptLoop();
    void serve(Connection *connection);
    bool answer(int fd, const QByteArray &request);
    bool sendReply(int fd, QByteArray reply);
    bool takeFault(const QByteArray &reply, Fault *fault);
    // Sleeps ms unless the slave stops first; false when it stops.
    bool pause(int ms) const;
    void reapFinished();

    SlaveConfig m_config;
    uint16_t m_port = 0;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::thread m_acceptor;
    bool m_running = false;

    std::mutex m_dataMutex;
    SlaveData m_data;

    mutable std::mutex m_mutex; // faults, fault source, connections, stats
    std::deque<Fault> m_faults;
    FaultSource m_faultSource;
    std::list<std::unique_ptr<Connection>> m_connections;
    SlaveStats m_stats;
    Monitor m_monitor;
};

} // namespace sim

#endif // HOST_SIM_SLAVE_H
