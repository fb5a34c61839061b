// mbrtu's command line: what it accepts, what it fills in, and the reasons it
// gives for everything it refuses; addresses and the data kinds each area
// takes (the parsed numbers and bits show in the row labels of
// tool_values_test). Writes, the project and simulate commands run end to end.

#include <gtest/gtest.h>

#include <vector>

#include "host/tool_address.h"
#include "host/tool_options.h"

namespace {

// A text that must be refused with an error that contains the reason.
struct Refusal
{
    const char *text;
    const char *reason;
};

// accepts(text, &error) -> bool is the parser under test.
template <typename Accepts>
void expectRefusals(const std::vector<Refusal> &cases, Accepts accepts)
{
    for (const Refusal &c : cases) {
        QString error;
        EXPECT_FALSE(accepts(QLatin1String(c.text), &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.text << " gave: " << error.toStdString();
    }
}

ParsedArguments parse(const QString &line)
{
    return parseToolArguments(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

// The read and link fields of parsed options, in one line.
QString readFields(const ToolOptions &o)
{
    QStringList fields = {o.address.text, dataKindName(o.type), o.host, o.link, o.pluginDir};
    for (int number : {o.count, o.port, o.station, o.retries, o.delayMs, o.timeoutMs, o.pollMs, o.polls, int(o.json),
                       int(o.trace)})
        fields.append(QString::number(number));
    return fields.join(QLatin1Char(' '));
}

TEST(ToolOptions, ReadFillsEveryOptionGivenAndLeavesTheRestToTheDriver)
{
    const struct
    {
        const char *line;
        const char *fields;
    } cases[] = {
        {"read IR1", "IR1 word 127.0.0.1   1 5020 -1 -1 -1 -1 0 0 0 0"},
        {"read HR100 --type dword --count 4 --host plc.local --port 1502 --station 7 --retries 2 --delay 10 "
         "--timeout 250 --link ETHERNET --json --trace --plugin-dir /opt/drivers",
         "HR100 dword plc.local ETHERNET /opt/drivers 4 1502 7 2 10 250 0 0 1 1"},
        {"read DI1 --type=bit --count=16 --poll=500 --polls=3", "DI1 bit 127.0.0.1   16 5020 -1 -1 -1 -1 500 3 0 0"},
    };
    for (const auto &c : cases) {
        const ParsedArguments parsed = parse(QLatin1String(c.line));
        ASSERT_TRUE(parsed.ok) << c.line << ": " << parsed.error.toStdString();
        EXPECT_EQ(parsed.options.command, ToolCommand::Read);
        EXPECT_EQ(readFields(parsed.options), QLatin1String(c.fields));
    }
}

TEST(ToolOptions, RefusesWithAReason)
{
    expectRefusals({{"", "no command given"},
                    {"fetch HR1", "unknown command 'fetch'"},
                    {"read HR1 HR2", "read takes one ADDRESS"},
                    {"write HR1", "write takes an ADDRESS and at least one VALUE"},
                    {"read HR1 -x", "unknown option '-x'"},
                    {"read HR1 --count", "--count needs a value"},
                    {"read HR1 --count 0", "--count expects a number from 1 to 65536, not '0'"},
                    {"read HR1 --port 65536", "--port expects a number from 0 to 65535"},
                    {"read HR1 --station 256", "--station expects a number from 0 to 255"},
                    {"read HR1 --timeout 0", "--timeout expects a number from 1"},
                    {"read HR1 --type qword", "--type expects bit, byte, word, dword or block"},
                    {"read HR1 --link FOO", "names no HMI port"},
                    {"read HR1 --polls 3", "--polls goes with --poll"},
                    {"read HR1 --json=yes", "--json takes no value"},
                    {"read HR1 --tags DI1", "--tags does not go with read"},
                    {"write HR1 1 --count 2", "--count does not go with write"},
                    {"read DI1 --type word", "word reads need a register area"},
                    {"read HR1.3", "names a bit: use --type bit"},
                    {"read HR1SW", "SW (word order) applies to --type dword only"},
                    {"write IR1 5", "IR is read-only"},
                    {"write DO1 5", "DO takes bit writes only"},
                    {"project HR1", "unexpected argument 'HR1'"},
                    {"simulate --station 1,x", "--station expects a number"},
                    {"simulate --json", "--json does not go with simulate"}},
                   [](const QString &line, QString *error) {
                       const ParsedArguments parsed = parse(line);
                       *error = parsed.error;
                       return parsed.ok;
                   });
}

TEST(ToolAddress, RejectsWithAReason)
{
    expectRefusals({{"XY10", "unknown address area 'XY'"},
                    {"FN7HR1", "unknown address area 'FN7HR'"},
                    {"100", "has no area"},
                    {"", "has no area"},
                    {"HR0", "needs a number from 1 to 65536"},
                    {"HR65537", "needs a number from 1 to 65536"},
                    {"HR1.16", "the bit index runs from 0 to 15"},
                    {"HR1.", "the bit index runs from 0 to 15"},
                    {"DI5.1", "register areas only"},
                    {"2-DI5", "cannot read address"},
                    {"HR1x", "cannot read address"}},
                   [](const QString &text, QString *error) {
                       ToolAddress address;
                       return parseToolAddress(text, &address, error);
                   });
}

TEST(ToolAddress, KnowsWhatFitsWhichArea)
{
    const struct
    {
        const char *address;
        DataKind kind;
        bool readable;
        bool writable;
    } cases[] = {
        {"HR1", DataKind::Byte, true, true},       {"HR1", DataKind::Bit, true, true},
        {"HR1.0", DataKind::Bit, true, true},      {"HR1.15", DataKind::Word, false, false},
        {"hr1sw", DataKind::DWord, true, true},    {"HR1SW", DataKind::Word, false, false},
        {"fn6hr3", DataKind::Word, true, true},    {"IR7", DataKind::Word, true, false},
        {"IR1.2", DataKind::Bit, true, false},     {"DI65536", DataKind::Byte, true, false},
        {"DI1", DataKind::Word, false, false},     {"DO1", DataKind::Bit, true, true},
        {"DO1", DataKind::Block, true, false},     {"DO1", DataKind::DWord, false, false},
        {"FN5DO17", DataKind::Bit, true, true},    {"FN5DO1", DataKind::Word, false, false},
    };
    for (const auto &c : cases) {
        ToolAddress address;
        QString error;
        ASSERT_TRUE(parseToolAddress(QLatin1String(c.address), &address, &error)) << c.address;
        EXPECT_EQ(checkReadable(address, c.kind, &error), c.readable) << c.address << " " << int(c.kind);
        error.clear();
        EXPECT_EQ(checkWritable(address, c.kind, &error), c.writable) << c.address << " " << int(c.kind);
        EXPECT_EQ(error.isEmpty(), c.writable) << "a refusal says why";
    }
}

} // namespace
