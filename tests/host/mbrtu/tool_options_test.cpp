// mbrtu's command line: the reason it gives for each usage error (exit
// status 2). The address checks behind it are the runtime's
// (device_address_test); what the options do shows end to end. The exit
// status of every command by how its requests came out; the fields of its
// records.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <csignal>

#include "host/mbrtu/record_fields.h"
#include "host/mbrtu/run_status.h"
#include "host/mbrtu/tool_home.h"
#include "host/mbrtu/tool_options.h"

namespace {

TEST(ToolOptions, RefusesWithAReason)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", "no command given"},
        {"fetch HR1", "unknown command 'fetch'"},
        {"read HR1 HR2", "read takes one ADDRESS"},
        {"write HR1", "write takes an ADDRESS and at least one VALUE"},
        {"write HR1 99999", "value '99999' is not a word"},
        {"read HR1 -x", "unknown option '-x'"},
        {"read HR1 --count", "--count needs a value"},
        {"read HR1 --count 0", "--count expects a number from 1 to 65536, not '0'"},
        {"read HR1 --count 65537", "--count expects a number from 1 to 65536"},
        {"read HR1 --port 65536", "--port expects a number from 1 to 65535"},
        {"read HR1 --port 0", "--port expects a number from 1 to 65535, not '0'"},
        {"project --port 0", "--port expects a number from 1 to 65535"},
        {"scan --stations 250-260", "--stations expects a number from 1 to 247, not '250'"},
        {"scan --stations 0-3", "--stations expects a number from 1 to 247, not '0'"},
        {"project --show --port 502", "--show prints the stored project: it takes --link, --app-dir and --link-id only"},
        {"watch --json --csv", "--json and --csv exclude each other"},
        {"read HR1 --station 256", "--station expects a number from 0 to 255"},
        {"read HR1 --timeout 0", "--timeout expects a number from 1"},
        {"read HR1 --retries 101", "--retries expects a number from 0 to 100"},
        {"read HR1 --type qword", "--type expects bit, byte, word, dword, block, int16, uint16"},
        {"read HR1 --order CDAB", "--order goes with the number types"},
        {"watch --tags HR1 --tags-file t.csv", "--tags and --tags-file exclude each other"},
        {"watch --tags HR1:float16", "--tags: 'float16' is no type"},
        {"watch --tags DI1:int16", "--tags: DI1 is a bit, not a int16"},
        {"watch --tags HR9-2", "--tags: 'HR9-2': the run must go upwards"},
        {"watch --tags 0-HR1", "stations go from 1 to 255"},
        {"watch --tags HR1,HR,DI5", "--tags: 'HR' is no tag"},
        {"read HR1 --type float32 --order ACBD", "--order expects ABCD, CDAB, BADC or DCBA, not 'ACBD'"},
        {"read DI1 --type int32", "word reads need a register area"},
        {"write HR1 70000 --type uint16", "out of range for uint16"},
        {"read HR1 --link FOO", "names no HMI port"},
        {"project --link COM", "--link 'COM' names no HMI port"},
        {"read HR1 --json=yes", "--json takes no value"},
        {"read HR1 --tags DI1", "--tags does not go with read"},
        {"write HR1 1 --count 2", "--count does not go with write"},
        {"project HR1", "unexpected argument 'HR1'"},
        {"project --tags DI9-1", "must run upwards"},
        {"simulate --station 1,x", "--station expects a number"},
        {"simulate --json", "--json does not go with simulate"},
        {"simulate --unreachable 9-7", "--unreachable: the run '9-7' must run upwards"},
        {"simulate --unreachable 5,x", "--unreachable expects a number from 0 to 255, not 'x'"},
        {"simulate --unreachable 1-2-3", "--unreachable expects stations like 5,7-9"},
        {"simulate --unreachable 5,", "--unreachable expects a number"},
        {"simulate --line-baud 10", "--line-baud expects a number from 50"},
        {"simulate --line-baud 9600 --line-bits 12", "--line-bits expects a number from 10 to 11"},
        {"simulate --line-bits 10", "--line-bits goes with --line-baud"},
        {"simulate --count-up HR1,DI5", "--count-up: 'DI5': only holding (HR) and input (IR) registers count up"},
        {"simulate --station 1,2 --count-up 3-HR1", "--count-up: station 3 is not served"},
        {"simulate --count-up HR1 --count-every 3600001", "--count-every expects a number from 1 to 3600000"},
        {"simulate --count-every 500", "--count-every goes with --count-up"},
        {"simulate --faults drop,bogus", "unknown fault kind 'bogus'"},
        {"proxy --to h:1 --faults ,", "names no fault kind"},
        {"simulate --fault-rate 1.5", "--fault-rate expects a number from 0 to 1"},
        {"simulate --fault-rate nan", "--fault-rate expects a number from 0 to 1"},
        {"simulate --seed x", "--seed expects a whole number"},
        {"simulate --late-ms 300", "--late-ms goes with --faults or --fault-rate"},
        {"simulate --faults late --late-ms 0", "--late-ms expects a number from 1"},
        {"proxy", "proxy needs the slave: --to HOST:PORT"},
        {"proxy --to localhost", "--to expects HOST:PORT, not 'localhost'"},
        {"proxy --to :502", "--to expects HOST:PORT"},
        {"proxy --to h:0", "--to expects HOST:PORT"},
        {"proxy --to h:1 --listen 70000", "--listen expects a number from 0 to 65535"},
        {"proxy --to h:1 --port 5", "--port does not go with proxy"},
        {"read HR1 --gateway", "--gateway does not go with read"},
        {"read HR1 --faults drop", "--faults does not go with read"},
        {"read HR1 --baud 19200", "--baud goes with --serial"},
        {"write HR1 1 --stop-bits 2 --parity O", "--stop-bits goes with --serial"},
        {"read HR1 --serial /dev/ttyS0 --port 502", "--serial and --host/--port name two links: give one"},
        {"simulate --host 0.0.0.0 --serial /dev/ttyS0", "name two links"},
        {"read HR1 --serial /dev/ttyS0 --parity X", "--parity expects N, E or O, not 'X'"},
        {"read HR1 --serial /dev/ttyS0 --data-bits 9", "--data-bits expects 7 or 8, not '9'"},
        {"read HR1 --serial /dev/ttyS0 --baud 49", "--baud expects a number from 50"},
        {"project --serial /dev/ttyS0 --host 10.0.0.2", "name two links"},
        {"project --baud 19200", "--baud goes with --serial"},
        {"read HR1 --station 0", "station 0 is the broadcast address: it takes writes only"},
        {"read HR65536 --count 2", "2 word(s) from HR65536 run past the last address, 65536"},
        {"read HR1 --json --csv", "--json and --csv exclude each other"},
        {"write HR10.3 1 --type bit --station 0", "a bit inside a register is read before it is written"},
        {"write FN6HR10 1 2 --station 0", "a broadcast (station 0) goes out as one request: FN6HR10 writes one register"},
    };
    for (const auto &[line, reason] : cases) {
        const ParsedArguments parsed = parseToolArguments(QString::fromLatin1(line).split(' ', Qt::SkipEmptyParts));
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_TRUE(parsed.error.contains(QLatin1String(reason))) << line << " gave: " << parsed.error.toStdString();
    }
    // --polls alone polls at the default period; simulate serves any free port.
    EXPECT_EQ(parseToolArguments({"read", "HR1", "--polls", "3"}).options.pollMs, kDefaultPeriodMs);
    EXPECT_TRUE(parseToolArguments({"simulate", "--port", "0"}).ok);
    const ParsedArguments counting = parseToolArguments({"simulate", "--count-up", "2-HR1-4,IR7", "--station", "2"});
    EXPECT_TRUE(counting.ok) << counting.error.toStdString();
    EXPECT_EQ(counting.options.countUp.size(), 2);
    // A write is never split: one value more than a request carries is refused.
    for (const auto &[head, most] : {std::pair{QStringList{"write", "HR1"}, 123}, {QStringList{"write", "DO1", "--type", "bit"}, 1968},
                                     {QStringList{"write", "HR1", "--type", "dword"}, 61}}) {
        EXPECT_TRUE(parseToolArguments(head + QVector<QString>(most, "1").toList()).ok) << most;
        const ParsedArguments parsed = parseToolArguments(head + QVector<QString>(most + 1, "1").toList());
        EXPECT_TRUE(parsed.error.startsWith(QStringLiteral("one request writes at most %1 ").arg(most))) << parsed.error.toStdString();
    }
}

