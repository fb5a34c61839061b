#include "host/link/station_health.h"

#include <algorithm>
#include <cmath>

qint64 nearestRankPercentile(QVector<qint64> values, double p)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const int rank = std::max(1, int(std::ceil(p / 100.0 * values.size())));
    return values[std::min(rank, int(values.size())) - 1];
}

LinkHealth::LinkHealth(int timeoutMs, qint64 basePeriodMs)
    : m_timeoutMs(timeoutMs), m_basePeriodMs(qMax<qint64>(1, basePeriodMs))
{
}

RequestPlan LinkHealth::plan(int station, qint64 nowMs) const
{
    RequestPlan plan;
    const Station *state = find(station);
    if (!state || state->silentInARow == 0)
        return plan;
    if (nowMs < state->nextTryMs) {
        plan.kind = RequestKind::BackedOff;
        plan.nextTryMs = state->nextTryMs;
        return plan;
    }
    plan.kind = RequestKind::Probe;
    plan.probeTimeoutMs = probeTimeoutMs(station);
    return plan;
}

void LinkHealth::recordAnswer(int station, qint64 responseUs)
{
    Station &state = m_stations[station];
    state.silentInARow = 0;
    state.backoffMs = 0;
    state.nextTryMs = 0;
    keep(state.responseUs, responseUs);
    keep(m_linkResponseUs, responseUs);
}

void LinkHealth::recordSilence(int station, qint64 nowMs, qint64 costMs)
{
    Station &state = m_stations[station];
    const qint64 doubled = state.backoffMs > 0 ? 2 * state.backoffMs : 2 * m_basePeriodMs;
    state.backoffMs = qMin(kMaxBackoffMs, qMax(doubled, kSilentCostFactor * qMax<qint64>(0, costMs)));
    state.nextTryMs = nowMs + state.backoffMs;
    ++state.silentInARow;
}

int LinkHealth::probeTimeoutMs(int station) const
{
    const Station *state = find(station);
    qint64 p99Us = state ? p99Of(state->responseUs) : -1;
    if (p99Us < 0)
        p99Us = p99Of(m_linkResponseUs);
    if (p99Us < 0)
        return m_timeoutMs;
    const qint64 drawnMs = kProbeFactor * ((p99Us + 999) / 1000) + kProbeMarginMs;
    return int(qMin<qint64>(m_timeoutMs, drawnMs));
}

int LinkHealth::silentInARow(int station) const
{
    const Station *state = find(station);
    return state ? state->silentInARow : 0;
}

qint64 LinkHealth::backoffMs(int station) const
{
    const Station *state = find(station);
    return state ? state->backoffMs : 0;
}

qint64 LinkHealth::nextTryMs(int station) const
{
    const Station *state = find(station);
    return state ? state->nextTryMs : 0;
}

QVector<int> LinkHealth::silentStations() const
{
    QVector<int> silent;
    for (const auto &entry : m_stations) {
        if (entry.second.silentInARow > 0)
            silent.append(entry.first);
    }
    return silent;
}

void LinkHealth::keep(std::deque<qint64> &samples, qint64 responseUs)
{
    samples.push_back(responseUs);
    if (samples.size() > kResponseSamples)
        samples.pop_front();
}

qint64 LinkHealth::p99Of(const std::deque<qint64> &samples)
{
    return nearestRankPercentile(QVector<qint64>(samples.begin(), samples.end()), 99);
}

const LinkHealth::Station *LinkHealth::find(int station) const
{
    const auto found = m_stations.find(station);
    return found == m_stations.end() ? nullptr : &found->second;
}
