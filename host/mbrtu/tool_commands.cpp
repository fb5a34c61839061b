#include "host/mbrtu/tool_commands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

#include "host/mbrtu/tool_session.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"

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
bool ensureProjectDatabase(const ToolOptions &options, const LinkChoice &link, QTextStream &err)
{
    const QString path = projectDatabasePath(QCoreApplication::applicationDirPath());
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
    if (!ensureProjectDatabase(options, linkChoiceFor(options, defaults), err))
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
