#include "host/mbrtu/tool_options.h"

#include "host/mbrtu/gateway_command.h"
#include "host/mbrtu/option_rule.h"
#include "host/mbrtu/request_plan.h"
#include "host/mbrtu/watch_tags.h"
#include "host/runtime/project_db.h"
#include "host/runtime/runtime_values.h"

const char kDefaultHost[] = "127.0.0.1";
const char kDefaultLink[] = "COM2";

QString readNumber(const QString &option, const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok, 10);
    if (!ok || parsed < min || parsed > max)
        return QStringLiteral("%1 expects a number from %2 to %3, not '%4'").arg(option).arg(min).arg(max).arg(text);
    *value = parsed;
    return QString();
}

namespace {

enum CommandBits { ReadBit = 1, WriteBit = 2, ProjectBit = 4, SimulateBit = 8, ProxyBit = 16, ScanBit = 32, WatchBit = 64,
                   GatewayBit = kGatewayCommandBit };
constexpr int kFaultCommands = SimulateBit | ProxyBit;
constexpr int kLinkCommands = ReadBit | WriteBit | ScanBit | WatchBit | GatewayBit;
constexpr int kMaxStation = 255;
constexpr int kMaxMilliseconds = kMaxOptionMilliseconds;
constexpr int kMaxRetries = 100;
constexpr int kMaxScanStation = 247; // the highest station an RTU slave may take
constexpr int kMinBaud = 50;
constexpr int kMaxBaud = 4000000;

struct CommandName
{
    const char *name;
    ToolCommand command;
    int bit;
};

const CommandName kCommands[] = {
    {"read", ToolCommand::Read, ReadBit},
    {"write", ToolCommand::Write, WriteBit},
    {"project", ToolCommand::Project, ProjectBit},
    {"simulate", ToolCommand::Simulate, SimulateBit},
    {"proxy", ToolCommand::Proxy, ProxyBit},
    {"scan", ToolCommand::Scan, ScanBit},
    {"watch", ToolCommand::Watch, WatchBit},
    {"gateway", ToolCommand::Gateway, GatewayBit},
};

// Empty when text is a whole number within min..max, else the reason.
QString readStations(const QString &text, QList<int> *stations)
{
    stations->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        int station = 0;
        const QString error = readNumber(QStringLiteral("--station"), item, 0, kMaxStation, &station);
        if (!error.isEmpty())
            return error;
        stations->append(station);
    }
    return QString();
}

// "5,7-9": single stations and runs, each from min to max.
QString readStationRuns(const QString &option, const QString &text, QList<int> *stations, int min = 0,
                        int max = kMaxStation)
{
    stations->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        int first = 0;
        int last = 0;
        QString error = ends.size() > 2 ? QStringLiteral("%1 expects stations like 5,7-9, not '%2'").arg(option, text)
                                        : readNumber(option, ends.first(), min, max, &first);
        if (error.isEmpty())
            error = readNumber(option, ends.last(), min, max, &last);
        if (error.isEmpty() && last < first)
            error = QStringLiteral("%1: the run '%2' must run upwards").arg(option, item);
        if (!error.isEmpty())
            return error;
        for (int station = first; station <= last; ++station)
            stations->append(station);
    }
    return QString();
}

QString readRate(const QString &text, double *rate)
{
    bool ok = false;
    const double parsed = text.toDouble(&ok);
    if (!ok || !(parsed >= 0 && parsed <= 1))
        return QStringLiteral("--fault-rate expects a number from 0 to 1, not '%1'").arg(text);
    *rate = parsed;
    return QString();
}

QString readHostAndPort(const QString &text, QString *host, int *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    const QString error = QStringLiteral("--to expects HOST:PORT, not '%1'").arg(text);
    if (colon <= 0)
        return error;
    *host = text.left(colon);
    return readNumber(QStringLiteral("--to"), text.mid(colon + 1), 1, 65535, port).isEmpty() ? QString() : error;
}

