#include "host/watch/watch_poller.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "settings/abstract_device_interface.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

namespace {

// period << silentCycles stops growing long before this; it keeps the shift defined.
constexpr int kMaxBackoffDoublings = 16;
// A silent station's next try waits at least this many times what its silent
// poll took, so that it takes at most about a twentieth of the time from
// the stations that answer, however long its time-out.
constexpr qint64 kSilentCostFactor = 20;
// Samples kept per station at most, whatever the request rate.
constexpr std::size_t kMaxSamples = 4096;
constexpr double kMsPerSecond = 1000.0;

GroupLimits limitsOf(DriverInterface *driver)
{
    GroupLimits limits;
    limits.maxRegisters = qMin(limits.maxRegisters, driver->getBlockAccessSize());
    limits.maxBits = qMin(limits.maxBits, driver->getBitBlockAccessSize());
    return limits;
}

QVector<TagGroup> groupsOf(DriverInterface *driver, const QVector<WatchTag> &tags)
{
    return groupTags(tags, limitsOf(driver));
}

// The read of one group: the area and number where it starts, a word or bit count.
CommunicatorCommand readCommand(const TagGroup &group)
{
    const bool bits = !isRegisterArea(group.area);
    return CommunicatorCommand(bits ? BitData : WordData, group.count,
                               areaName(group.area) + QString::number(group.first));
}

} // namespace

WatchPoller::WatchPoller(DriverInterface *driver, const QVector<WatchTag> &tags, qint64 periodMs,
                         SilenceTest silent)
    : m_driver(driver),
      m_groups(groupsOf(driver, tags)),
      m_readings(m_groups.size()),
      m_periodMs(periodMs),
      m_silent(std::move(silent))
{
    for (const TagGroup &group : m_groups)
        m_stations[group.station];
    m_clock.start();
}

void WatchPoller::setDevice(int station, AbstractDeviceInterface *device)
{
    m_stations[station].device = device;
}

QVector<int> WatchPoller::stations() const
{
    QVector<int> stations;
    for (const auto &entry : m_stations)
        stations.append(entry.first);
    return stations;
}

StationFigures WatchPoller::figures(int station) const
{
    StationFigures figures;
    const auto found = m_stations.find(station);
    if (found == m_stations.end())
        return figures;
    const Station &state = found->second;
    const qint64 now = elapsedMs();
    QVector<qint64> good;
    int requests = 0;
    for (const Sample &sample : state.samples) {
        if (sample.atMs < now - kFigureWindowMs)
            continue;
        ++requests;
        if (sample.ok)
            good.append(sample.responseUs);
    }
    const qint64 spanMs = qBound<qint64>(1, now, kFigureWindowMs);
    figures.requestsPerSecond = requests * kMsPerSecond / double(spanMs);
    figures.medianUs = nearestRankPercentile(good, 50);
    figures.p99Us = nearestRankPercentile(good, 99);
    figures.failures = state.failures;
    figures.silentCycles = state.silentCycles;
    figures.backoffMs = state.backoffMs;
    return figures;
}

bool WatchPoller::pollStation(int station, const std::function<bool()> &stop)
{
    Station &state = m_stations[station];
    const qint64 began = elapsedMs();
    bool good = true;
    int silentGroup = -1; // the request the station left unanswered this cycle
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].station != station)
            continue;
        if (stop && stop())
            break;
        if (silentGroup >= 0) {
            // It would only wait out the same time-out: it carries that failure unsent.
            const GroupReading &silence = m_readings[silentGroup];
            m_readings[i] = GroupReading{elapsedMs(), false, QByteArray(), silence.error, silence.deviceError, true};
            continue;
        }
        if (pollGroup(i, state))
            continue;
        good = false;
        if (!m_silent || m_silent(m_readings[i]))
            silentGroup = i;
    }
    const bool silent = silentGroup >= 0;
    state.silentCycles = silent ? state.silentCycles + 1 : 0;
    const qint64 doubled = m_periodMs << qMin(state.silentCycles, kMaxBackoffDoublings);
    state.backoffMs = silent ? qMin(kMaxBackoffMs, qMax(doubled, kSilentCostFactor * (elapsedMs() - began))) : 0;
    state.dueMs = silent ? elapsedMs() + state.backoffMs : began + m_periodMs;
    return good;
}

bool WatchPoller::isDue(int station) const
{
    const auto found = m_stations.find(station);
    return found != m_stations.end() && found->second.dueMs <= elapsedMs();
}

QVector<int> WatchPoller::pollDue(const std::function<bool()> &stop)
{
    QVector<int> polled;
    for (const auto &entry : m_stations) {
        if (stop && stop())
            break;
        if (!isDue(entry.first))
            continue;
        pollStation(entry.first, stop);
        polled.append(entry.first);
    }
    return polled;
}

qint64 WatchPoller::msUntilDue() const
{
    qint64 next = std::numeric_limits<qint64>::max();
    for (const auto &entry : m_stations)
        next = qMin(next, entry.second.dueMs);
    return m_stations.empty() ? 0 : qMax<qint64>(0, next - elapsedMs());
}

bool WatchPoller::pollGroup(int index, Station &station)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray data = m_driver->read(station.device, readCommand(m_groups[index]));
    const qint64 responseUs = timer.nsecsElapsed() / 1000;
    GroupReading &reading = m_readings[index];
    reading = GroupReading();
    reading.atMs = elapsedMs();
    reading.ok = !m_driver->hasError();
    if (reading.ok) {
        reading.data = data;
    } else {
        reading.error = m_driver->getLastError();
        reading.deviceError = station.device->errorString();
        ++station.failures;
    }
    record(station, responseUs, reading.ok);
    return reading.ok;
}

void WatchPoller::record(Station &station, qint64 responseUs, bool ok)
{
    const qint64 now = elapsedMs();
    station.samples.push_back(Sample{now, responseUs, ok});
    while (!station.samples.empty()
           && (station.samples.front().atMs < now - kFigureWindowMs || station.samples.size() > kMaxSamples))
        station.samples.pop_front();
}
