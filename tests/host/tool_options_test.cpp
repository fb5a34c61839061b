// mbrtu's command line: what it accepts, what it fills in, and the reasons
// it gives for everything it refuses.

#include <gtest/gtest.h>

#include "host/tool_options.h"

namespace {

ParsedArguments parse(const QString &line)
{
    return parseToolArguments(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

TEST(ToolOptions, ReadWithEveryLinkOption)
{
    const ParsedArguments parsed = parse(QStringLiteral(
        "read HR100 --type dword --count 4 --host plc.local --port 1502 --station 7 --retries 2 --delay 10 "
        "--timeout 250 --link ETHERNET --json --trace --plugin-dir /opt/drivers"));
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString();
    const ToolOptions &o = parsed.options;
    EXPECT_EQ(o.command, ToolCommand::Read);
    EXPECT_EQ(o.address.text, QStringLiteral("HR100"));
    EXPECT_EQ(o.type, DataKind::DWord);
    EXPECT_EQ(o.count, 4);
    EXPECT_EQ(o.host, QStringLiteral("plc.local"));
    EXPECT_EQ(o.port, 1502);
    EXPECT_EQ(o.station, 7);
    EXPECT_EQ(o.retries, 2);
    EXPECT_EQ(o.delayMs, 10);
    EXPECT_EQ(o.timeoutMs, 250);
    EXPECT_EQ(o.link, QStringLiteral("ETHERNET"));
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(o.trace);
    EXPECT_EQ(o.pluginDir, QStringLiteral("/opt/drivers"));
}

TEST(ToolOptions, LeavesUnsetLinkOptionsToTheDriver)
{
    const ParsedArguments parsed = parse(QStringLiteral("read IR1"));
    ASSERT_TRUE(parsed.ok);
    const ToolOptions &o = parsed.options;
    EXPECT_EQ(o.type, DataKind::Word);
    EXPECT_EQ(o.count, 1);
    EXPECT_EQ(o.host, QLatin1String(kDefaultHost));
    EXPECT_EQ(o.port, kDefaultPort);
    EXPECT_EQ(o.station, -1);
    EXPECT_EQ(o.retries, -1);
    EXPECT_EQ(o.delayMs, -1);
    EXPECT_EQ(o.timeoutMs, -1);
    EXPECT_TRUE(o.link.isEmpty());
    EXPECT_EQ(o.pollMs, 0);
}

TEST(ToolOptions, ValuesWithEqualsSignsAndPolling)
{
    const ParsedArguments parsed = parse(QStringLiteral("read DI1 --type=bit --count=16 --poll=500 --polls=3"));
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.type, DataKind::Bit);
    EXPECT_EQ(parsed.options.count, 16);
    EXPECT_EQ(parsed.options.pollMs, 500);
    EXPECT_EQ(parsed.options.polls, 3);
}

TEST(ToolOptions, WriteTakesItsCountFromTheValuesAndNegativeNumbersAreValues)
{
    const ParsedArguments parsed = parse(QStringLiteral("write HR5 -2 0x10 --station 3 -7"));
    ASSERT_TRUE(parsed.ok) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options.command, ToolCommand::Write);
    EXPECT_EQ(parsed.options.values, QStringList({"-2", "0x10", "-7"}));
    EXPECT_EQ(parsed.options.count, 3);
    EXPECT_EQ(parsed.options.writeData, QByteArray("\xFE\xFF\x10\x00\xF9\xFF", 6));
    EXPECT_EQ(parsed.options.station, 3);

    const ParsedArguments afterDashes = parse(QStringLiteral("write DO1 --type bit -- 1 0 1"));
    ASSERT_TRUE(afterDashes.ok) << afterDashes.error.toStdString();
    EXPECT_EQ(afterDashes.options.writeData, QByteArray(1, 0x05));
}

TEST(ToolOptions, ProjectAndSimulate)
{
    const ParsedArguments project = parse(QStringLiteral(
        "project --link COM3 --station 2 --tags DI1-3,2-DO5 --link-id 4 --app-dir /tmp/app --port 1502"));
    ASSERT_TRUE(project.ok) << project.error.toStdString();
    EXPECT_EQ(project.options.command, ToolCommand::Project);
    EXPECT_EQ(project.options.link, QStringLiteral("COM3"));
    EXPECT_EQ(project.options.station, 2);
    EXPECT_EQ(project.options.linkId, 4);
    EXPECT_EQ(project.options.appDir, QStringLiteral("/tmp/app"));
    EXPECT_EQ(project.options.tagAddresses, QStringList({"DI1", "DI2", "DI3", "2-DO5"}));

    const ParsedArguments simulate = parse(QStringLiteral("simulate --port 0 --station 1,2,17 --trace"));
    ASSERT_TRUE(simulate.ok) << simulate.error.toStdString();
    EXPECT_EQ(simulate.options.port, 0);
    EXPECT_EQ(simulate.options.stations, QList<int>({1, 2, 17}));
    EXPECT_TRUE(simulate.options.trace);

    const ParsedArguments plain = parse(QStringLiteral("simulate"));
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(plain.options.stations, QList<int>({1}));
}

TEST(ToolOptions, HelpInAnyPosition)
{
    for (const char *line : {"--help", "-h", "help", "read --help", "write HR1 1 -h"}) {
        const ParsedArguments parsed = parse(QLatin1String(line));
        EXPECT_TRUE(parsed.ok) << line;
        EXPECT_EQ(parsed.options.command, ToolCommand::Help) << line;
    }
    EXPECT_TRUE(usageText().startsWith(shortUsageText()));
}

struct Refusal
{
    const char *line;
    const char *reason; // part of the error text
};

TEST(ToolOptions, RefusesWithAReason)
{
    const Refusal cases[] = {
        {"", "no command given"},
        {"fetch HR1", "unknown command 'fetch'"},
        {"read", "read takes one ADDRESS"},
        {"read HR1 HR2", "read takes one ADDRESS"},
        {"write HR1", "write takes an ADDRESS and at least one VALUE"},
        {"read XY1", "unknown address area 'XY'"},
        {"read HR1 --frobnicate", "unknown option '--frobnicate'"},
        {"read HR1 -x", "unknown option '-x'"},
        {"read HR1 --count", "--count needs a value"},
        {"read HR1 --count 0", "--count expects a number from 1 to 65536, not '0'"},
        {"read HR1 --count many", "--count expects a number"},
        {"read HR1 --port 65536", "--port expects a number from 0 to 65535"},
        {"read HR1 --station 256", "--station expects a number from 0 to 255"},
        {"read HR1 --station -1", "--station expects a number"},
        {"read HR1 --timeout 0", "--timeout expects a number from 1"},
        {"read HR1 --type qword", "--type expects bit, byte, word, dword or block"},
        {"read HR1 --link FOO", "names no HMI port"},
        {"read HR1 --polls 3", "--polls goes with --poll"},
        {"read HR1 --json=yes", "--json takes no value"},
        {"read HR1 --tags DI1", "--tags does not go with read"},
        {"write HR1 1 --count 2", "--count does not go with write"},
        {"write HR1 1 --poll 100", "--poll does not go with write"},
        {"read DI1 --type word", "word reads need a register area"},
        {"read HR1.3", "names a bit: use --type bit"},
        {"read HR1SW", "SW (word order) applies to --type dword only"},
        {"write IR1 5", "IR is read-only"},
        {"write DI1 1 --type bit", "DI is read-only"},
        {"write DO1 5", "DO takes bit writes only"},
        {"write HR1 70000", "value '70000' is not a word"},
        {"write DO1 2 --type bit", "value '2' is not a bit"},
        {"project --tags DI1-x", "cannot read tag 'DI1-x'"},
        {"project --tags XY1", "unknown address area"},
        {"project --link serial", "names no HMI port"},
        {"project HR1", "unexpected argument 'HR1'"},
        {"simulate --station 1,x", "--station expects a number"},
        {"simulate --json", "--json does not go with simulate"},
    };
    for (const Refusal &c : cases) {
        const ParsedArguments parsed = parse(QLatin1String(c.line));
        EXPECT_FALSE(parsed.ok) << c.line;
        EXPECT_TRUE(parsed.error.contains(QLatin1String(c.reason)))
            << "'" << c.line << "' gave: " << parsed.error.toStdString();
    }
}

} // namespace
