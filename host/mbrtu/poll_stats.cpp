#include "host/mbrtu/poll_stats.h"

#include <QStringList>

#include "host/watch/watch_poller.h"

namespace {

QString milliseconds(qint64 us)
{
    return QString::number(double(us) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

} // namespace

int PollStats::failed() const
{
    int failed = 0;
    for (int count : m_failedByKind)
        failed += count;
    return failed;
}

qint64 PollStats::percentileUs(double p) const
{
    return nearestRankPercentile(m_responseUs, p);
}

QString PollStats::summary() const
{
    QStringList kinds;
    for (auto it = m_failedByKind.cbegin(); it != m_failedByKind.cend(); ++it)
        kinds.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value()));
    QString text = QStringLiteral("%1 polls: %2 good, %3 failed").arg(sent()).arg(good()).arg(failed());
    if (!kinds.isEmpty())
        text += QStringLiteral(" (%1)").arg(kinds.join(QStringLiteral(", ")));
    if (m_stopped > 0)
        text += QStringLiteral(", %1 stopped").arg(m_stopped);
    const int answered = good() + failed();
    text += QStringLiteral(", loss %1 %\n").arg(answered ? 100.0 * failed() / answered : 0.0, 0, 'f', 1);
    if (m_responseUs.isEmpty())
        return text + QStringLiteral("response time: no good poll\n");
    qint64 total = 0;
    for (qint64 us : m_responseUs)
        total += us;
    return text + QStringLiteral("response time: min %1, average %2, max %3, 99th percentile %4\n")
                      .arg(milliseconds(percentileUs(0)), milliseconds(total / m_responseUs.size()),
                           milliseconds(percentileUs(100)), milliseconds(percentileUs(99)));
}
