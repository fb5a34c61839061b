// Addresses as mbrtu accepts them, and the data kinds each area takes. The
// parsed numbers and bits show in the row labels of tool_values_test.

#include <gtest/gtest.h>

#include "host/tool_address.h"
#include "host_test_util.h"

namespace {

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