TEST(ToolHome, TakesTheOptionTheEnvironmentABuildTreeOrTheUsersDataFolder)
{
    QTemporaryDir build;
    QDir(build.path()).mkdir(QStringLiteral("compile"));
    const QString installed = QStringLiteral("/usr/bin");
    const struct { QString option, environment, program, dataHome, expected; } cases[] = {
        {"/opt/a", "/opt/b", build.path(), "/x", "/opt/a"},
        {"", "/opt/b", build.path(), "/x", "/opt/b"},
        {"", "", build.path(), "/x", build.path()},
        {"", "", installed, "/x", "/x/mbrtu"},
        {"", "", installed, "", "/home/u/.local/share/mbrtu"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(toolAppDir(c.option, c.environment, c.program, c.dataHome, QStringLiteral("/home/u")), c.expected)
            << c.option.toStdString() << c.environment.toStdString() << c.program.toStdString();
}

TEST(ExitStatus, OneRuleForEveryCommandByHowItsRequestsCameOut)
{
    // succeeded, failed, stopped (cut off), the signal that ended the run: the status.
    const struct { const char *run; RunTally tally; int status; } cases[] = {
        {"read: the value", {1, 0, 0, 0}, 0},
        {"read: no reply", {0, 1, 0, 0}, 1},
        {"read --poll: Ctrl-C between polls", {5, 0, 0, SIGINT}, 130},
        {"read --poll: SIGTERM cut the first poll short", {0, 0, 1, SIGTERM}, 143},
        {"read --poll: Ctrl-C after a failed poll", {3, 1, 1, SIGINT}, 1},
        {"write: Ctrl-C while waiting for the reply", {0, 0, 1, SIGINT}, 130},
        {"scan: interrupted", {1, 0, 1, SIGINT}, 130},
        {"watch: the live view ended by Ctrl-C after failures", {100, 3, 0, SIGINT}, 1},
        {"watch: the live view ended by Ctrl-C, all good", {100, 0, 0, SIGINT}, 130},
        {"a request cut off with no signal on record", {4, 0, 1, 0}, 1},
        {"nothing sent", {0, 0, 0, 0}, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(exitStatusFor(c.tally), c.status) << c.run;
    RunTally sum{1, 0, 0, 0};
    sum.add({2, 1, 1, SIGTERM});
    EXPECT_EQ(std::make_tuple(sum.succeeded, sum.failed, sum.stopped, sum.stopSignal), std::make_tuple(3, 1, 1, SIGTERM));
}

TEST(RecordFields, NumbersAsJsonNumbersWhereExactAndCsvFieldsQuotedWhereNeeded)
{
    const struct { const char *text; QJsonValue json; } numbers[] = {
        {"-1.5", -1.5}, {"-9007199254740991", -9007199254740991.0}, {"9007199254740992", QStringLiteral("9007199254740992")},
        {"18446744073709551615", QStringLiteral("18446744073709551615")}, {"nan", QStringLiteral("nan")}, {"", QStringLiteral("")},
    };
    for (const auto &c : numbers)
        EXPECT_EQ(jsonNumber(QLatin1String(c.text)), c.json) << c.text;
    const std::pair<const char *, const char *> fields[] = {
        {"HR1", "HR1"}, {"", ""}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"two\nlines", "\"two\nlines\""},
    };
    for (const auto &[text, field] : fields)
        EXPECT_EQ(csvField(QLatin1String(text)), QLatin1String(field)) << text;
}

} // namespace
