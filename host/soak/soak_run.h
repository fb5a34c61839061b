#ifndef HOST_SOAK_RUN_H
#define HOST_SOAK_RUN_H

// The soak run itself: sets up the slave (the simulated one or an external
// one, with or without the fault proxy in front), the project database and
// the plug-in, sends the requests and judges every answer against the shadow.

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>
#include <memory>
#include <random>

#include "host/sim/fault_proxy.h"
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
    Soak(const Options &options, QTextStream &out);

    int run();

private:
    void presetData();
    bool startSlave(QString *error);
    // Where the device connects: the proxy, the simulated or the external slave.
    QString linkHost() const;
    uint16_t linkPort() const;
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
    sim::FaultInjector m_faults; // outlives the slave and the proxy that call it
    std::unique_ptr<sim::SimSlave> m_slave; // null for an external slave
    std::unique_ptr<sim::FaultProxy> m_proxy; // null without --proxy-faults
    std::mt19937_64 m_tamperRandom{0};
    Results m_results;
    QElapsedTimer m_clock;
};

} // namespace soak

#endif // HOST_SOAK_RUN_H
