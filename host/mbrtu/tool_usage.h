#ifndef HOST_TOOL_USAGE_H
#define HOST_TOOL_USAGE_H

#include <QString>

// The command forms, for a usage error; usageText() adds the details for --help.
QString shortUsageText();
QString usageText();

#endif // HOST_TOOL_USAGE_H
