#ifndef HOST_WATCH_POLLER_H
#define HOST_WATCH_POLLER_H

// Polls a project's tags as a panel runtime does: the tags grouped into block
// requests (tag_groups.h) within the driver's block sizes, each request read
// through the driver, station by station, every period.
//
// One station that does not answer must not slow the others down. A station
// whose request gets no reply at all has its remaining requests of that
// cycle left unsent (they would only wait out the same time-out) and is
// polled again after a back-off that doubles with every silent cycle, up to
// kMaxBackoffMs, and is never shorter than twenty times what the silent poll
// took; its first good reply brings it back to the period. A station
// that answers with an exception is alive: its other requests still go out
// and it keeps its period. bench/watch_isolation_bench.cpp measures what a
// silent station costs the others.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QVector>
#include <deque>
#include <functional>
#include <map>

#include "host/link/station_health.h"
#include "host/watch/tag_groups.h"

class AbstractDeviceInterface;
class DriverInterface;

// The result of the last poll of one block request.
struct GroupReading
{
    qint64 atMs = -1;    // when it was polled (the poller's clock); -1: not yet
    bool ok = false;
    QByteArray data;     // the read's data when ok
    QString error;       // the driver's error text when not
    QString deviceError; // the device's error text when not
    bool skipped = false; // not sent: the station left an earlier request of the cycle unanswered
};

// What a station's polling looks like over the last kFigureWindowMs.
struct StationFigures
{
    double requestsPerSecond = 0;
    qint64 medianUs = -1; // response time of the good requests; -1 with none
    qint64 p99Us = -1;
    int failures = 0;     // failed requests since polling began
    int silentCycles = 0; // cycles in a row without a reply
    qint64 backoffMs = 0; // the wait before the next poll while silent, 0 when answering
};

class WatchPoller
{
public:
    static constexpr qint64 kMaxBackoffMs = 30000;
    static constexpr qint64 kFigureWindowMs = 10000;

    // Whether a failed reading means the station gave no reply at all (no
    // answer within the time-out, link lost), as opposed to an answer the
    // driver refused: only silence skips the station's other requests and
    // backs it off. Without one, every failure counts as silence.
    using SilenceTest = std::function<bool(const GroupReading &)>;

    WatchPoller(DriverInterface *driver, const QVector<WatchTag> &tags, qint64 periodMs,
                SilenceTest silent = SilenceTest());

    // The device the requests of station go through; not owned. Every
    // station of the tags needs one before polling.
    void setDevice(int station, AbstractDeviceInterface *device);

    const QVector<TagGroup> &groups() const { return m_groups; }
    QVector<int> stations() const;
    const GroupReading &reading(int group) const { return m_readings[group]; }
    StationFigures figures(int station) const;
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // Reads every request of the station once, then schedules its next poll:
    // one period after this one began, or the back-off when it was silent.
    // False when a request failed. stop is asked between requests.
    bool pollStation(int station, const std::function<bool()> &stop = {});
    bool isDue(int station) const;
    // Polls the stations that are due, in station order; returns those polled.
    QVector<int> pollDue(const std::function<bool()> &stop = {});
    // Milliseconds until the next station is due; 0 when one is.
    qint64 msUntilDue() const;

private:
    struct Sample
    {
        qint64 atMs;
        qint64 responseUs;
        bool ok;
    };
    struct Station
    {
        AbstractDeviceInterface *device = nullptr;
        qint64 dueMs = 0;
        int silentCycles = 0;
        qint64 backoffMs = 0;
        int failures = 0;
        std::deque<Sample> samples; // the last kFigureWindowMs
    };

    bool pollGroup(int index, Station &station);
    void record(Station &station, qint64 responseUs, bool ok);

    DriverInterface *m_driver;
    QVector<TagGroup> m_groups;
    QVector<GroupReading> m_readings;
    std::map<int, Station> m_stations;
    qint64 m_periodMs;
    SilenceTest m_silent;
    QElapsedTimer m_clock;
};

#endif // HOST_WATCH_POLLER_H
