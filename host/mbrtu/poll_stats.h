#ifndef HOST_POLL_STATS_H
#define HOST_POLL_STATS_H

// The figures of a polling run: polls sent, good, failed (by kind of
// failure) and stopped (cut off by a stop signal), loss, and the response
// times of the good ones.

#include <QMap>
#include <QString>
#include <QVector>

class PollStats
{
public:
    void addGood(qint64 responseUs) { m_responseUs.append(responseUs); }
    void addFailed(const QString &kind) { ++m_failedByKind[kind]; }
    void addStopped() { ++m_stopped; }

    int good() const { return m_responseUs.size(); }
    int failed() const;
    int stopped() const { return m_stopped; }
    int sent() const { return good() + failed() + stopped(); }
    // The response time at percentile p (0..100) by nearest rank, in
    // microseconds; -1 when nothing was good.
    qint64 percentileUs(double p) const;
    // Two lines: counts and loss, then the response times.
    QString summary() const;

private:
    QVector<qint64> m_responseUs;
    QMap<QString, int> m_failedByKind;
    int m_stopped = 0;
};

#endif // HOST_POLL_STATS_H
