// Addresses and data kinds as mbrtu accepts them.

#include <gtest/gtest.h>

#include "host/tool_address.h"

namespace {

struct GoodAddress
{
    const char *text;
    Area area;
    int number;
    int bit;
    bool swapped;
};

TEST(ToolAddress, ReadsEveryAreaAndModifier)
{
    const GoodAddress cases[] = {
        {"HR100", Area::HR, 100, -1, false},
        {"hr100", Area::HR, 100, -1, false},
        {"IR7", Area::IR, 7, -1, false},
        {"DI1", Area::DI, 1, -1, false},
        {"DO65536", Area::DO, 65536, -1, false},
        {"FN5DO17", Area::FN5DO, 17, -1, false},
        {"fn6hr3", Area::FN6HR, 3, -1, false},
        {"HR100.0", Area::HR, 100, 0, false},
        {"HR100.15", Area::HR, 100, 15, false},
        {"IR2.7", Area::IR, 2, 7, false},
        {"HR100SW", Area::HR, 100, -1, true},
        {"hr100sw", Area::HR, 100, -1, true},
    };
    for (const GoodAddress &c : cases) {
        ToolAddress address;
        QString error;
        ASSERT_TRUE(parseToolAddress(QLatin1String(c.text), &address, &error)) << c.text << ": " << error.toStdString();
        EXPECT_EQ(address.area, c.area) << c.text;
        EXPECT_EQ(address.number, c.number) << c.text;
        EXPECT_EQ(address.bit, c.bit) << c.text;
        EXPECT_EQ(address.swapped, c.swapped) << c.text;
        EXPECT_EQ(address.text, QLatin1String(c.text)) << "the driver gets the text unchanged";
    }
}

struct BadAddress
{
    const char *text;
    const char *reason; // part of the error text
};

TEST(ToolAddress, RejectsWithAReason)
{
    const BadAddress cases[] = {
        {"XY10", "unknown address area 'XY'"},
        {"FN7HR1", "unknown address area 'FN7HR'"},
        {"100", "has no area"},
        {"", "has no area"},
        {"HR", "needs a number from 1 to 65536"},
        {"HR0", "needs a number from 1 to 65536"},
        {"HR65537", "needs a number from 1 to 65536"},
        {"HR1.16", "the bit index runs from 0 to 15"},
        {"HR1.", "the bit index runs from 0 to 15"},
        {"DI5.1", "register areas only"},
        {"2-DI5", "cannot read address"},
        {"HR 1", "cannot read address"},
        {"HR1x", "cannot read address"},
    };
    for (const BadAddress &c : cases) {
        ToolAddress address;
        QString error;
        EXPECT_FALSE(parseToolAddress(QLatin1String(c.text), &address, &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.text << " gave: " << error.toStdString();
    }
}

TEST(ToolAddress, NamesDataKinds)
{
    for (DataKind kind : {DataKind::Bit, DataKind::Byte, DataKind::Word, DataKind::DWord, DataKind::Block}) {
        DataKind parsed = DataKind::Bit;
        ASSERT_TRUE(parseDataKind(dataKindName(kind), &parsed));
        EXPECT_EQ(parsed, kind);
    }
    DataKind parsed = DataKind::Word;
    EXPECT_FALSE(parseDataKind(QStringLiteral("qword"), &parsed));
    EXPECT_FALSE(parseDataKind(QStringLiteral("Word"), &parsed));
    EXPECT_EQ(int(DataKind::Block), 5) << "the runtime's code for blocks";
}

struct Access
{
    const char *address;
    DataKind kind;
    bool readable;
    bool writable;
};

TEST(ToolAddress, KnowsWhatFitsWhichArea)
{
    const Access cases[] = {
        {"HR1", DataKind::Word, true, true},
        {"HR1", DataKind::DWord, true, true},
        {"HR1", DataKind::Byte, true, true},
        {"HR1", DataKind::Bit, true, true},
        {"HR1.3", DataKind::Bit, true, true},
        {"HR1.3", DataKind::Word, false, false},
        {"HR1SW", DataKind::DWord, true, true},
        {"HR1SW", DataKind::Word, false, false},
        {"FN6HR1", DataKind::Word, true, true},
        {"IR1", DataKind::Word, true, false},
        {"IR1.2", DataKind::Bit, true, false},
        {"DI1", DataKind::Bit, true, false},
        {"DI1", DataKind::Byte, true, false},
        {"DI1", DataKind::Word, false, false},
        {"DO1", DataKind::Bit, true, true},
        {"DO1", DataKind::Block, true, false},
        {"DO1", DataKind::DWord, false, false},
        {"FN5DO1", DataKind::Bit, true, true},
        {"FN5DO1", DataKind::Word, false, false},
    };
    for (const Access &c : cases) {
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
