// Address texts: the parser's split into prefix, number, bit index and word
// order, and area prefixes compared without regard to case.

#include <gtest/gtest.h>

#include "driver/address.h"
#include "driver/area_prefix.h"
#include "support/qt_printers.h"

TEST(Address, Parse)
{
    // The parser writes the bit index only when the text has a point: U shows it left alone.
    const int U = 0xAA, M = 65535;
    const struct { const char *text, *prefix; int number, bit; bool highWordFirst; } rows[] = {
        {"HR100", "HR", 99, U, false},      {"hr1", "hr", 0, U, false},         {"FN5DO17", "FN5DO", 16, U, false},
        {"Fn6hR2", "Fn6hR", 1, U, false},   {"DOX3", "DOX", 2, U, false},       {"IR7", "IR", 6, U, false},
        {"FN6HR100.3", "FN6HR", 99, 3, false}, {"HR0", "HR", M, U, false},      {"HR65535", "HR", 65534, U, false},
        {"HR65536", "HR", 65535, U, false}, {"HR65537", "HR", 0, U, false},     {"HR", "HR", M, U, false},
        {"HR4294967297", "HR", 0, U, false}, // the 32-bit accumulator wraps too
        {"", "", M, U, false},              {"HR.3", "HR", M, 3, false},        {"HR100.300", "HR", 99, 44, false},
        {"HR100.256", "HR", 99, 0, false},  {"HR100.", "HR", 99, 0, false},     {"HR100.3x", "HR", 99, 3, false},
        {"HR100 .3", "HR", 99, U, false},   {"1-HR100", "", 0, U, false},       {"F", "F", M, U, false},
        {"FN5", "FN5", M, U, false},        {"F1", "F1", M, U, false},          {"F..7", "F..", 6, U, false},
        {"FN5.2", "FN5", M, 2, false},      {"H1R2", "H", 0, U, false},         {"DI 5", "DI", M, U, false},
        {"HR-1", "HR", M, U, false},        {".9", "", M, 9, false},            {"00017", "", 16, U, false},
        {"HR\xC3\x84" "1", "HR", M, U, false}, // a non-ASCII letter is no prefix letter
        // SW anywhere, in any case, puts the high-order word first
        {"HR100SW", "HR", 99, U, true},     {"hr1sw", "hr", 0, U, true},        {"HR1sW", "HR", 0, U, true},
        {"SWHR1", "SWHR", 0, U, true},      {"HR1S W", "HR", 0, U, false},      {"HR1WS", "HR", 0, U, false},
        {"W", "W", M, U, false},            {"HR1.2sw", "HR", 0, 2, true},      {"SW\xC3\x83", "SW", M, U, true},
        {"\xC3\x83" "HR1SW", "", M, U, true}, {"\xC3\x83" "HR1", "", M, U, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        const QString text = QString::fromUtf8(row.text);
        QByteArray prefix("X");
        unsigned short number = 12345;
        unsigned char bit = U;
        ModbusRTUSlaveParseAddress(text, prefix, number, bit);
        EXPECT_EQ(prefix, QByteArray("X") + row.prefix) << "appended, its case kept";
        EXPECT_EQ(int(number), row.number);
        EXPECT_EQ(int(bit), row.bit);
        // The dispatchers' parse agrees; no point leaves bit 0.
        const DeviceAddress at = ParseDeviceAddress(text);
        EXPECT_EQ(int(at.bit), row.bit == U ? 0 : row.bit);
        EXPECT_EQ(at.highWordFirst, row.highWordFirst);
    }
    EXPECT_EQ(ParseDeviceAddress(QString(5000, QLatin1Char('A'))).prefix, QByteArray(5000, 'A')) << "a long text";
}

TEST(Address, AreaPrefixesCompareAsciiLettersWithoutCaseOverTheAreasLength)
{
    const struct { QByteArray prefix; const char *area; bool startsWith, is; } rows[] = {
        {"HR", "HR", true, true},      {"hr", "HR", true, true},      {"Fn6hR", "FN6HR", true, true},
        {"DOX", "DO", true, false},    {"D", "DO", false, false},     {"", "DO", false, false},
        {"", "", true, true},          {"IR", "HR", false, false},    {"az", "AZ", true, true},
        // Only ASCII letters fold: a Latin-1 letter is no H, @ and [ are no letters. The size counts, not a zero.
        {"\xC8R", "HR", false, false}, {"(R", "HR", false, false},   {"@[", "`{", false, false},
        {QByteArray("H\0", 2), "H", true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefix.toHex().constData() + std::string(" vs ") + row.area);
        EXPECT_EQ(area_prefix::startsWith(row.prefix, row.area), row.startsWith);
        EXPECT_EQ(area_prefix::is(row.prefix, row.area), row.is);
    }
}
