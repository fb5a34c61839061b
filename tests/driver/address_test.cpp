// Address texts: the parser's split into prefix, number and bit index, and
// the two smaller helpers for the leading symbol and the trailing number.

#include <gtest/gtest.h>

#include "driver/address.h"
#include "tools/tools.h"

namespace {

// The parser writes the bit index only when the text has a point; this value
// shows that it was left alone.
const unsigned char Untouched = 0xAA;
const int Missing = 65535;

struct ParseCase
{
    const char *text;
    const char *prefix;
    int number;
    int bit;
};

const ParseCase ParseCases[] = {
    {"HR100", "HR", 99, Untouched},
    {"hr100", "hr", 99, Untouched},
    {"FN5DO17", "FN5DO", 16, Untouched},
    {"FN6HR100.3", "FN6HR", 99, 3},
    {"fn6hr7", "fn6hr", 6, Untouched},
    {"HR1", "HR", 0, Untouched},
    {"HR0", "HR", Missing, Untouched},
    {"HR65535", "HR", 65534, Untouched},
    {"HR65536", "HR", 65535, Untouched},
    {"HR65537", "HR", 0, Untouched},
    {"HR4294967297", "HR", 0, Untouched}, // the 32-bit accumulator wraps too
    {"HR", "HR", Missing, Untouched},
    {"", "", Missing, Untouched},
    {"HR.3", "HR", Missing, 3},
    {"HR100.300", "HR", 99, 44},
    {"HR100.256", "HR", 99, 0},
    {"HR100.", "HR", 99, 0},
    {"HR100.3x", "HR", 99, 3},
    {"HR100.3.4", "HR", 99, 3},
    {"HR100SW", "HR", 99, Untouched},
    {"HR100 .3", "HR", 99, Untouched},
    {"1-HR100", "", 0, Untouched},
    {"F1", "F1", Missing, Untouched},
    {"F", "F", Missing, Untouched},
    {"FN5", "FN5", Missing, Untouched},
    {"Fxyz12", "Fxyz", 11, Untouched},
    {"F..7", "F..", 6, Untouched},
    {"FN5.2", "FN5", Missing, 2},
    {"H1R2", "H", 0, Untouched},
    {"DI 5", "DI", Missing, Untouched},
    {"HR-1", "HR", Missing, Untouched},
    {".", "", Missing, 0},
    {".9", "", Missing, 9},
    {"00017", "", 16, Untouched},
    {"HR\xC3\x84" "1", "HR", Missing, Untouched}, // a non-ASCII letter is no prefix letter
};

struct PrefixCase
{
    const char *text;
    const char *symbol;
};

const PrefixCase PrefixCases[] = {
    {"FN5_DO17", "FN"}, {"_X1", "_X"},   {"HR100", "HR"}, {"", ""},       {"1HR", ""},
    {"A_B_C", "A_B_C"}, {"DI-1", "DI"},  {"__", "__"},    {" HR", ""},    {"hr.3", "hr"},
};

struct NumberCase
{
    const char *text;
    int base;
    int value;
};

const NumberCase NumberCases[] = {
    {"DO17", 10, 17},    {"1-DI100", 10, 0},  {"DI100", 16, 0},  {"X1F", 16, 31},
    {"Xab", 16, 171},    {"HR", 10, 0},       {"", 10, 0},       {"", 16, 0},
    {"DO17", 8, 15},     {"DO19", 8, 0},      {"DO89", 8, 0},    {"HR007", 10, 7},
    {"any", 2, -1},      {"DO17", 0, -1},     {"DO17", 36, -1},  {"DO17", -10, -1},
    {"X99999999999", 10, 0},
};

} // namespace

TEST(AddressParse, Table)
{
    for (const ParseCase &row : ParseCases) {
        SCOPED_TRACE(row.text);
        QByteArray prefix;
        unsigned short number = 12345;
        unsigned char bit = Untouched;
        ModbusRTUSlaveParseAddress(QString::fromUtf8(row.text), prefix, number, bit);
        EXPECT_EQ(prefix, QByteArray(row.prefix));
        EXPECT_EQ(int(number), row.number);
        EXPECT_EQ(int(bit), row.bit);
    }
}

TEST(AddressParse, PrefixIsAppended)
{
    QByteArray prefix("X");
    unsigned short number = 0;
    unsigned char bit = 0;
    ModbusRTUSlaveParseAddress(QStringLiteral("DO5"), prefix, number, bit);
    EXPECT_EQ(prefix, QByteArray("XDO"));
    EXPECT_EQ(number, 4);
}

TEST(AddressParse, LongTexts)
{
    const int length = 5000;
    QByteArray prefix;
    unsigned short number = 0;
    unsigned char bit = Untouched;

    // 5000 nines wrap in the 32-bit accumulator: count them the same way.
    quint32 nines = 0;
    for (int i = 0; i < length; ++i)
        nines = 10 * nines + 9;
    ModbusRTUSlaveParseAddress(QStringLiteral("HR") + QString(length, QLatin1Char('9')), prefix,
                               number, bit);
    EXPECT_EQ(prefix, QByteArray("HR"));
    EXPECT_EQ(number, (unsigned short)(nines - 1));
    EXPECT_EQ(bit, Untouched);

    prefix.clear();
    ModbusRTUSlaveParseAddress(QString(length, QLatin1Char('A')), prefix, number, bit);
    EXPECT_EQ(prefix, QByteArray(length, 'A'));
    EXPECT_EQ(int(number), Missing);

    // The bit index accumulates modulo 256, digit by digit.
    unsigned int sevens = 0;
    for (int i = 0; i < length; ++i)
        sevens = (10 * sevens + 7) % 256;
    prefix.clear();
    ModbusRTUSlaveParseAddress(QStringLiteral("HR1.") + QString(length, QLatin1Char('7')), prefix,
                               number, bit);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(bit, sevens);
}

TEST(AddressText, ExtractPrefixSymbolTable)
{
    for (const PrefixCase &row : PrefixCases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ExtractPrefixSymbol(QByteArray(row.text)), QByteArray(row.symbol));
        EXPECT_EQ(ExtractPrefixSymbol(QString::fromLatin1(row.text)), QByteArray(row.symbol));
    }
}

TEST(AddressText, ExtractPLCDeviceAddressTable)
{
    for (const NumberCase &row : NumberCases) {
        SCOPED_TRACE(std::string(row.text) + " base " + std::to_string(row.base));
        EXPECT_EQ(ExtractPLCDeviceAddress(QByteArray(row.text), row.base), row.value);
        EXPECT_EQ(ExtractPLCDeviceAddress(QString::fromLatin1(row.text), row.base), row.value);
    }
}
