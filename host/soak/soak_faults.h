#ifndef HOST_SOAK_FAULTS_H
#define HOST_SOAK_FAULTS_H

// The faults mbrtu_soak injects into the simulated slave's replies, and the
// watchdog that ends the run when a request does not come back.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "host/sim/sim_slave.h"

namespace soak {

// Names of the fault kinds, in the order of sim::FaultKind.
inline const char *const kFaultNames[] = {"drop", "delay", "corrupt", "split", "close"};
constexpr int kFaultKinds = 5;

// Decides, for each reply of the slave, whether it gets a fault and which.
// Called on the slave's connection threads one call at a time; the counters
// are read by the soak's thread.
class FaultInjector
{
public:
    FaultInjector(quint64 seed, double rate, QVector<sim::FaultKind> kinds, int timeoutMs)
        : m_random(seed), m_rate(rate), m_kinds(std::move(kinds)), m_timeoutMs(timeoutMs)
    {
    }

    bool decide(const QByteArray &reply, sim::Fault *fault);

    quint64 replies() const { return m_replies; }
    quint64 total() const { return m_total; }
    quint64 injected(int kind) const { return m_injected[kind]; }
    quint64 lateDelays() const { return m_lateDelays; }
    quint64 lateSplits() const { return m_lateSplits; }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::mt19937_64 m_random;
    double m_rate;
    QVector<sim::FaultKind> m_kinds;
    int m_timeoutMs;
    std::atomic<quint64> m_replies{0};
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_injected[kFaultKinds] = {};
    std::atomic<quint64> m_lateDelays{0};
    std::atomic<quint64> m_lateSplits{0};
};

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
