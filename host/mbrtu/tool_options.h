#ifndef HOST_TOOL_OPTIONS_H
#define HOST_TOOL_OPTIONS_H

// mbrtu's command line: subcommand, address, values and options, checked
// completely before anything is loaded or connected, so that every mistake
// is a usage error (exit status 2) with a clear reason.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "host/runtime/device_address.h"

enum class ToolCommand { Help, Read, Write, Project, Simulate };

constexpr int kDefaultPort = 5020;
extern const char kDefaultHost[]; // "127.0.0.1"
extern const char kDefaultLink[]; // "COM2", also the driver's default device string

struct ToolOptions
{
    ToolCommand command = ToolCommand::Help;
    // read and write
    DeviceAddress address;
    DataType type = WordData;
    int count = 1;
    QStringList values;
    QByteArray writeData; // the values in runtime order
    // the link; -1 and empty mean "the driver's default"
    QString host = QLatin1String(kDefaultHost);
    int port = kDefaultPort;
    int station = -1;
    int retries = -1;
    int delayMs = -1;
    int timeoutMs = -1;
    QString link;
    // output
    int pollMs = 0;  // 0: read once
    int polls = 0;   // 0: until interrupted
    bool json = false;
    bool trace = false;
    QString pluginDir;
    // project
    QString appDir;
    int linkId = 1;
    QString tags;
    QStringList tagAddresses;
    // simulate
    QList<int> stations;
};

struct ParsedArguments
{
    bool ok = false;
    QString error;
    ToolOptions options;
};

// The arguments after the program name.
ParsedArguments parseToolArguments(const QStringList &arguments);
// The command forms, for a usage error; usageText() adds the details for --help.
QString shortUsageText();
QString usageText();

#endif // HOST_TOOL_OPTIONS_H
