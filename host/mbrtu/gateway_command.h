#ifndef HOST_GATEWAY_COMMAND_H
#define HOST_GATEWAY_COMMAND_H

// mbrtu gateway: Modbus TCP clients served through the plug-in over the RTU
// link of the link options (host/gateway does the serving). Its own options
// (--listen, --max-clients, --allow, --read-only, --idle-timeout,
// --deadline, --status-every) are kept here; the link options are mbrtu's.

#include <QTextStream>

#include "host/gateway/link_worker.h"
#include "host/mbrtu/option_rule.h"
#include "host/mbrtu/tool_options.h"

// The rule of a gateway option, null when name is none.
const OptionRule *findGatewayOption(const QString &name);
// Empty when the gateway's options go together, else the reason.
QString checkGatewayOptions(const ToolOptions &options);

// What a failed request came to, from the driver's and the device's texts.
gateway::LinkFailure gatewayFailureFor(const QString &driverError, const QString &deviceError);

int runGateway(const ToolOptions &options, QTextStream &out, QTextStream &err);

#endif // HOST_GATEWAY_COMMAND_H
