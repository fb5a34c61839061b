// mbrtu's command line: the reason it gives for each usage error (exit
// status 2). The address checks behind it are the runtime's
// (device_address_test); what the options do shows end to end.

#include <gtest/gtest.h>

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
        {"read HR1 --port 65536", "--port expects a number from 0 to 65535"},
        {"read HR1 --station 256", "--station expects a number from 0 to 255"},
        {"read HR1 --timeout 0", "--timeout expects a number from 1"},
        {"read HR1 --retries 101", "--retries expects a number from 0 to 100"},
        {"read HR1 --type qword", "--type expects bit, byte, word, dword or block"},
        {"read HR1 --link FOO", "names no HMI port"},
        {"project --link COM", "--link 'COM' names no HMI port"},
        {"read HR1 --polls 3", "--polls goes with --poll"},
        {"read HR1 --json=yes", "--json takes no value"},
        {"read HR1 --tags DI1", "--tags does not go with read"},
        {"write HR1 1 --count 2", "--count does not go with write"},
        {"project HR1", "unexpected argument 'HR1'"},
        {"project --tags DI9-1", "must run upwards"},
        {"simulate --station 1,x", "--station expects a number"},
        {"simulate --json", "--json does not go with simulate"},
    };
    for (const auto &[line, reason] : cases) {
        const ParsedArguments parsed = parseToolArguments(QString::fromLatin1(line).split(' ', Qt::SkipEmptyParts));
        EXPECT_FALSE(parsed.ok) << line;
        EXPECT_TRUE(parsed.error.contains(QLatin1String(reason))) << line << " gave: " << parsed.error.toStdString();
    }
}

} // namespace
