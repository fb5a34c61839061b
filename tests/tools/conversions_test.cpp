// Scalar conversions, request predicates, bit expansion, zero filling,
// hexadecimal text, the process probe and the byte dump.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

TEST(ScalarConversions, LittleEndianBothWays)
{
    const struct { const char *bytes; int asInt; unsigned short asWord; short asShort; } rows[] = {
        {"", 0, 0, 0}, {"3412", 0x1234, 0x1234, 0x1234}, {"0080", 0x8000, 0x8000, SHRT_MIN},
        {"ff", 0xFF, 0xFF, 255}, // one byte: unsigned, even for the signed form
        {"ffffff", 0xFFFFFF, 0xFFFF, -1}, {"ffffffff", -1, 0xFFFF, -1},
        {"0102030405", 0x04030201, 0x0201, 0x0201}, // bytes past the width are ignored
    };
    for (const auto &row : rows) {
        EXPECT_EQ(QByteArrayToInt(hex(row.bytes)), row.asInt) << row.bytes;
        EXPECT_EQ(QByteArrayToWord(hex(row.bytes)), row.asWord) << row.bytes;
        EXPECT_EQ(QByteArrayToShort(hex(row.bytes)), row.asShort) << row.bytes;
    }
    EXPECT_EQ(wordToByteArray(0xFFFE), hex("feff"));
    EXPECT_EQ(shortToByteArray(SHRT_MIN), hex("0080"));
    EXPECT_EQ(intToByteArray(0x12345678), hex("78563412"));
    EXPECT_EQ(intToByteArray(INT_MIN), hex("00000080"));
}

TEST(RequestPredicates, EachAcceptsExactlyItsCode)
{
    bool (*const predicates[])(const CommunicatorCommand &) = {
        isBitCommand, isByteCommand, isWordCommand, isDoubleWordCommand, isBlockCommand};
    const int codes[] = {0, 1, 2, 3, 5}; // 4 and the second bit kind 6 have none
    for (int type = -1; type <= 7; ++type)
        for (int p = 0; p < 5; ++p)
            EXPECT_EQ(predicates[p](CommunicatorCommand(type, 1, "HR1")), type == codes[p]) << type << p;
}

TEST(BitExpansion, FirstBitAndOneBytePerBit)
{
    EXPECT_FALSE(getBitData(QByteArray()));
    EXPECT_TRUE(getBitData(hex("0300")));
    EXPECT_FALSE(getBitData(hex("fe")));

    const struct { const char *bits; unsigned short start; int count; const char *bytes; } rows[] = {
        {"05", 0, 4, "01000100"}, {"8001", 7, 3, "010100"}, // across a byte boundary
        {"ff", 6, 4, "01010000"}, {"", 0, 2, "0000"},       // bits past the array read as zero
        {"ff", 65535, 1, "00"},   {"ff", 0, 0, ""}, {"ff", 0, -3, ""},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ExpandBitsToBytes(hex(row.bits), row.start, row.count), hex(row.bytes)) << row.bits;
    // An absurd count is cut, not allocated.
    const QByteArray bytes = ExpandBitsToBytes(hex("01"), 0, INT_MAX);
    ASSERT_EQ(bytes.size(), 1 << 20);
    EXPECT_EQ(bytes.count('\0'), bytes.size() - 1);
}

TEST(ZeroFillingAndReordering, PadsToMultipleOfTheWidth)
{
    const struct { QByteArray (*fill)(const QByteArray &); int in; int out; } rows[] = {
        {To16bitsData, 0, 0}, {To16bitsData, 2, 2}, {To16bitsData, 3, 4}, {To32bitsData, 1, 4}, {To32bitsData, 4, 4},
        {To32bitsData, 5, 8}, {To64bitsData, 8, 8}, {To64bitsData, 13, 16},
    };
    for (const auto &row : rows) {
        const QByteArray input = hex("a1a2a3a4a5a6a7a8a9aaabacad").left(row.in);
        EXPECT_EQ(row.fill(input), input + QByteArray(row.out - row.in, '\0')) << row.in;
    }
    EXPECT_EQ(reverseArray(QByteArray()), QByteArray());
    EXPECT_EQ(reverseArray(hex("010203")), hex("030201"));
}

TEST(HexText, Parsing)
{
    const struct { const char *text; int length; unsigned int value; } rows[] = {
        {"0x1A", 4, 26}, {"1a", 2, 26}, {"0X1f", 4, 31}, {"FFFFFFFF", 8, 0xFFFFFFFFu},
        {"01f", 3, 31},                // a lone leading zero is skipped
        {"0x1A", 3, 1},                // the length limits the digits read
        {"123456789", 9, 0x23456789u}, // digits beyond eight push the first out
        {"12", 10, 0x12},              // stops at the terminator
        {"1G", 2, 0},                  // one bad digit spoils the whole value
        {"0x", 2, 0}, {"0", 1, 0}, {"0", 5, 0}, {"0xg1", 4, 0}, {"", 5, 0}, {"abc", 0, 0}, {"abc", -1, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(HexToUInt(row.text, row.length), row.value) << row.text << " " << row.length;
    EXPECT_EQ(HexToUInt(nullptr, 4), 0u);
}

TEST(ProcessProbe, OnlyExistingSingleProcesses)
{
    EXPECT_TRUE(ProcessIsRunning(getpid()));
    EXPECT_TRUE(ProcessIsRunning(1)); // exists, whoever owns it
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(ProcessIsRunning(child)); // reaped
    // Process groups, every process, and an id that cut to 32 bits would be ours.
    for (long long pid : {0LL, -1LL, -static_cast<long long>(getpgrp()), (1LL << 32) + getpid()})
        EXPECT_FALSE(ProcessIsRunning(pid)) << pid;
}

TEST(ByteDump, Format)
{
    EXPECT_EQ(dumpByteArray(QByteArray()), QStringLiteral("() : "));
    EXPECT_EQ(dumpByteArray(hex("01ab41")), QString::fromLatin1("(0X1 0Xab 0X41 ) : \x01\xab" "A"));
    EXPECT_EQ(dumpByteArray(hex("41004200")), QStringLiteral("(0X41 0X0 0X42 0X0 ) : A"));
}

} // namespace
