#include "host/soak/soak_faults.h"

#include <cstdio>
#include <unistd.h>

namespace soak {

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
