#ifndef HOST_SOAK_RUN_H
#define HOST_SOAK_RUN_H

// The soak run itself: sets up the slave, the project database and the
// plug-in, sends the requests and judges every answer against the shadow.

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>
#include <memory>
#include <random>

#include "host/sim/sim_slave.h"
#include "host/soak/soak_faults.h"
#include "host/soak/soak_model.h"
#include "host/soak/soak_options.h"
#include "host/soak/soak_summary.h"

class DriverInterface;
class TcpDevice;

namespace soak {

class Soak
{
public:
    Soak(const Options &options, QTextStream &out)
        : m_options(options), m_out(out), m_faults(options.seed ^ 0x9E3779B97F4A7C15ULL, options.faultRate,
                                                  options.faultKinds, options.timeoutMs)
    {
    }

    int run();

private:
    void presetData();
    bool writeProject(QString *error);
    void runRequest(DriverInterface *driver, TcpDevice &device, Watchdog &watchdog, const Request &request);
    void judgeRead(const Request &request, const QByteArray &data);
    void judgeFailure(const Request &request, const QString &error);
    void checkSlaveAfterWrite(const Request &request);
    void waitForOldConnections(const TcpDevice &device, const Request &request);
    void tamper();
    qint64 watchdogLimitMs(const Request &request) const;
    void problem(qint64 *counter, const QString &what, const QString &detail);

    const Options &m_options;
    QTextStream &m_out;
    Shadow m_shadow;
    soak::Layout m_layout;
    FaultInjector m_faults; // outlives the slave that calls it
    std::unique_ptr<sim::SimSlave> m_slave;
    std::mt19937_64 m_tamperRandom{0};
    Results m_results;
    QElapsedTimer m_clock;
};

} // namespace soak

#endif // HOST_SOAK_RUN_H
