#ifndef HOST_LINK_STATION_HEALTH_H
#define HOST_LINK_STATION_HEALTH_H

// One link, many users. An RTU line (or a serial device server behind one
// TCP connection) carries one request at a time, so whoever shares it, the
// stations of a watched project or the clients of the gateway, shares one
// rule of what a silent station may cost the others. LinkHealth keeps that
// rule and what the link has learnt of each station:
//
// - A station that answers (a good reply or an exception) is sent requests
//   with the link's own time-out and retries.
// - The first time a station gives no reply at all, that cost what the
//   link's settings say. It is then backed off: until its next try is due
//   its requests are not sent (watch shows them as backed off, the gateway
//   answers 0x0B) and the line stays free for the others.
// - Each later try is a probe: one attempt, waiting probeTimeoutMs for the
//   reply, a time-out drawn from the response times the link has measured.
// - Its first reply brings it back to the link's own settings.
//
// The back-off doubles with every silence in a row, starting from twice the
// base period; it is never shorter than kSilentCostFactor times what that
// silence cost (so that a silent station takes at most about a twentieth of
// the line), never shorter than the back-off before it, and never longer
// than kMaxBackoffMs.
//
// Not thread-safe: the one thread that works the link owns it.

#include <QVector>
#include <QtGlobal>
#include <deque>
#include <map>

// The value at percentile p (0..100) of values by nearest rank; -1 when empty.
qint64 nearestRankPercentile(QVector<qint64> values, double p);

// What the next request to a station may be.
enum class RequestKind
{
    Normal,    // the link's own time-out and retries
    Probe,     // one attempt waiting RequestPlan::probeTimeoutMs
    BackedOff, // not sent: the station is silent and its next try is not due
};

struct RequestPlan
{
    RequestKind kind = RequestKind::Normal;
    int probeTimeoutMs = 0; // with Probe
    qint64 nextTryMs = 0;   // with BackedOff: when the next try is due
};

class LinkHealth
{
public:
    static constexpr qint64 kMaxBackoffMs = 30000;
    static constexpr qint64 kSilentCostFactor = 20;
    // A probe waits kProbeFactor times the 99th-percentile response time
    // plus kProbeMarginMs (for a scheduler's hiccup on a fast link).
    static constexpr int kProbeFactor = 4;
    static constexpr int kProbeMarginMs = 20;
    // Response times kept per station and for the whole link.
    static constexpr std::size_t kResponseSamples = 256;

    // timeoutMs: the link's configured response time-out, which no probe
    // exceeds; basePeriodMs: where the back-off starts (watch's period).
    LinkHealth(int timeoutMs, qint64 basePeriodMs);

    // What a request to station at nowMs (the caller's clock) may be.
    RequestPlan plan(int station, qint64 nowMs) const;

    // The station answered (a good reply or an exception) in responseUs.
    void recordAnswer(int station, qint64 responseUs);
    // The station gave no reply; the silence cost costMs of the line.
    void recordSilence(int station, qint64 nowMs, qint64 costMs);

    // A probe's time-out for the station: drawn from its own 99th-percentile
    // response time, else the link's, never above the configured time-out;
    // the configured time-out while nothing has been measured. A station
    // once heard keeps its response times, so one that is slow but alive
    // is always given long enough.
    int probeTimeoutMs(int station) const;

    int silentInARow(int station) const;
    qint64 backoffMs(int station) const; // 0 while it answers
    qint64 nextTryMs(int station) const; // meaningful while silent
    // Stations silent now (backed off or due for a probe), in order.
    QVector<int> silentStations() const;

private:
    struct Station
    {
        std::deque<qint64> responseUs;
        int silentInARow = 0;
        qint64 backoffMs = 0;
        qint64 nextTryMs = 0;
    };

    static void keep(std::deque<qint64> &samples, qint64 responseUs);
    static qint64 p99Of(const std::deque<qint64> &samples);
    const Station *find(int station) const;

    int m_timeoutMs;
    qint64 m_basePeriodMs;
    std::map<int, Station> m_stations;
    std::deque<qint64> m_linkResponseUs;
};

#endif // HOST_LINK_STATION_HEALTH_H
