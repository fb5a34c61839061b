#include "host/watch/watch_poller.h"

#include <algorithm>

#include "settings/abstract_device_interface.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

namespace {

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

WatchPoller::WatchPoller(DriverInterface *driver, const QVector<WatchTag> &tags, qint64 periodMs, int timeoutMs,
                         SilenceTest silent)
    : m_driver(driver),
      m_groups(groupsOf(driver, tags)),
      m_readings(m_groups.size()),
      m_periodMs(periodMs),
      m_silent(std::move(silent)),
      m_health(timeoutMs, periodMs)
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
    figures.silentCycles = m_health.silentInARow(station);
    figures.backoffMs = m_health.backoffMs(station);
    figures.nextTryInMs = figures.silentCycles > 0 ? qMax<qint64>(0, m_health.nextTryMs(station) - now) : -1;
    return figures;
}

bool WatchPoller::pollStation(int station, const std::function<bool()> &stop)
{
    Station &state = m_stations[station];
    const RequestPlan plan = m_health.plan(station, elapsedMs());
    if (plan.kind == RequestKind::BackedOff) {
        for (int i = 0; i < m_groups.size(); ++i) {
            if (m_groups[i].station == station)
                markNotSent(i, NotSent::BackedOff, GroupReading(m_readings[i]), plan.nextTryMs);
        }
        return false;
    }
    bool probing = plan.kind == RequestKind::Probe;
    if (probing && m_probe)
        m_probe(plan.probeTimeoutMs);
    bool good = true;
    int silentGroup = -1; // the request the station left unanswered this cycle
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].station != station)
            continue;
        if (stop && stop())
            break;
        if (silentGroup >= 0) {
            // It would only wait out the same time-out: it carries that failure unsent.
            markNotSent(i, NotSent::AfterSilence, m_readings[silentGroup], m_health.nextTryMs(station));
            continue;
        }
        qint64 responseUs = 0;
        const bool ok = pollGroup(i, state, &responseUs);
        if (probing && m_probe)
            m_probe(0); // the probe is the first request; an answer brings back the link's settings
        probing = false;
        good = good && ok;
        if (!ok && stop && stop())
            break; // cut off: neither an answer nor a silence, nor a failure
        state.failures += ok ? 0 : 1;
        if (ok || (m_silent && !m_silent(m_readings[i]))) {
            m_health.recordAnswer(station, responseUs);
            continue;
        }
        m_health.recordSilence(station, elapsedMs(), responseUs / 1000);
        m_readings[i].nextTryMs = m_health.nextTryMs(station);
        silentGroup = i;
    }
    if (probing && m_probe)
        m_probe(0);
    return good && silentGroup < 0;
}

bool WatchPoller::pollCycle(const std::function<bool()> &stop, const StationDone &done)
{
    const qint64 began = elapsedMs();
    bool good = true;
    for (const auto &entry : m_stations) {
        if (stop && stop())
            break;
        good = pollStation(entry.first, stop) && good;
        if (done)
            done(entry.first);
    }
    ++m_cycles;
    // After a stall the period starts again from its end: no burst to catch up.
    m_nextCycleMs = qMax(began + m_periodMs, elapsedMs());
    return good;
}

qint64 WatchPoller::msUntilNextCycle() const
{
    return qMax<qint64>(0, m_nextCycleMs - elapsedMs());
}

void WatchPoller::markNotSent(int index, NotSent why, const GroupReading &cause, qint64 nextTryMs)
{
    GroupReading reading;
    reading.atMs = elapsedMs();
    reading.time = QDateTime::currentDateTimeUtc();
    reading.error = cause.error;
    reading.deviceError = cause.deviceError;
    reading.replyHead = cause.replyHead;
    reading.notSent = why;
    reading.nextTryMs = nextTryMs;
    m_readings[index] = reading;
}

bool WatchPoller::pollGroup(int index, Station &station, qint64 *responseUs)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray data = m_driver->read(station.device, readCommand(m_groups[index]));
    *responseUs = timer.nsecsElapsed() / 1000;
    GroupReading &reading = m_readings[index];
    reading = GroupReading();
    reading.atMs = elapsedMs();
    reading.time = QDateTime::currentDateTimeUtc();
    reading.ok = !m_driver->hasError();
    if (reading.ok) {
        reading.data = data;
    } else {
        reading.error = m_driver->getLastError();
        reading.deviceError = station.device->errorString();
        reading.replyHead = m_replyHead ? m_replyHead() : QByteArray();
    }
    record(station, *responseUs, reading.ok);
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
