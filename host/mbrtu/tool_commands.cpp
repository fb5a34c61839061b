#include "host/mbrtu/tool_commands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <csignal>
#include <cstdio>

#include "host/device/frame_trace.h"
#include "host/mbrtu/tool_session.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/sim/sim_slave.h"

namespace {

constexpr int kDefaultProjectStation = 1;

ProjectSetup projectSetupFor(const ToolOptions &options, const QString &link, int station)
{
    ProjectSetup setup;
    setup.link = link;
    setup.linkId = options.linkId;
    setup.station = station;
    setup.nodeIp = options.host;
    setup.nodePort = options.port;
    setup.tagAddresses = options.tagAddresses;
    return setup;
}

QString describe(const QString &path, const ProjectSetup &setup)
{
    return QStringLiteral("%1: link %2 (HMI port %3, link id %4), default station %5, %6 tag(s)")
        .arg(path, setup.link)
        .arg(hmiPortForDevice(setup.link))
        .arg(setup.linkId)
        .arg(setup.station)
        .arg(setup.tagAddresses.size());
}

// The driver refuses every request without a project database; a missing
// one is written for the link in use, without tags.
bool ensureProjectDatabase(const ToolOptions &options, const TcpDeviceSettings &device, QTextStream &err)
{
    const QString path = projectDatabasePath(QCoreApplication::applicationDirPath());
    if (QFileInfo::exists(path))
        return true;
    const ProjectSetup setup = projectSetupFor(options, device.deviceString, device.stationId);
    QString error;
    if (!writeProjectDatabase(path, setup, &error)) {
        err << "mbrtu: " << error << '\n';
        return false;
    }
    err << "mbrtu: no project database yet; wrote " << describe(path, setup) << '\n';
    return true;
}

// One line per request the simulated slave sees, from its connection threads.
void printSlaveTrace(const QByteArray &request, const QByteArray &reply)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QDateTime now = QDateTime::currentDateTime();
    std::printf("%s\n", qPrintable(formatTraceEntry(TraceEntry{TraceDirection::Received, now, request})));
    if (!reply.isEmpty())
        std::printf("%s\n", qPrintable(formatTraceEntry(TraceEntry{TraceDirection::Sent, now, reply})));
    else
        std::printf("%s (no reply)\n", qPrintable(now.toString(QStringLiteral("HH:mm:ss.zzz"))));
    std::fflush(stdout);
}

// Something to read besides zeros: every input register holds its own
// zero-based address and every odd-numbered discrete input is on.
void fillStartPattern(sim::SlaveData &data)
{
    for (int i = 0; i < sim::kAddressSpace; ++i) {
        data.inputRegisters[std::size_t(i)] = uint16_t(i);
        data.discreteInputs[std::size_t(i)] = uint8_t(i % 2 == 0);
    }
}

} // namespace

int runReadOrWrite(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    DriverPlugin plugin;
    QString error;
    const QStringList dirs = pluginSearchDirs(options.pluginDir, qEnvironmentVariable(kPluginDirEnvironment),
                                              QCoreApplication::applicationDirPath());
    if (!plugin.load(dirs, &error)) {
        err << "mbrtu: " << error << '\n';
        return kExitFailure;
    }
    const LinkDefaults defaults = driverLinkDefaults(plugin.driver());
    if (!ensureProjectDatabase(options, deviceSettingsFor(options, defaults), err))
        return kExitFailure;
    ToolSession session(options, plugin.driver(), defaults, out, err);
    return options.command == ToolCommand::Read ? session.read() : session.write();
}

int runProject(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    const QString appDir = options.appDir.isEmpty() ? QCoreApplication::applicationDirPath() : options.appDir;
    const ProjectSetup setup = projectSetupFor(options, options.link.isEmpty() ? QLatin1String(kDefaultLink) : options.link,
                                            options.station < 0 ? kDefaultProjectStation : options.station);
    const QString path = projectDatabasePath(appDir);
    QString error;
    if (!writeProjectDatabase(path, setup, &error)) {
        err << "mbrtu: " << error << '\n';
        return kExitFailure;
    }
    out << "wrote " << describe(path, setup) << '\n';
    return kExitSuccess;
}

int runSimulate(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    // Block the stop signals before any thread starts, then wait for one here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::SlaveConfig config;
    config.bindAddress = options.host.toStdString();
    config.port = quint16(options.port);
    config.stations.reset();
    QStringList stationTexts;
    for (int station : options.stations) {
        config.stations.set(std::size_t(station));
        stationTexts.append(QString::number(station));
    }
    sim::SimSlave slave(config);
    if (options.trace)
        slave.setMonitor(printSlaveTrace);
    slave.withData(fillStartPattern);
    QString error;
    if (!slave.start(&error)) {
        err << QStringLiteral("mbrtu: cannot listen on %1:%2: %3\n").arg(options.host).arg(options.port).arg(error);
        return kExitFailure;
    }
    out << QStringLiteral("simulated slave listening on %1:%2, station(s) %3; stop with Ctrl-C\n")
               .arg(options.host)
               .arg(slave.port())
               .arg(stationTexts.join(QLatin1Char(',')));
    out.flush();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    const sim::SlaveStats stats = slave.stats();
    slave.stop();
    out << QStringLiteral("stopped: %1 connection(s), %2 request(s), %3 replies, %4 discarded\n")
               .arg(stats.connections)
               .arg(stats.requests)
               .arg(stats.replies)
               .arg(stats.discarded);
    return kExitSuccess;
}
