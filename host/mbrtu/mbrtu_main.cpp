// mbrtu: reads and writes Modbus RTU slaves over TCP or a serial line through the driver
// plug-in, the way the panel runtime does; writes the project database the
// driver needs; runs a simulated slave, and a fault proxy in front of any
// slave.

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include "host/mbrtu/gateway_command.h"
#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_home.h"
#include "host/mbrtu/tool_options.h"
#include "host/mbrtu/tool_session.h"
#include "host/mbrtu/tool_usage.h"
#include "host/mbrtu/watch_command.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const ParsedArguments parsed = parseToolArguments(app.arguments().mid(1));
    if (!parsed.ok) {
        err << "mbrtu: " << parsed.error << "\n" << shortUsageText() << "(mbrtu --help tells more)\n";
        return kExitUsage;
    }
    ToolOptions options = parsed.options;
    options.programDir = programDirectory();
    const bool usesProject = options.command == ToolCommand::Read || options.command == ToolCommand::Write
                             || options.command == ToolCommand::Scan || options.command == ToolCommand::Watch
                             || options.command == ToolCommand::Project || options.command == ToolCommand::Gateway;
    if (usesProject) {
        options.appDir = toolAppDir(options.appDir, qEnvironmentVariable(kAppDirEnvironment), options.programDir,
                                    qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
        QString error;
        if (!useAppDir(options.appDir, &error)) {
            err << "mbrtu: " << error << '\n';
            return kExitFailure;
        }
    }
    switch (options.command) {
    case ToolCommand::Help:
        out << usageText();
        return kExitSuccess;
    case ToolCommand::Version:
        return runVersion(options, out, err);
    case ToolCommand::Project:
        return runProject(options, out, err);
    case ToolCommand::Simulate:
        return runSimulate(options, out, err);
    case ToolCommand::Proxy:
        return runProxy(options, out, err);
    case ToolCommand::Scan:
        return runScan(options, out, err);
    case ToolCommand::Watch:
        return runWatch(options, out, err);
    case ToolCommand::Gateway:
        return runGateway(options, out, err);
    case ToolCommand::Read:
    case ToolCommand::Write:
        return runReadOrWrite(options, out, err);
    }
    return kExitUsage;
}
