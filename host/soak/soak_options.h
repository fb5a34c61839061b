#ifndef HOST_SOAK_OPTIONS_H
#define HOST_SOAK_OPTIONS_H

// The command line of mbrtu_soak.

#include <QString>
#include <QVector>

#include "host/sim/sim_slave.h"

class QCoreApplication;

namespace soak {

struct Options
{
    qint64 requests = 100000;
    quint64 seed = 1;
    double faultRate = 0.1;
    QVector<sim::FaultKind> faultKinds = {sim::FaultKind::Drop, sim::FaultKind::Delay, sim::FaultKind::Corrupt,
                                          sim::FaultKind::Split, sim::FaultKind::Close};
    int timeoutMs = 100;
    int retries = 1;
    int station = 17;
    qint64 progressEvery = 10000;
    qint64 watchdogMs = 0; // 0: worked out for each request
    qint64 tamperEvery = 0;
};

// Fills options from the command line; prints the help and exits on --help.
// False, with the reason in error, when an option is wrong.
bool parseOptions(const QCoreApplication &app, Options *options, QString *error);

} // namespace soak

#endif // HOST_SOAK_OPTIONS_H
