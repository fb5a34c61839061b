#ifndef HOST_SOAK_SUMMARY_H
#define HOST_SOAK_SUMMARY_H

// What mbrtu_soak counts while it runs, and the summary it prints of it.

#include <QByteArray>
#include <QMap>
#include <QString>

#include "host/soak/soak_model.h"

class QTextStream;

namespace sim {
class FaultInjector;
class FaultProxy;
class SimSlave;
}

namespace soak {

struct KindCount
{
    qint64 sent = 0;
    qint64 succeeded = 0;
};

struct Results
{
    qint64 done = 0;
    qint64 reads = 0;
    qint64 readsFailed = 0;
    qint64 writes = 0;
    qint64 writesFailed = 0;
    QMap<QString, KindCount> byKind;
    QMap<QString, qint64> errors;      // final error of each failed request, by key
    qint64 metFault = 0;               // requests during which a fault was injected
    qint64 metFaultSucceeded = 0;
    qint64 bitsChecked = 0;
    qint64 bitsUnknown = 0;
    qint64 wrongValues = 0;            // successful reads with a wrong known bit
    qint64 wrongWrites = 0;            // acknowledged writes the slave does not hold
    qint64 unknownErrors = 0;          // error texts outside the known set
    qint64 inconsistent = 0;           // write's result and hasError disagree
    qint64 tampered = 0;
    qint64 drainWaits = 0;             // writes after which old connections had to finish first
    qint64 notDrained = 0;             // ... and did not in time
    qint64 hangs = 0;
    qint64 rssStartKb = -1;            // after start-up, before the first request
    qint64 rssWarmKb = -1;             // after the warm-up requests
    qint64 rssEndKb = -1;
    // The kernel's high-water mark may lag behind its own RSS figure; the
    // peak reported is the larger of it and every RSS sampled.
    qint64 rssPeakSampledKb = -1;
    qint64 warmUpRequests = 0;
    double seconds = 0;

    qint64 succeeded() const { return reads - readsFailed + writes - writesFailed; }
};


// Up to 32 bytes from offset on, in hexadecimal.
QString hex(const QByteArray &bytes, int offset = 0);

// A request as the problem lines show it.
QString describe(const Request &request);

// The summary of the run so far; slave and proxy may be null. hung: the
// watchdog ended it.
void printSummary(QTextStream &out, const Results &r, const sim::FaultInjector &faults, const sim::SimSlave *slave,
                  const sim::FaultProxy *proxy, bool hung);

} // namespace soak

#endif // HOST_SOAK_SUMMARY_H
