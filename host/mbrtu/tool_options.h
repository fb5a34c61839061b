#ifndef HOST_TOOL_OPTIONS_H
#define HOST_TOOL_OPTIONS_H

// mbrtu's command line: subcommand, address, values and options, checked
// completely before anything is loaded or connected, so that every mistake
// is a usage error (exit status 2) with a clear reason.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "host/gateway/gateway_config.h"
#include "host/mbrtu/value_types.h"
#include "host/runtime/device_address.h"
#include "host/sim/sim_counters.h"
#include "host/sim/sim_faults.h"

enum class ToolCommand { Help, Version, Read, Write, Project, Simulate, Proxy, Scan, Watch, Gateway };

constexpr int kDefaultPort = 5020;
constexpr int kDefaultPeriodMs = 1000;
extern const char kDefaultHost[]; // "127.0.0.1"
extern const char kDefaultLink[]; // "COM2", also the driver's default device string

struct ToolOptions
{
    ToolCommand command = ToolCommand::Help;
    // read and write
    DeviceAddress address;
    DataType type = WordData;
    int count = 1;            // items of the type; values of a number type
    // --type int16 .. float64: values over registers, read and written as
    // words and converted here, in --order
    bool numbers = false;
    NumberType numberType = NumberType::Int16;
    ByteOrder byteOrder = ByteOrder::ABCD;
    bool orderGiven = false;
    QStringList values;
    QByteArray writeData; // the values in runtime order
    // the link; -1 and empty mean "the driver's default"
    QString host = QLatin1String(kDefaultHost);
    int port = kDefaultPort;
    bool tcpGiven = false; // --host or --port was given
    bool hostGiven = false;
    bool portGiven = false;
    QString addressStoredFor; // the link whose address mbrtu project stored, when that is where requests go
    // the serial line instead of TCP (read and write), or served (simulate);
    // empty: TCP
    QString serialPort;
    int baud = 9600;
    char parity = 'E'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;
    QString serialFormatOption; // the first of --baud, --parity, ... given, for "goes with --serial"
    int station = -1;
    int retries = -1;
    int delayMs = -1;
    int timeoutMs = -1;
    QString link;
    // output
    int pollMs = 0;  // 0: read once; watch and --polls: the period (kDefaultPeriodMs when not given)
    int polls = 0;   // 0: until interrupted; watch: cycles
    bool once = false; // watch: every tag once, then the table
    bool json = false;
    bool csv = false;
    bool trace = false;
    QString pluginDir;
    // read, write, scan and project: where the project database lives
    // (resolved by mbrtu's main from --app-dir), and mbrtu's own folder
    QString appDir;
    QString programDir;
    int linkId = 1;
    bool show = false;      // project: print the stored project, change nothing
    QString tags;
    QString tagsFile;       // watch: CSV lines of name, address, type
    QStringList tagAddresses;
    // simulate: the stations served; read: several stations, one block each;
    // scan: the stations tried (1-247 when not given)
    QList<int> stations;
    bool gateway = false;       // exception 0x0B for stations not served
    QList<int> unreachable;     // exception 0x0A for these
    bool echo = false;          // read, write: the link hands every request back before its reply;
                                // simulate: every request goes back before its reply
    int lineBaud = 0;           // replies paced as a serial line at this rate; 0: not
    int lineBits = 11;          // bits per byte on that line
    QString mapFile;            // initial values, CSV lines of area, address, value; empty: none
    QString countUpText;        // --count-up as given, for the start-up lines
    QVector<sim::CounterRun> countUp; // registers counting up; empty: none
    int countEveryMs = 0;       // their period; 0: not given (sim::kDefaultCountEveryMs)
    // simulate and proxy: faults are on when a list or a rate is given
    bool faultsOn = false;
    QVector<sim::FaultKind> faultKinds = sim::allFaultKinds();
    double faultRate = 0.1;
    quint64 seed = 1;
    int lateMs = -1;            // -1: kDefaultLateMs
    // proxy
    int listenPort = 0;         // 0: any free port
    QString slaveHost;          // --to HOST:PORT
    int slavePort = 0;
    // gateway: what its own options set
    gateway::GatewayConfig gatewayConfig;
};

// How long after its request a late reply goes out, unless --late-ms says;
// delays and split pauses range up to it too.
constexpr int kDefaultLateMs = 1000;

// What the driver is asked for: registers for number types, else the items.
int driverCount(const ToolOptions &options);

struct ParsedArguments
{
    bool ok = false;
    QString error;
    ToolOptions options;
};

// The arguments after the program name.
ParsedArguments parseToolArguments(const QStringList &arguments);
#endif // HOST_TOOL_OPTIONS_H