// --baud, --parity, --data-bits and --stop-bits set the line's format; they
// need --serial, which checkCombination() sees once all are read.
QString noteSerialFormat(ToolOptions &options, const char *option, const QString &error)
{
    if (options.serialFormatOption.isEmpty())
        options.serialFormatOption = QLatin1String(option);
    return error;
}

QString readParity(const QString &text, char *parity)
{
    const QString upper = text.toUpper();
    if (upper != QLatin1String("N") && upper != QLatin1String("E") && upper != QLatin1String("O"))
        return QStringLiteral("--parity expects N, E or O, not '%1'").arg(text);
    *parity = upper[0].toLatin1();
    return QString();
}

QString readChoice(const QString &option, const QString &text, int first, int second, int *value)
{
    if (text != QString::number(first) && text != QString::number(second))
        return QStringLiteral("%1 expects %2 or %3, not '%4'").arg(option).arg(first).arg(second).arg(text);
    *value = text.toInt();
    return QString();
}

// An option without a value that switches member on.
template <bool ToolOptions::*member>
QString switchOn(ToolOptions &options, const QString &)
{
    options.*member = true;
    return QString();
}

const OptionRule kOptions[] = {
    {"--type", true, ReadBit | WriteBit,
     [](ToolOptions &o, const QString &v) {
         o.numbers = parseNumberType(v, &o.numberType);
         if (o.numbers)
             o.type = WordData;
         return o.numbers || parseDataType(v, &o.type)
                    ? QString()
                    : QStringLiteral("--type expects bit, byte, word, dword, block, int16, uint16, int32, uint32, "
                                     "float32, int64, uint64 or float64, not '%1'").arg(v);
     }},
    {"--order", true, ReadBit | WriteBit,
     [](ToolOptions &o, const QString &v) {
         o.orderGiven = true;
         return parseByteOrder(v, &o.byteOrder) ? QString()
                                                : QStringLiteral("--order expects ABCD, CDAB, BADC or DCBA, not '%1'").arg(v);
     }},
    {"--count", true, ReadBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--count"), v, 1, kAddressCount, &o.count); }},
    {"--host", true, kLinkCommands | ProjectBit | SimulateBit | ProxyBit,
     [](ToolOptions &o, const QString &v) {
         o.host = v;
         o.tcpGiven = o.hostGiven = true;
         return v.isEmpty() ? QStringLiteral("--host expects a host name or address") : QString();
     }},
    {"--port", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         o.tcpGiven = o.portGiven = true;
         // Port 0 is "any free port" for a server; a master needs the slave's.
         return readNumber(QStringLiteral("--port"), v, o.command == ToolCommand::Simulate ? 0 : 1, 65535, &o.port);
     }},
    {"--serial", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         o.serialPort = v;
         return v.isEmpty() ? QStringLiteral("--serial expects a port such as /dev/ttyUSB0") : QString();
     }},
    {"--baud", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         return noteSerialFormat(o, "--baud", readNumber(QStringLiteral("--baud"), v, kMinBaud, kMaxBaud, &o.baud));
     }},
    {"--parity", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) { return noteSerialFormat(o, "--parity", readParity(v, &o.parity)); }},
    {"--data-bits", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         return noteSerialFormat(o, "--data-bits", readChoice(QStringLiteral("--data-bits"), v, 7, 8, &o.dataBits));
     }},
    {"--stop-bits", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         return noteSerialFormat(o, "--stop-bits", readChoice(QStringLiteral("--stop-bits"), v, 1, 2, &o.stopBits));
     }},
    {"--station", true, kLinkCommands | ProjectBit | SimulateBit,
     [](ToolOptions &o, const QString &v) {
         if (o.command == ToolCommand::Simulate)
             return readStations(v, &o.stations);
         if (o.command == ToolCommand::Read && (v.contains(QLatin1Char(',')) || v.contains(QLatin1Char('-')))) {
             const QString error = readStationRuns(QStringLiteral("--station"), v, &o.stations);
             o.station = o.stations.value(0, -1);
             return error;
         }
         return readNumber(QStringLiteral("--station"), v, 0, kMaxStation, &o.station);
     }},
    {"--stations", true, ScanBit,
     [](ToolOptions &o, const QString &v) {
         return readStationRuns(QStringLiteral("--stations"), v, &o.stations, 1, kMaxScanStation);
     }},
    {"--address", true, ScanBit,
     [](ToolOptions &o, const QString &v) {
         QString error;
         return parseDeviceAddress(v, &o.address, &error) ? QString() : error;
     }},
    {"--retries", true, kLinkCommands,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--retries"), v, 0, kMaxRetries, &o.retries); }},
    {"--delay", true, kLinkCommands,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--delay"), v, 0, kMaxMilliseconds, &o.delayMs); }},
    {"--timeout", true, kLinkCommands,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--timeout"), v, 1, kMaxMilliseconds, &o.timeoutMs); }},
    {"--link", true, kLinkCommands | ProjectBit,
     [](ToolOptions &o, const QString &v) {
         o.link = v;
         return hmiPortForDevice(v) < 0 ? QStringLiteral("--link '%1' names no HMI port: use COMn or ETHERNET").arg(v)
                                        : QString();
     }},
    {"--poll", true, ReadBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--poll"), v, 1, kMaxMilliseconds, &o.pollMs); }},
    {"--period", true, WatchBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--period"), v, 1, kMaxMilliseconds, &o.pollMs); }},
    {"--tags-file", true, WatchBit,
     [](ToolOptions &o, const QString &v) {
         o.tagsFile = v;
         return v.isEmpty() ? QStringLiteral("--tags-file expects a CSV file of name, address, type") : QString();
     }},
    {"--once", false, WatchBit, switchOn<&ToolOptions::once>},
    {"--polls", true, ReadBit | WatchBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--polls"), v, 1, 1 << 30, &o.polls); }},
    {"--json", false, kLinkCommands, switchOn<&ToolOptions::json>},
    {"--csv", false, ReadBit | WatchBit, switchOn<&ToolOptions::csv>},
    {"--trace", false, kLinkCommands | SimulateBit | ProxyBit, switchOn<&ToolOptions::trace>},
    {"--gateway", false, SimulateBit, switchOn<&ToolOptions::gateway>},
    {"--unreachable", true, SimulateBit,
     [](ToolOptions &o, const QString &v) { return readStationRuns(QStringLiteral("--unreachable"), v, &o.unreachable); }},
    {"--echo", false, kLinkCommands | SimulateBit,
     [](ToolOptions &o, const QString &) {
         o.echo = true;
         return QString();
     }},
    {"--line-baud", true, SimulateBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--line-baud"), v, kMinBaud, kMaxBaud, &o.lineBaud); }},
    {"--map", true, SimulateBit,
     [](ToolOptions &o, const QString &v) {
         o.mapFile = v;
         return v.isEmpty() ? QStringLiteral("--map expects a CSV file of area, address, value") : QString();
     }},
    {"--count-up", true, SimulateBit,
     [](ToolOptions &o, const QString &v) {
         o.countUpText = v;
         QString error;
         return sim::parseCounterRuns(v, &o.countUp, &error) ? QString() : QStringLiteral("--count-up: ") + error;
     }},
    {"--count-every", true, SimulateBit,
     [](ToolOptions &o, const QString &v) {
         return readNumber(QStringLiteral("--count-every"), v, 1, kMaxMilliseconds, &o.countEveryMs);
     }},
    {"--line-bits", true, SimulateBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--line-bits"), v, 10, 11, &o.lineBits); }},
    {"--faults", true, kFaultCommands,
     [](ToolOptions &o, const QString &v) {
         o.faultsOn = true;
         QString error;
         return sim::parseFaultKinds(v, &o.faultKinds, &error) ? QString() : QStringLiteral("--faults: ") + error;
     }},
    {"--fault-rate", true, kFaultCommands,
     [](ToolOptions &o, const QString &v) {
         o.faultsOn = true;
         return readRate(v, &o.faultRate);
     }},
    {"--seed", true, kFaultCommands,
     [](ToolOptions &o, const QString &v) {
         bool ok = false;
         o.seed = v.toULongLong(&ok, 10);
         return ok ? QString() : QStringLiteral("--seed expects a whole number from 0 up, not '%1'").arg(v);
     }},
    {"--late-ms", true, kFaultCommands,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--late-ms"), v, 1, kMaxMilliseconds, &o.lateMs); }},
    {"--listen", true, ProxyBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--listen"), v, 0, 65535, &o.listenPort); }},
    {"--to", true, ProxyBit,
     [](ToolOptions &o, const QString &v) { return readHostAndPort(v, &o.slaveHost, &o.slavePort); }},
    {"--plugin-dir", true, kLinkCommands,
     [](ToolOptions &o, const QString &v) {
         o.pluginDir = v;
         return QString();
     }},
    {"--app-dir", true, kLinkCommands | ProjectBit,
     [](ToolOptions &o, const QString &v) {
         o.appDir = v;
         return QString();
     }},
    {"--show", false, ProjectBit, switchOn<&ToolOptions::show>},
    {"--link-id", true, ProjectBit,
     [](ToolOptions &o, const QString &v) { return readNumber(QStringLiteral("--link-id"), v, 0, 1 << 30, &o.linkId); }},
    {"--tags", true, ProjectBit | WatchBit,
     [](ToolOptions &o, const QString &v) {
         o.tags = v;
         QString error;
         if (o.command == ToolCommand::Watch) {
             QVector<TypedTag> tags;
             return parseWatchTags(v, 1, &tags, &error) ? QString() : error;
         }
         return expandTagList(v, &o.tagAddresses, &error) ? QString() : error;
     }},
};

const OptionRule *findOption(const QString &name, int commandBit)
{
    if (const OptionRule *own = commandBit == GatewayBit ? findGatewayOption(name) : nullptr)
        return own;
    for (const OptionRule &rule : kOptions) {
        if (name == QLatin1String(rule.name))
            return &rule;
    }
    return nullptr;
}

bool isHelp(const QString &argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h") || argument == QLatin1String("help");
}

// A token that starts with '-' but is a value: a negative number.
bool isNegativeNumber(const QString &argument)
{
    return argument.size() > 1 && argument[0] == QLatin1Char('-')
           && (argument[1].isDigit() || argument[1] == QLatin1Char('.'));
}

QString commandName(int bit)
{
    for (const CommandName &entry : kCommands) {
        if (entry.bit == bit)
            return QLatin1String(entry.name);
    }
    return QString();
}

QString checkPositionals(ToolOptions &options, const QStringList &positionals)
{
    switch (options.command) {
    case ToolCommand::Read:
        if (positionals.size() != 1)
            return QStringLiteral("read takes one ADDRESS");
        break;
    case ToolCommand::Write:
        if (positionals.size() < 2)
            return QStringLiteral("write takes an ADDRESS and at least one VALUE");
        options.values = positionals.mid(1);
        options.count = options.values.size();
        break;
    default:
        if (!positionals.isEmpty())
            return QStringLiteral("unexpected argument '%1'").arg(positionals.first());
        return QString();
    }
    QString error;
    if (!parseDeviceAddress(positionals.first(), &options.address, &error))
        return error;
    return QString();
}

// Number types are read and written as words, whose address checks they
// share; only their byte order is their own.
QString checkNumbers(const ToolOptions &options)
{
    if (options.orderGiven && !options.numbers)
        return QStringLiteral("--order goes with the number types (int16 ... float64)");
    return QString();
}

QString checkSpan(const ToolOptions &options)
{
    if (fitsAddressSpace(options.address, options.type, driverCount(options)))
        return QString();
    return QStringLiteral("%1 %2(s) from %3 run past the last address, 65536")
        .arg(driverCount(options))
        .arg(dataTypeName(options.type), options.address.text);
}

// A write is never split: more than one request carries is refused, and a
// broadcast must be one request, since nothing answers it.
QString checkWriteSize(const ToolOptions &options)
{
    const QString outside = checkSpan(options);
    if (!outside.isEmpty())
        return outside;
    const int most = writeLimit(options.address, options.type);
    if (most > 0 && driverCount(options) > most)
        return QStringLiteral("one request writes at most %1 %2(s) from %3, not %4; writes are not split")
            .arg(most)
            .arg(dataTypeName(options.type), options.address.text)
            .arg(driverCount(options));
    if (options.station != 0)
        return QString();
    if (options.type == BitData && isRegisterArea(options.address.area))
        return QStringLiteral("a bit inside a register is read before it is written: station 0 (broadcast) cannot answer");
    const int requests = most > 0 ? 1 : driverCount(options) * (options.type == DoubleWordData ? 2 : 1);
    if (requests > 1)
        return QStringLiteral("a broadcast (station 0) goes out as one request: %1 writes one %2 per request")
            .arg(options.address.text, options.address.area == Area::FN6HR ? QStringLiteral("register")
                                                                             : QStringLiteral("coil"));
    return QString();
}

// A register that counts up in one station only counts in a served one.
QString checkCountUpStations(const ToolOptions &options)
{
    sim::StationSet served;
    for (int station : options.stations)
        served.set(std::size_t(station));
    const QString error = sim::checkCounterStations(options.countUp, served);
    return error.isEmpty() ? error : QStringLiteral("--count-up: ") + error;
}

QString checkCombination(ToolOptions &options)
{
    QString error;
    switch (options.command) {
    case ToolCommand::Read:
        if (!checkReadable(options.address, options.type, &error))
            return error;
        error = checkNumbers(options);
        if (!error.isEmpty())
            return error;
        if (options.polls > 0 && options.pollMs == 0)
            options.pollMs = kDefaultPeriodMs;
        if (options.json && options.csv)
            return QStringLiteral("--json and --csv exclude each other");
        if (options.station == 0 || options.stations.contains(0))
            return QStringLiteral("station 0 is the broadcast address: it takes writes only (stations 1 to 255 read)");
        if (options.stations.size() > 1 && options.pollMs > 0)
            return QStringLiteral("--poll reads one station; several go with a single read");
        error = checkSpan(options);
        if (!error.isEmpty())
            return error;
        break;
    case ToolCommand::Write:
        if (!checkWritable(options.address, options.type, &error))
            return error;
        error = checkNumbers(options);
        if (!error.isEmpty())
            return error;
        if (options.numbers ? !encodeNumbers(options.numberType, options.byteOrder, options.values, &options.writeData, &error)
                            : !encodeWriteValues(options.type, options.values, &options.writeData, &error))
            return error;
        error = checkWriteSize(options);
        if (!error.isEmpty())
            return error;
        break;
    case ToolCommand::Watch:
        if (!options.tags.isEmpty() && !options.tagsFile.isEmpty())
            return QStringLiteral("--tags and --tags-file exclude each other");
        if (options.pollMs == 0)
            options.pollMs = kDefaultPeriodMs;
        if (options.once && options.polls > 0)
            return QStringLiteral("--once and --polls exclude each other");
        if (options.json && options.csv)
            return QStringLiteral("--json and --csv exclude each other");
        break;
    case ToolCommand::Scan:
        if (options.address.text.isEmpty())
            parseDeviceAddress(QStringLiteral("HR1"), &options.address, &error);
        if (options.stations.isEmpty())
            for (int station = 1; station <= kMaxScanStation; ++station)
                options.stations.append(station);
        if (!checkReadable(options.address, WordData, &error))
            return error;
        if (options.json)
            return QStringLiteral("--json does not go with scan");
        break;
    case ToolCommand::Simulate:
        if (options.stations.isEmpty())
            options.stations.append(options.station < 0 ? 1 : options.station);
        if (options.lineBits != 11 && options.lineBaud == 0)
            return QStringLiteral("--line-bits goes with --line-baud");
        if (options.countEveryMs > 0 && options.countUp.isEmpty())
            return QStringLiteral("--count-every goes with --count-up");
        error = checkCountUpStations(options);
        if (!error.isEmpty())
            return error;
        break;
    case ToolCommand::Project:
        if (options.show && (options.tcpGiven || options.station >= 0 || !options.tags.isEmpty()))
            return QStringLiteral("--show prints the stored project: it takes --link, --app-dir and --link-id only");
        break;
    case ToolCommand::Proxy:
        if (options.slavePort == 0)
            return QStringLiteral("proxy needs the slave: --to HOST:PORT");
        break;
    default:
        break;
    }
    if (!options.serialFormatOption.isEmpty() && options.serialPort.isEmpty())
        return QStringLiteral("%1 goes with --serial").arg(options.serialFormatOption);
    if (!options.serialPort.isEmpty() && options.tcpGiven)
        return QStringLiteral("--serial and --host/--port name two links: give one");
    if (options.lateMs > 0 && !options.faultsOn)
        return QStringLiteral("--late-ms goes with --faults or --fault-rate");
    return options.command == ToolCommand::Gateway ? checkGatewayOptions(options) : QString();
}

ParsedArguments failure(const QString &error)
{
    ParsedArguments result;
    result.error = error;
    return result;
}

} // namespace

int driverCount(const ToolOptions &options)
{
    return options.numbers ? options.count * registersPerValue(options.numberType) : options.count;
}

ParsedArguments parseToolArguments(const QStringList &arguments)
{
    ParsedArguments result;
    if (arguments.isEmpty())
        return failure(QStringLiteral("no command given"));
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")) || isHelp(arguments.first())) {
        result.ok = true;
        return result;
    }
    if (arguments.first() == QLatin1String("--version") || arguments.first() == QLatin1String("version")) {
        result.options.command = ToolCommand::Version;
        result.ok = arguments.size() == 1;
        result.error = result.ok ? QString() : QStringLiteral("--version takes nothing more");
        return result;
    }
    int commandBit = 0;
    for (const CommandName &entry : kCommands) {
        if (arguments.first() == QLatin1String(entry.name)) {
            result.options.command = entry.command;
            commandBit = entry.bit;
        }
    }
    if (!commandBit)
        return failure(QStringLiteral("unknown command '%1'").arg(arguments.first()));

    QStringList positionals;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || isNegativeNumber(argument)) {
            positionals.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString value;
        const int equals = argument.indexOf(QLatin1Char('='));
        const bool inlineValue = equals > 0;
        if (inlineValue) {
            value = argument.mid(equals + 1);
            argument = argument.left(equals);
        }
        const OptionRule *rule = findOption(argument, commandBit);
        if (!rule)
            return failure(QStringLiteral("unknown option '%1'").arg(argument));
        if (!(rule->commands & commandBit))
            return failure(QStringLiteral("%1 does not go with %2").arg(argument, commandName(commandBit)));
        if (rule->takesValue && !inlineValue) {
            if (i + 1 >= arguments.size())
                return failure(QStringLiteral("%1 needs a value").arg(argument));
            value = arguments[++i];
        } else if (!rule->takesValue && inlineValue) {
            return failure(QStringLiteral("%1 takes no value").arg(argument));
        }
        const QString error = rule->apply(result.options, value);
        if (!error.isEmpty())
            return failure(error);
    }
    QString error = checkPositionals(result.options, positionals);
    if (error.isEmpty())
        error = checkCombination(result.options);
    if (!error.isEmpty())
        return failure(error);
    result.ok = true;
    return result;
}
