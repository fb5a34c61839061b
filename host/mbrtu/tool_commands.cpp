#include "host/mbrtu/tool_commands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

#include "host/mbrtu/tool_session.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "settings/driver_interface.h"

namespace {

constexpr int kDefaultProjectStation = 1;
// A scan asks each station once and waits this long unless --timeout says.
constexpr int kScanTimeoutMs = 200;

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
bool ensureProjectDatabase(const ToolOptions &options, const LinkChoice &link, QTextStream &err)
{
    const QString path = projectDatabasePath(options.appDir);
    if (QFileInfo::exists(path))
        return true;
    const ProjectSetup setup = projectSetupFor(options, link.deviceString, link.station);
    QString error;
    if (!writeProjectDatabase(path, setup, &error)) {
        err << "mbrtu: " << error << '\n';
        return false;
    }
    err << "mbrtu: no project database yet; wrote " << describe(path, setup) << '\n';
    return true;
}

} // namespace

bool prepareDriver(const ToolOptions &options, DriverPlugin *plugin, LinkDefaults *defaults, QTextStream &err)
{
    QString error;
    const QStringList dirs = pluginSearchDirs(options.pluginDir, qEnvironmentVariable(kPluginDirEnvironment),
                                              options.programDir);
    if (!plugin->load(dirs, &error)) {
        err << "mbrtu: " << error << '\n';
        return false;
    }
    *defaults = driverLinkDefaults(plugin->driver());
    return ensureProjectDatabase(options, linkChoiceFor(options, *defaults), err);
}

ToolOptions withStoredAddress(ToolOptions options, const LinkDefaults &defaults)
{
    if (options.tcpGiven || !options.serialPort.isEmpty())
        return options;
    readProjectNodeAddress(projectDatabasePath(options.appDir), linkChoiceFor(options, defaults).deviceString,
                           &options.host, &options.port);
    return options;
}

int runReadOrWrite(const ToolOptions &given, QTextStream &out, QTextStream &err)
{
    DriverPlugin plugin;
    LinkDefaults defaults;
    if (!prepareDriver(given, &plugin, &defaults, err))
        return kExitFailure;
    const ToolOptions options = withStoredAddress(given, defaults);
    if (options.stations.size() <= 1) {
        ToolSession session(options, plugin.driver(), defaults, out, err);
        return options.command == ToolCommand::Read ? session.read() : session.write();
    }
    // Several stations: a block each, in turn.
    int status = kExitSuccess;
    for (int station : options.stations) {
        ToolOptions one = options;
        one.station = station;
        if (!options.json && !options.csv)
            out << QStringLiteral("station %1:\n").arg(station);
        out.flush();
        ToolSession session(one, plugin.driver(), defaults, out, err);
        status = qMax(status, session.read());
        if (stopRequested())
            break;
    }
    return status;
}

int runScan(const ToolOptions &given, QTextStream &out, QTextStream &err)
{
    DriverPlugin plugin;
    LinkDefaults defaults;
    if (!prepareDriver(given, &plugin, &defaults, err))
        return kExitFailure;
    const ToolOptions options = withStoredAddress(given, defaults);
    ToolOptions probe = options;
    probe.type = WordData;
    probe.count = 1;
    probe.retries = 0;
    probe.timeoutMs = options.timeoutMs > 0 ? options.timeoutMs : kScanTimeoutMs;
    const QString where = options.serialPort.isEmpty() ? QStringLiteral("%1:%2").arg(options.host).arg(options.port)
                                                       : options.serialPort;
    out << QStringLiteral("scanning %1 station(s) at %2 for %3, %4 ms each\n")
               .arg(options.stations.size())
               .arg(where, options.address.text)
               .arg(probe.timeoutMs);
    out.flush();
    int present = 0;
    int tried = 0;
    for (int station : options.stations) {
        probe.station = station;
        ToolSession session(probe, plugin.driver(), defaults, out, err);
        const RequestOutcome outcome = session.probe();
        if (stopRequested())
            break;
        ++tried;
        // A slave's own exception shows it is there; a gateway's (0x0A, 0x0B) that it is not.
        const int code = outcome.failure.exceptionCode;
        const bool answered = outcome.ok || (code >= 0 && !isGatewayFault(code));
        if (!answered)
            continue;
        ++present;
        const QString how = outcome.ok ? QStringLiteral("answered")
                                       : QStringLiteral("exception 0x%1 (%2)")
                                             .arg(QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                                             .arg(outcome.failure.explanation);
        out << QStringLiteral("station %1  %2  %3 ms\n").arg(station, 3).arg(how).arg(double(outcome.elapsedUs) / 1000.0, 0, 'f', 1);
        out.flush();
    }
    out << QStringLiteral("%1 of %2 station(s) tried answered\n").arg(present).arg(tried);
    return present > 0 ? kExitSuccess : kExitFailure;
}

int runVersion(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    out << "mbrtu " << MBRTU_VERSION << '\n';
    DriverPlugin plugin;
    QString error;
    if (!plugin.load(pluginSearchDirs(options.pluginDir, qEnvironmentVariable(kPluginDirEnvironment), options.programDir),
                     &error)) {
        err << "mbrtu: " << error << '\n';
        return kExitFailure;
    }
    out << "plug-in " << plugin.driver()->name() << ' ' << plugin.driver()->getVersionNumber() << " from "
        << plugin.fileName() << '\n';
    return kExitSuccess;
}

int runProject(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    const QString appDir = options.appDir;
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
