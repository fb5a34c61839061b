#ifndef HOST_RUN_STATUS_H
#define HOST_RUN_STATUS_H

// The one rule for mbrtu's exit status, whatever the command (read, write,
// scan, watch): 0 only when every request of the run succeeded; 1 when one
// failed; 2 for a usage error. A run ended by Ctrl-C (SIGINT) or SIGTERM
// exits 1 if a request failed before, else 128 + the signal (130, 143): never
// 0 once a request was cut off.

#include <QString>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalBase = 128;

// The requests of a run as they came out.
struct RunTally
{
    int succeeded = 0;
    int failed = 0;
    int stopped = 0;    // cut off by a stop signal while under way
    int stopSignal = 0; // the signal that ended the run; 0 when none did

    void add(const RunTally &other);
};

// The kind of failure that means a stop signal ended the request's wait.
bool isStoppedKind(const QString &failureKind);

int exitStatusFor(const RunTally &tally);

// "interrupted by Ctrl-C" (SIGINT) or "interrupted by SIGTERM".
QString interruptedText(int stopSignal);

// The exit rule as --help states it.
QString exitStatusText();

#endif // HOST_RUN_STATUS_H
