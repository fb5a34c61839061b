// The wire side of the simulated slave, a TCP connection or a serial line:
// framing the byte stream, answering and applying injected faults.

#include "host/sim/sim_slave.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace sim {
namespace {

constexpr int kReceiveChunk = 4096;

} // namespace

SimSlave::SimSlave(SlaveConfig config)
    : m_config(std::move(config)),
      m_server([this](int fd) { serve(fd, m_server.wakeFd(), [this](int ms) { return m_server.pause(ms); }); }),
      m_serialServer(
          [this](int fd) { serve(fd, m_serialServer.wakeFd(), [this](int ms) { return m_serialServer.pause(ms); }); }),
      m_tables(m_config.stations),
      m_countUp(m_config.counters, m_config.countEveryMs),
      m_started(std::chrono::steady_clock::now())
{
}

SimSlave::~SimSlave()
{
    stop();
}

void SimSlave::startCounting()
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    m_countUp = CountUp(m_config.counters, m_config.countEveryMs);
    m_started = std::chrono::steady_clock::now();
}

bool SimSlave::start(QString *error)
{
    startCounting();
    if (!m_server.start(m_config.bindAddress, m_config.port, error))
        return false;
    m_port = m_server.port();
    return true;
}

bool SimSlave::startSerial(const SerialPortSettings &port, QString *error)
{
    startCounting();
    return m_serialServer.start(port, error);
}

void SimSlave::stop()
{
    m_server.stop();
    m_serialServer.stop();
}

void SimSlave::serve(int fd, int wakeFd, const std::function<bool(int ms)> &pause)
{
    Delivery delivery;
    delivery.fd = fd;
    delivery.line = m_config.line;
    delivery.echo = m_config.echo;
    delivery.pause = pause;
    RequestFramer framer;
    char chunk[kReceiveChunk];
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    bool open = true;
    while (open) {
        const int timeout = framer.hasPartialFrame() ? m_config.frameGapMs : -1;
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            break;
        if (ready == 0) {
            throwAway(framer.dropPartialFrame(), DiscardReason::PartialFrame);
            continue;
        }
        const ssize_t received = ::read(fd, chunk, sizeof chunk);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            break;
        framer.append(chunk, int(received));
        QByteArray request;
        QByteArray discarded;
        while (open && framer.takeFrame(&request, &discarded))
            open = answer(delivery, request);
        if (!discarded.isEmpty()) // a bad frame ends the loop: at most one per read
            throwAway(discarded, DiscardReason::BadCrc);
    }
}

void SimSlave::throwAway(const QByteArray &bytes, DiscardReason reason)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_stats.discarded;
    }
    if (m_discardMonitor)
        m_discardMonitor(bytes, reason);
}

bool SimSlave::answer(const Delivery &delivery, const QByteArray &request)
{
    const auto arrived = std::chrono::steady_clock::now();
    QByteArray reply;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(arrived - m_started);
        m_countUp.advance(elapsed.count(), m_tables);
        reply = processRequest(m_tables, request, m_config.gateway);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_stats.requests;
    }
    // The framer hands on frames of two bytes at least: the station is there.
    // A broadcast (station 0) is served, silently, by every station.
    const uint8_t station = uint8_t(request[0]);
    const bool ignored = reply.isEmpty() && station != 0 && !m_config.stations.test(station);
    if (ignored && m_discardMonitor)
        m_discardMonitor(request, DiscardReason::NotServed);
    else if (!ignored && m_monitor)
        m_monitor(request, reply);
    Fault fault;
    const bool faulty = !reply.isEmpty() && takeFault(reply, &fault);
    const Delivered delivered = deliver(delivery, request, reply, faulty ? &fault : nullptr, arrived);
    if (delivered == Delivered::Whole) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_stats.replies;
    }
    return delivered != Delivered::Failed;
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

SlaveStats SimSlave::stats() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SlaveStats stats = m_stats;
    stats.connections = m_server.accepted() + m_serialServer.opens();
    return stats;
}

} // namespace sim
