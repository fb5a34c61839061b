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
    setup.serialPort = options.serialPort;
    setup.baud = options.baud;
    setup.dataBits = options.dataBits;
    setup.parity = options.parity;
    setup.stopBits = options.stopBits;
    return setup;
}

QString describe(const QString &path, const ProjectSetup &setup)
{
    const QString slave = setup.serialPort.isEmpty()
                              ? QStringLiteral("slave at %1:%2").arg(setup.nodeIp).arg(setup.nodePort)
                              : QStringLiteral("serial line %1 %2 %3%4%5")
                                    .arg(setup.serialPort)
                                    .arg(setup.baud)
                                    .arg(setup.dataBits)
                                    .arg(QLatin1Char(setup.parity))
                                    .arg(setup.stopBits);
    return QStringLiteral("%1: link %2 (HMI port %3, link id %4), default station %5, %6, %7 tag(s)")
        .arg(path, setup.link)
        .arg(hmiPortForDevice(setup.link))
        .arg(setup.linkId)
        .arg(setup.station)
        .arg(slave)
        .arg(setup.tagAddresses.size());
}

// The stored serial line into the options or a new setup, as if it had been given.
template <typename Target>
void takeSerialLine(const ProjectSetup &stored, Target *target)
{
    target->serialPort = stored.serialPort;
    target->baud = stored.baud;
    target->dataBits = stored.dataBits;
    target->parity = stored.parity;
    target->stopBits = stored.stopBits;
}

QString stationsText(const QList<int> &stations)
{
    QStringList texts;
    for (int station : stations)
        texts.append(QString::number(station));
    return QStringLiteral("stations %1").arg(texts.join(QLatin1Char(',')));
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
    const QString link = linkChoiceFor(options, defaults).deviceString;
    const QString path = projectDatabasePath(options.appDir);
    ProjectSetup stored;
    if (readProjectSerialLine(path, link, &stored)) {
        takeSerialLine(stored, &options);
        options.addressStoredFor = link;
    } else if (readProjectNodeAddress(path, link, &options.host, &options.port)) {
        options.addressStoredFor = link;
    }
    return options;
}

int runReadOrWrite(const ToolOptions &given, QTextStream &out, QTextStream &err)
{
    DriverPlugin plugin;
    LinkDefaults defaults;
    if (!prepareDriver(given, &plugin, &defaults, err))
        return kExitFailure;
    const ToolOptions options = withStoredAddress(given, defaults);
    const bool text = !options.json && !options.csv;
    if (options.stations.size() <= 1) {
        if (text)
            out << linkLine(options, QStringLiteral("station %1").arg(linkChoiceFor(options, defaults).station)) << '\n';
        out.flush();
        ToolSession session(options, plugin.driver(), defaults, out, err);
        return exitStatusFor(options.command == ToolCommand::Read ? session.read() : session.write());
    }
    // Several stations: a block each, in turn.
    if (text)
        out << linkLine(options, stationsText(options.stations)) << '\n';
    RunTally tally;
    for (int station : options.stations) {
        ToolOptions one = options;
        one.station = station;
        if (text)
            out << QStringLiteral("station %1:\n").arg(station);
        out.flush();
        ToolSession session(one, plugin.driver(), defaults, out, err);
        tally.add(session.read());
        if (stopRequested())
            break;
    }
    return exitStatusFor(tally);
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
    out << linkLine(options, QStringLiteral("%1 station(s)").arg(options.stations.size())) << '\n'
        << QStringLiteral("scanning for %1, %2 ms each\n").arg(options.address.text).arg(probe.timeoutMs);
    out.flush();
    // A station that gives no reply is a finding of the scan, not a failed
    // request; a link that fails or a run where nobody answered is.
    RunTally tally;
    int tried = 0;
    for (int station : options.stations) {
        probe.station = station;
        ToolSession session(probe, plugin.driver(), defaults, out, err);
        const RequestOutcome outcome = session.probe();
        if (stopRequested()) {
            tally.stopped += outcome.ok ? 0 : 1;
            break;
        }
        ++tried;
        if (outcome.failure.kind == QLatin1String("link")) {
            if (tally.failed++ == 0)
                err << "mbrtu: station " << station << ": " << outcome.error << '\n';
            continue;
        }
        // A slave's own exception shows it is there; a gateway's (0x0A, 0x0B) that it is not.
        const int code = outcome.failure.exceptionCode;
        const bool answered = outcome.ok || (code >= 0 && !isGatewayFault(code));
        if (!answered)
            continue;
        ++tally.succeeded;
        const QString how = outcome.ok ? QStringLiteral("answered")
                                       : QStringLiteral("exception 0x%1 (%2)")
                                             .arg(QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                                             .arg(outcome.failure.explanation);
        out << QStringLiteral("station %1  %2  %3 ms\n").arg(station, 3).arg(how).arg(double(outcome.elapsedUs) / 1000.0, 0, 'f', 1);
        out.flush();
    }
    tally.stopSignal = stopSignal();
    out << QStringLiteral("%1 of %2 station(s) tried answered%3\n")
               .arg(tally.succeeded)
               .arg(tried)
               .arg(tally.stopSignal ? QStringLiteral(" (%1 after %2 of %3)")
                                           .arg(interruptedText(tally.stopSignal))
                                           .arg(tried)
                                           .arg(options.stations.size())
                                     : QString());
    out.flush();
    if (tally.succeeded == 0 && !tally.stopSignal)
        tally.failed = qMax(tally.failed, 1);
    return exitStatusFor(tally);
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
    const QString path = projectDatabasePath(options.appDir);
    const QString link = options.link.isEmpty() ? QLatin1String(kDefaultLink) : options.link;
    ProjectSetup stored;
    const bool hasStored = readProjectSetup(path, link, &stored);
    if (options.show) {
        if (!hasStored) {
            err << "mbrtu: " << path << " holds no project for link " << link << "; write one with: mbrtu project --link "
                << link << '\n';
            return kExitFailure;
        }
        out << describe(path, stored) << '\n';
        if (!stored.tagAddresses.isEmpty())
            out << "tags: " << compactTagList(stored.tagAddresses) << '\n';
        return kExitSuccess;
    }
    ProjectSetup setup = projectSetupFor(options, link, options.station < 0 ? kDefaultProjectStation : options.station);
    // The slave's address stays as stored unless it is given: --serial puts
    // the link on a serial line, --host or --port back on TCP.
    if (hasStored && !options.hostGiven)
        setup.nodeIp = stored.nodeIp;
    if (hasStored && !options.portGiven)
        setup.nodePort = stored.nodePort;
    if (hasStored && !options.tcpGiven && options.serialPort.isEmpty())
        takeSerialLine(stored, &setup);
    QString error;
    if (!writeProjectDatabase(path, setup, &error)) {
        err << "mbrtu: " << error << '\n';
        return kExitFailure;
    }
    out << "wrote " << describe(path, setup) << '\n';
    return kExitSuccess;
}
