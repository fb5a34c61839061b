#ifndef HOST_TOOL_COMMANDS_H
#define HOST_TOOL_COMMANDS_H

// mbrtu's subcommands, each returning the program's exit status: read, write
// and project in tool_commands.cpp, simulate and proxy in serve_commands.cpp.

#include <QTextStream>

#include "host/mbrtu/tool_options.h"
#include "host/mbrtu/tool_session.h"
#include "host/runtime/driver_plugin.h"

// Loads the plug-in and makes sure the driver has a project database for the
// link; false (reported) when either fails.
bool prepareDriver(const ToolOptions &options, DriverPlugin *plugin, LinkDefaults *defaults, QTextStream &err);
// Without --host and --port, the slave is where mbrtu project said it is.
ToolOptions withStoredAddress(ToolOptions options, const LinkDefaults &defaults);

int runReadOrWrite(const ToolOptions &options, QTextStream &out, QTextStream &err);
int runVersion(const ToolOptions &options, QTextStream &out, QTextStream &err);
int runScan(const ToolOptions &options, QTextStream &out, QTextStream &err);
int runProject(const ToolOptions &options, QTextStream &out, QTextStream &err);
int runSimulate(const ToolOptions &options, QTextStream &out, QTextStream &err);
int runProxy(const ToolOptions &options, QTextStream &out, QTextStream &err);

#endif // HOST_TOOL_COMMANDS_H
