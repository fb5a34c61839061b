#ifndef HOST_SOAK_OPTIONS_H
#define HOST_SOAK_OPTIONS_H

// The command line of mbrtu_soak.

#include <QString>
#include <QVector>

#include "host/sim/sim_faults.h"

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
    // An external slave (--slave HOST:PORT) instead of the simulated one;
    // port 0: none.
    QString slaveHost;
    int slavePort = 0;
    // Faults injected by a proxy in front of the slave instead of by the
    // simulated slave (--proxy-faults); empty: no proxy.
    QVector<sim::FaultKind> proxyFaultKinds;
    // Protocol addresses every table's requests stay in (--addresses); -1:
    // the windows of Layout.
    int firstAddress = -1;
    int lastAddress = -1;

    bool externalSlave() const { return slavePort > 0; }
    bool proxy() const { return !proxyFaultKinds.isEmpty(); }
};

// The smallest address range --addresses takes.
constexpr int kMinAddresses = 16;

// Fills options from the command line; prints the help and exits on --help.
// False, with the reason in error, when an option is wrong.
bool parseOptions(const QCoreApplication &app, Options *options, QString *error);

} // namespace soak

#endif // HOST_SOAK_OPTIONS_H
