// mbrtu: reads and writes Modbus RTU slaves over TCP through the driver
// plug-in, the way the panel runtime does; writes the project database the
// driver needs; runs a simulated slave, and a fault proxy in front of any
// slave.

#include <QCoreApplication>
#include <QTextStream>

#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_options.h"
#include "host/mbrtu/tool_session.h"

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
    switch (parsed.options.command) {
    case ToolCommand::Help:
        out << usageText();
        return kExitSuccess;
    case ToolCommand::Project:
        return runProject(parsed.options, out, err);
    case ToolCommand::Simulate:
        return runSimulate(parsed.options, out, err);
    case ToolCommand::Proxy:
        return runProxy(parsed.options, out, err);
    case ToolCommand::Read:
    case ToolCommand::Write:
        return runReadOrWrite(parsed.options, out, err);
    }
    return kExitUsage;
}
