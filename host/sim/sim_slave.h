#ifndef HOST_SIM_SLAVE_H
#define HOST_SIM_SLAVE_H

// The simulated slave as a TCP server (RTU frames over TCP, one thread per
// connection) or on a serial line. Every served station has its own data map
// (sim_slave_core.h), shared by all connections; chosen registers can count
// up while it runs (sim_counters.h).
// Faults can be injected for tests: they apply to the next replies, one
// fault per reply, in the order they were queued. A fault source, when set,
// decides for every reply that finds the queue empty (random faults of a
// long run). It can behave as a gateway with slaves on a serial line behind
// it: exceptions 0x0A and 0x0B for stations it cannot reach, replies paced
// at the line's rate, every request echoed.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "host/sim/sim_counters.h"
#include "host/sim/sim_faults.h"
#include "host/sim/serial_port_server.h"
#include "host/sim/sim_slave_core.h"
#include "host/sim/tcp_server.h"

namespace sim {

struct SlaveConfig
{
    std::string bindAddress = "127.0.0.1";
    uint16_t port = 0; // 0 takes any free port; port() tells which
    StationSet stations = makeStationSet({1});
    // A partial request that sees no new byte for this long is dropped, the
    // way an RTU slave ends a frame at a silent interval.
    int frameGapMs = 100;
    GatewayRules gateway;
    SerialLine line;   // replies paced at its rate; baud 0: no pacing
    bool echo = false; // every request is sent back before its reply
    // Registers that count up every countEveryMs from the start, in the
    // stations the runs name.
    QVector<CounterRun> counters;
    int countEveryMs = kDefaultCountEveryMs;
};

struct SlaveStats
{
    uint64_t requests = 0;   // complete frames taken off the stream, those for stations not served too
    uint64_t replies = 0;    // replies sent whole
    uint64_t discarded = 0;  // frames thrown away for a bad CRC or a gap
    uint64_t connections = 0; // TCP connections accepted, or opens of the serial port
};

class SimSlave
{
public:
    // Sees every request the slave takes up with the reply it got (empty
    // when silent): those for a station it serves or answers for.
    using Monitor = std::function<void(const QByteArray &request, const QByteArray &reply)>;
    // Sees the input the slave throws away or ignores: a frame with a bad CRC
    // (with everything that came after it), a partial frame at the silent
    // gap, a request for a station it neither serves nor answers for.
    using DiscardMonitor = std::function<void(const QByteArray &bytes, DiscardReason reason)>;
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
    // Serves the serial line instead (bind address and port unused); false
    // with a reason when the port cannot be opened.
    bool startSerial(const SerialPortSettings &port, QString *error = nullptr);
    void stop();
    uint16_t port() const { return m_port; }

    // Runs f on the data map of the lowest served station while no request
    // is being served: the one station of most slaves.
    template <typename F>
    auto withData(F &&f)
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        return f(m_tables.first());
    }
    // Runs f on the data map of station the same way; false, without
    // running it, when the station is not served.
    template <typename F>
    bool withStationData(int station, F &&f)
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        SlaveData *data = m_tables.find(station);
        if (data)
            f(*data);
        return data != nullptr;
    }

    void injectFault(const Fault &fault);
    void clearFaults();
    int pendingFaults() const;
    // Closes every open connection at once, as a slave that restarts would.
    void closeConnections() { m_server.closeConnections(); }
    int openConnections() const { return m_server.openConnections(); }
    SlaveStats stats() const;
    // Set before start().
    void setMonitor(Monitor monitor) { m_monitor = std::move(monitor); }
    void setDiscardMonitor(DiscardMonitor monitor) { m_discardMonitor = std::move(monitor); }
    // An empty source switches it off.
    void setFaultSource(FaultSource source);

private:
    // Frames and answers the requests that come on fd until it closes or
    // wakeFd becomes readable; pause sleeps unless the owner stops.
    void serve(int fd, int wakeFd, const std::function<bool(int ms)> &pause);
    bool answer(const Delivery &delivery, const QByteArray &request);
    bool takeFault(const QByteArray &reply, Fault *fault);
    // Counts bytes the framer threw away and reports them.
    void throwAway(const QByteArray &bytes, DiscardReason reason);
    // Starts the counting registers' clock from now; the values they hold
    // are their start values.
    void startCounting();

    SlaveConfig m_config;
    uint16_t m_port = 0;
    TcpServer m_server;
    SerialPortServer m_serialServer;

    std::mutex m_dataMutex; // tables and counters
    StationTables m_tables;
    CountUp m_countUp;
    std::chrono::steady_clock::time_point m_started;

    mutable std::mutex m_mutex; // faults, fault source, stats
    std::deque<Fault> m_faults;
    FaultSource m_faultSource;
    SlaveStats m_stats;
    Monitor m_monitor;
    DiscardMonitor m_discardMonitor;
};

} // namespace sim

#endif // HOST_SIM_SLAVE_H
