// Address texts: the parser's split into prefix, number and bit index, and
// the helpers for the leading symbol and the trailing number.

#include <gtest/gtest.h>

#include "driver/address.h"
#include "driver/area_prefix.h"
#include "tools/tools.h"

namespace {

// The parser writes the bit index only when the text has a point; this value
// shows that it was left alone.
const int Untouched = 0xAA;
const int Missing = 65535;

void parse(const QString &text, QByteArray &prefix, unsigned short &number, unsigned char &bit)
{
    number = 12345;
    bit = Untouched;
    ModbusRTUSlaveParseAddress(text, prefix, number, bit);
}

} // namespace

TEST(AddressParse, Table)
{
    const int U = Untouched, M = Missing;
    const struct
    {
        const char *text;
        const char *prefix;
        int number;
        int bit;
    } rows[] = {
        {"HR100", "HR", 99, U},         {"hr1", "hr", 0, U},            {"FN5DO17", "FN5DO", 16, U},
        {"Fn6hR2", "Fn6hR", 1, U},      {"DOX3", "DOX", 2, U},          {"IR7", "IR", 6, U},
        {"FN6HR100.3", "FN6HR", 99, 3}, {"HR0", "HR", M, U},            {"HR65535", "HR", 65534, U},
        {"HR65536", "HR", 65535, U},    {"HR65537", "HR", 0, U},        {"HR", "HR", M, U},
        {"HR4294967297", "HR", 0, U}, // the 32-bit accumulator wraps too
        {"", "", M, U},                 {"HR.3", "HR", M, 3},           {"HR100.300", "HR", 99, 44},
        {"HR100.256", "HR", 99, 0},     {"HR100.", "HR", 99, 0},        {"HR100.3x", "HR", 99, 3},
        {"HR100SW", "HR", 99, U},       {"HR100 .3", "HR", 99, U},      {"1-HR100", "", 0, U},
        {"F", "F", M, U},               {"FN5", "FN5", M, U},           {"F1", "F1", M, U},
        {"F..7", "F..", 6, U},          {"FN5.2", "FN5", M, 2},         {"H1R2", "H", 0, U},
        {"DI 5", "DI", M, U},           {"HR-1", "HR", M, U},           {".9", "", M, 9},
        {"00017", "", 16, U},
        {"HR\xC3\x84" "1", "HR", M, U}, // a non-ASCII letter is no prefix letter
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        QByteArray prefix;
        unsigned short number;
        unsigned char bit;
        parse(QString::fromUtf8(row.text), prefix, number, bit);
        EXPECT_EQ(prefix, QByteArray(row.prefix));
        EXPECT_EQ(int(number), row.number);
        EXPECT_EQ(int(bit), row.bit);

        // The dispatchers' parse agrees, the case of the prefix kept; no
        // point leaves bit 0.
        const DeviceAddress at = ParseDeviceAddress(QString::fromUtf8(row.text));
        EXPECT_EQ(at.prefix, QByteArray(row.prefix));
        EXPECT_EQ(int(at.number), row.number);
        EXPECT_EQ(int(at.bit), row.bit == U ? 0 : row.bit);
    }
}

TEST(AddressParse, SwAnywhereInAnyCasePutsTheHighWordFirst)
{
    const struct
    {
        const char *text;
        bool highWordFirst;
    } rows[] = {
        {"HR100SW", true},  {"hr1sw", true},   {"HR1sW", true},     {"SWHR1", true},
        {"HR1S W", false},  {"HR1WS", false},  {"HR1S", false},     {"", false},
        {"W", false},       {"HR1.2sw", true}, {"Ã" "HR1SW", true}, {"Ã" "HR1", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ParseDeviceAddress(QString::fromUtf8(row.text)).highWordFirst, row.highWordFirst) << row.text;
}

TEST(AddressParse, PrefixIsAppendedAndLongTextsEndCleanly)
{
    QByteArray prefix("X");
    unsigned short number;
    unsigned char bit;
    parse(QStringLiteral("DO5"), prefix, number, bit);
    EXPECT_EQ(prefix, QByteArray("XDO"));
    EXPECT_EQ(number, 4);

    prefix.clear();
    parse(QString(5000, QLatin1Char('A')), prefix, number, bit);
    EXPECT_EQ(prefix, QByteArray(5000, 'A'));
    EXPECT_EQ(int(number), Missing);
}

TEST(AddressText, ExtractPrefixSymbolAndDeviceAddress)
{
    const struct
    {
        const char *text;
        const char *symbol;
    } symbols[] = {{"FN5_DO17", "FN"}, {"_X1", "_X"}, {"", ""},         {"1HR", ""},
                   {"A_B_C", "A_B_C"}, {"DI-1", "DI"}, {" HR", ""},     {"hr.3", "hr"}};
    for (const auto &row : symbols) {
        EXPECT_EQ(ExtractPrefixSymbol(QByteArray(row.text)), QByteArray(row.symbol)) << row.text;
        EXPECT_EQ(ExtractPrefixSymbol(QString::fromLatin1(row.text)), QByteArray(row.symbol)) << row.text;
    }
    const struct
    {
        const char *text;
        int base;
        int value;
    } numbers[] = {
        {"DO17", 10, 17}, {"1-DI100", 10, 0}, {"DI100", 16, 0}, {"X1F", 16, 31}, {"Xab", 16, 171},
        {"HR", 10, 0},    {"DO17", 8, 15},    {"DO19", 8, 0},   {"HR007", 10, 7}, {"X99999999999", 10, 0},
        {"any", 2, -1},   {"DO17", 0, -1},    {"DO17", 36, -1},
    };
    for (const auto &row : numbers) {
        SCOPED_TRACE(testing::Message() << row.text << " base " << row.base);
        EXPECT_EQ(ExtractPLCDeviceAddress(QByteArray(row.text), row.base), row.value);
        EXPECT_EQ(ExtractPLCDeviceAddress(QString::fromLatin1(row.text), row.base), row.value);
    }
}

TEST(AreaPrefix, ComparesAsciiLettersWithoutCaseOverTheAreasLength)
{
    const struct
    {
        QByteArray prefix;
        const char *area;
        bool startsWith;
        bool is;
    } rows[] = {
        {"HR", "HR", true, true},        {"hr", "HR", true, true},        {"Fn6hR", "FN6HR", true, true},
        {"DOX", "DO", true, false},      {"D", "DO", false, false},       {"", "DO", false, false},
        {"", "", true, true},            {"HRX", "HR", true, false},      {"IR", "HR", false, false},
        // Only ASCII letters fold: a Latin-1 letter is no H. The size counts,
        // not a terminating zero.
        {"\xC8R", "HR", false, false},   {"(R", "HR", false, false},      {QByteArray("H\0", 2), "H", true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefix.toHex().constData() + std::string(" vs ") + row.area);
        EXPECT_EQ(area_prefix::startsWith(row.prefix, row.area), row.startsWith);
        EXPECT_EQ(area_prefix::is(row.prefix, row.area), row.is);
    }
}
