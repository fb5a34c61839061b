#include "host/soak/soak_summary.h"

#include <QFile>
#include <QPair>
#include <QStringList>
#include <QTextStream>
#include <QVector>
#include <algorithm>

#include "host/runtime/process_memory.h"
#include "host/sim/fault_proxy.h"
#include "host/sim/sim_slave.h"

namespace soak {

QString hex(const QByteArray &bytes, int offset)
{
    const int shown = 32;
    QString text = offset > 0 ? QStringLiteral("[%1] ").arg(offset) : QString();
    text += QString::fromLatin1(bytes.mid(offset, shown).toHex(' '));
    if (offset > 0 || bytes.size() > offset + shown)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

QString describe(const Request &request)
{
    return QStringLiteral("%1 %2, type %3, count %4")
        .arg(request.kind, request.address)
        .arg(request.dataType)
        .arg(request.count);
}

void printSummary(QTextStream &out, const Results &r, const sim::FaultInjector &faults, const sim::SimSlave *slave,
                  const sim::FaultProxy *proxy, bool hung)
{
    const auto line = [&out](const char *label, const QString &text) {
        out << QStringLiteral("%1 %2\n").arg(QLatin1String(label), -24).arg(text);
    };
    out << "\nsummary" << (hung ? " (the run hung)" : "") << '\n';
    line("requests", QStringLiteral("%1 in %2 s, %3 requests/s")
                         .arg(r.done)
                         .arg(r.seconds, 0, 'f', 1)
                         .arg(r.seconds > 0 ? r.done / r.seconds : 0.0, 0, 'f', 1));
    line("  reads", QStringLiteral("%1, %2 failed").arg(r.reads).arg(r.readsFailed));
    line("  writes", QStringLiteral("%1, %2 failed").arg(r.writes).arg(r.writesFailed));
    out << QStringLiteral("  %1 %2 %3\n")
               .arg(QStringLiteral("by kind"), -28)
               .arg(QStringLiteral("sent"), 6)
               .arg(QStringLiteral("succeeded"), 10);
    for (auto it = r.byKind.constBegin(); it != r.byKind.constEnd(); ++it)
        out << QStringLiteral("    %1 %2 %3\n").arg(it.key(), -26).arg(it->sent, 6).arg(it->succeeded, 10);
    line("faults injected", faults.summary());
    line("requests meeting faults", QStringLiteral("%1, of which %2 succeeded all the same")
                                        .arg(r.metFault).arg(r.metFaultSucceeded));
    if (slave) {
        const sim::SlaveStats stats = slave->stats();
        line("slave", QStringLiteral("%1 requests, %2 replies sent whole, %3 connections, %4 frames discarded")
                          .arg(stats.requests).arg(stats.replies).arg(stats.connections).arg(stats.discarded));
    }
    if (proxy) {
        const sim::ProxyStats stats = proxy->stats();
        line("proxy", QStringLiteral("%1 connections (%2 could not reach the slave), %3 replies framed, %4 pieces "
                                     "passed on as they were")
                          .arg(stats.connections).arg(stats.slaveFailures).arg(stats.replies).arg(stats.passedAsIs));
    }
    out << "errors by text (final error of each failed request, without the request description)\n";
    if (r.errors.isEmpty())
        out << "    none\n";
    QVector<QPair<qint64, QString>> errors;
    for (auto it = r.errors.constBegin(); it != r.errors.constEnd(); ++it)
        errors.append(qMakePair(it.value(), it.key()));
    std::sort(errors.begin(), errors.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &error : errors)
        out << QStringLiteral("    %1  %2\n").arg(error.first, 8).arg(error.second);
    line("values checked",
         QStringLiteral("%1 bits of successful reads; %2 bits unknown (after failed writes, or not yet written to "
                        "an external slave), not checked")
             .arg(r.bitsChecked)
             .arg(r.bitsUnknown));
    if (r.tampered > 0)
        line("tampered", QStringLiteral("%1 bits changed in the slave behind the soak's back").arg(r.tampered));
    line("after writes", QStringLiteral("%1 times the slave's old connections had to finish first%2")
                             .arg(r.drainWaits)
                             .arg(r.notDrained ? QStringLiteral(", %1 times they did not").arg(r.notDrained)
                                               : QString()));
    line("wrong values accepted", QString::number(r.wrongValues));
    line("wrong values written", QString::number(r.wrongWrites));
    line("unknown error texts", QString::number(r.unknownErrors));
    line("inconsistent results", QString::number(r.inconsistent));
    line("hangs", QString::number(r.hangs));
    const qint64 end = r.rssEndKb >= 0 ? r.rssEndKb : processStatusKb("VmRSS");
    const qint64 peak = std::max({processStatusKb("VmHWM"), r.rssPeakSampledKb, end});
    if (r.rssWarmKb < 0) {
        line("memory", QStringLiteral("RSS %1 kB before the first request, %2 kB now, peak %3 kB")
                           .arg(r.rssStartKb).arg(end).arg(peak));
    } else {
        line("memory", QStringLiteral("RSS %1 kB before the first request, %2 kB after %3 requests, %4 kB at the end "
                                      "(%5%6 kB since then), peak %7 kB")
                           .arg(r.rssStartKb)
                           .arg(r.rssWarmKb)
                           .arg(r.warmUpRequests)
                           .arg(end)
                           .arg(end - r.rssWarmKb >= 0 ? QStringLiteral("+") : QString())
                           .arg(end - r.rssWarmKb)
                           .arg(peak));
    }
    const bool passed = !hung && r.wrongValues == 0 && r.wrongWrites == 0 && r.unknownErrors == 0
                        && r.inconsistent == 0 && r.notDrained == 0 && r.succeeded() > 0;
    line("result", passed ? QStringLiteral("PASS")
                   : r.succeeded() == 0 && r.done > 0 ? QStringLiteral("FAIL (no request succeeded)")
                                                      : QStringLiteral("FAIL"));
    out.flush();
}

} // namespace soak
