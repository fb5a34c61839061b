#ifndef HOST_SOAK_FAULTS_H
#define HOST_SOAK_FAULTS_H

// The watchdog that ends mbrtu_soak when a request does not come back. The
// faults it injects come from sim::FaultInjector (host/sim/sim_faults.h).

#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace soak {

// Ends the process when a request has not come back by its deadline.
class Watchdog
{
public:
    using OnHang = std::function<void(const QString &what, qint64 elapsedMs)>;

    explicit Watchdog(OnHang onHang) : m_onHang(std::move(onHang)), m_thread(&Watchdog::watch, this) {}
    ~Watchdog();

    void arm(const QString &what, qint64 limitMs);
    void disarm();

private:
    using Clock = std::chrono::steady_clock;

    void watch();

    OnHang m_onHang;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_armed = false;
    QString m_what;
    Clock::time_point m_started;
    Clock::time_point m_deadline;
    std::thread m_thread;
};

} // namespace soak

#endif // HOST_SOAK_FAULTS_H
