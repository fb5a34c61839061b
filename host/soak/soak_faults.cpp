#include "host/soak/soak_faults.h"

#include <cstdio>
#include <unistd.h>

namespace soak {

bool FaultInjector::decide(const QByteArray &reply, sim::Fault *fault)
{
    ++m_replies;
    if (!std::bernoulli_distribution(m_rate)(m_random))
        return false;
    const sim::FaultKind kind = m_kinds[uniform(0, m_kinds.size() - 1)];
    // Waits range up to twice the time-out: some come in time, some too late.
    const int wait = uniform(1, 2 * m_timeoutMs);
    switch (kind) {
    case sim::FaultKind::Drop:
        *fault = sim::Fault::drop();
        break;
    case sim::FaultKind::Delay:
        *fault = sim::Fault::delay(wait);
        m_lateDelays += wait > m_timeoutMs ? 1 : 0;
        break;
    case sim::FaultKind::Corrupt:
        *fault = sim::Fault::corrupt(uniform(0, reply.size() - 1), uint8_t(uniform(1, 255)));
        break;
    case sim::FaultKind::Split:
        *fault = sim::Fault::split(uniform(1, reply.size() - 1), wait);
        m_lateSplits += wait > m_timeoutMs ? 1 : 0;
        break;
    case sim::FaultKind::Close:
        *fault = sim::Fault::close();
        break;
    }
    ++m_injected[int(kind)];
    ++m_total;
    return true;
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Watchdog::arm(const QString &what, qint64 limitMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_what = what;
    m_started = Clock::now();
    m_deadline = m_started + std::chrono::milliseconds(limitMs);
    m_armed = true;
}

void Watchdog::disarm()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
}

void Watchdog::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        m_wake.wait_for(lock, std::chrono::milliseconds(50));
        if (m_armed && Clock::now() > m_deadline) {
            const qint64 elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started).count();
            m_onHang(m_what, elapsed);
            std::fflush(nullptr);
            ::_exit(3);
        }
    }
}

} // namespace soak
