#ifndef HOST_WATCH_POLLER_H
#define HOST_WATCH_POLLER_H

// Polls a project's tags as a panel runtime does: the tags grouped into block
// requests (tag_groups.h) within the driver's block sizes, each request read
// through the driver, station by station, one cycle every period.
//
// One station that does not answer must not slow the others down; the rule
// of what it may cost is the link's (host/link/station_health.h): its first
// silence costs what the link's settings say and backs it off; while backed
// off its requests are not sent (each cycle notes them so); a probe when
// its next try is due is one attempt with a short time-out drawn from the
// response times measured. Within a cycle, a silent station's remaining
// requests are left unsent. A station that answers with an exception is
// alive. A cycle that overruns its period (a stall) is followed by the next
// at once, never by a burst to catch up. bench/watch_isolation_bench.cpp
// measures what a silent station costs the others.

#include <QByteArray>
#include <QDateTime>
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

// Why a request of the cycle was not sent.
enum class NotSent
{
    No,            // it was sent
    AfterSilence,  // the station left an earlier request of the cycle unanswered
    BackedOff,     // the station is backed off: its next try is not due
};

// The result of the last poll of one block request.
struct GroupReading
{
    qint64 atMs = -1;    // when its reply came or it failed (the poller's clock); -1: not yet
    QDateTime time;      // the same moment, UTC
    bool ok = false;
    QByteArray data;     // the read's data when ok
    QString error;       // the driver's error text when not (for a request not sent, the silence's)
    QString deviceError; // the device's error text when not
    QByteArray replyHead; // when not: the first bytes the link received after the request
    NotSent notSent = NotSent::No;
    qint64 nextTryMs = -1; // when not sent or silent: the poller's time of the station's next try
};

// What a station's polling looks like over the last kFigureWindowMs.
struct StationFigures
{
    double requestsPerSecond = 0;
    qint64 medianUs = -1; // response time of the good requests; -1 with none
    qint64 p99Us = -1;
    int failures = 0;     // failed requests since polling began (not those a stop cut off)
    int silentCycles = 0; // silences in a row
    qint64 backoffMs = 0; // the wait before the next try while silent, 0 when answering
    qint64 nextTryInMs = -1; // while silent: until the next try; -1 when answering
};

class WatchPoller
{
public:
    static constexpr qint64 kFigureWindowMs = 10000;

    // Whether a failed reading means the station gave no reply at all (no
    // answer within the time-out, link lost), as opposed to an answer the
    // driver refused: only silence skips the station's other requests and
    // backs it off. Without one, every failure counts as silence.
    using SilenceTest = std::function<bool(const GroupReading &)>;
    // Puts the link into probe mode, every request one attempt waiting at
    // most timeoutMs; 0 ends it.
    using ProbeMode = std::function<void(int timeoutMs)>;
    // The first bytes the link received after the last request.
    using ReplyHead = std::function<QByteArray()>;
    // Called once a station's requests of the cycle are done.
    using StationDone = std::function<void(int station)>;

    // timeoutMs: the link's configured response time-out.
    WatchPoller(DriverInterface *driver, const QVector<WatchTag> &tags, qint64 periodMs, int timeoutMs,
                SilenceTest silent = SilenceTest());

    // The device the requests of station go through; not owned. Every
    // station of the tags needs one before polling.
    void setDevice(int station, AbstractDeviceInterface *device);
    void setProbeMode(ProbeMode probe) { m_probe = std::move(probe); }
    void setReplyHead(ReplyHead head) { m_replyHead = std::move(head); }

    const QVector<TagGroup> &groups() const { return m_groups; }
    QVector<int> stations() const;
    const GroupReading &reading(int group) const { return m_readings[group]; }
    StationFigures figures(int station) const;
    const LinkHealth &health() const { return m_health; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    int cycles() const { return m_cycles; }

    // The station's requests as the link's rule plans them: sent with the
    // link's settings, the first sent as a probe, or noted backed off.
    // False when one failed or was not sent. stop is asked between requests.
    bool pollStation(int station, const std::function<bool()> &stop = {});
    // One cycle: every station in order; the next is due one period after
    // this one began, or at once when this one overran. False when a
    // request failed or was not sent.
    bool pollCycle(const std::function<bool()> &stop = {}, const StationDone &done = {});
    // Milliseconds until the next cycle is due; 0 when it is.
    qint64 msUntilNextCycle() const;

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
        int failures = 0;
        std::deque<Sample> samples; // the last kFigureWindowMs
    };

    // Sends the request; false when it failed. responseUs: how long it took.
    bool pollGroup(int index, Station &station, qint64 *responseUs);
    void markNotSent(int index, NotSent why, const GroupReading &cause, qint64 nextTryMs);
    void record(Station &station, qint64 responseUs, bool ok);

    DriverInterface *m_driver;
    QVector<TagGroup> m_groups;
    QVector<GroupReading> m_readings;
    std::map<int, Station> m_stations;
    qint64 m_periodMs;
    SilenceTest m_silent;
    ProbeMode m_probe;
    ReplyHead m_replyHead;
    LinkHealth m_health;
    QElapsedTimer m_clock;
    qint64 m_nextCycleMs = 0;
    int m_cycles = 0;
};

#endif // HOST_WATCH_POLLER_H
