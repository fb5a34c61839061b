#include "host/mbrtu/run_status.h"

#include <QtGlobal>
#include <csignal>

void RunTally::add(const RunTally &other)
{
    succeeded += other.succeeded;
    failed += other.failed;
    stopped += other.stopped;
    if (other.stopSignal != 0)
        stopSignal = other.stopSignal;
}

bool isStoppedKind(const QString &failureKind)
{
    return failureKind == QLatin1String("interrupted");
}

int exitStatusFor(const RunTally &tally)
{
    if (tally.failed > 0)
        return kExitFailure;
    if (tally.stopSignal > 0)
        return kExitSignalBase + tally.stopSignal;
    // A request cut off without a signal on record still did not succeed.
    return tally.stopped > 0 ? kExitFailure : kExitSuccess;
}

QString interruptedText(int stopSignal)
{
    return stopSignal == SIGINT ? QStringLiteral("interrupted by Ctrl-C") : QStringLiteral("interrupted by SIGTERM");
}

QString exitStatusText()
{
    return QStringLiteral(
        "Exit status of read, write, scan and watch: 0 when every request of the run succeeded,\n"
        "1 when one failed (Modbus or link), 2 a usage error. Ctrl-C or SIGTERM ends a run with its\n"
        "summary (the request under way counted as stopped) and exit status 1 if a request failed,\n"
        "else 130 (Ctrl-C) or 143 (SIGTERM).\n");
}
