#ifndef HOST_POLL_STATS_H
#define HOST_POLL_STATS_H

// The figures of a polling run: polls sent, good and failed (by kind of
// failure), loss, and the response times of the good ones.

#include <QMap>
#include <QString>
#include <QVector>

class PollStats
{
public:
    void addGood(qint64 responseUs) { m_responseUs.append(responseUs); }
    void addFailed(const QString &kind) { ++m_failedByKind[kind]; }

    int good() const { return m_responseUs.size(); }
    int failed() const;
    int sent() const { return good() + failed(); }
    // The response time at percentile p (0..100) by nearest rank, in
    // microseconds; -1 when nothing was good.
    qint64 percentileUs(double p) const;
    // Two lines: counts and loss, then the response times.
    QString summary() const;

private:
    QVector<qint64> m_responseUs;
    QMap<QString, int> m_failedByKind;
};

#endif // HOST_POLL_STATS_H
