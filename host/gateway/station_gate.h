#ifndef HOST_GATEWAY_STATION_GATE_H
#define HOST_GATEWAY_STATION_GATE_H

// The link's health record (host/link/station_health.h) shared between the
// client sessions, which answer a backed-off station's requests at once
// without queueing them, and the link's worker, which plans each request
// with it and records what the station did.

#include <mutex>

#include "host/gateway/exchange.h"
#include "host/link/station_health.h"

namespace gateway {

class StationGate
{
public:
    // timeoutMs: the link's response time-out; basePeriodMs: where a silent
    // station's back-off starts.
    StationGate(int timeoutMs, qint64 basePeriodMs) : m_health(timeoutMs, basePeriodMs) {}

    RequestPlan plan(int station) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_health.plan(station, monotonicMs());
    }
    bool isBackedOff(int station) const { return plan(station).kind == RequestKind::BackedOff; }
    void recordAnswer(int station, qint64 responseUs)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_health.recordAnswer(station, responseUs);
    }
    void recordSilence(int station, qint64 costMs)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_health.recordSilence(station, monotonicMs(), costMs);
    }
    QVector<int> silentStations() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_health.silentStations();
    }

private:
    mutable std::mutex m_mutex;
    LinkHealth m_health;
};

} // namespace gateway

#endif // HOST_GATEWAY_STATION_GATE_H
