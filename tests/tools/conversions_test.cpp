// Scalar conversions, request predicates, bit expansion, zero filling,
// hexadecimal text, the process probe and the byte dump.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

TEST(ScalarConversions, ReadLittleEndianPrefixes)
{
    struct Row { const char *bytes; int asInt; unsigned short asWord; short asShort; };
    const Row rows[] = {
        {"", 0, 0, 0},
        {"ff", 0xFF, 0xFF, 255}, // one byte: unsigned, even for the signed form
        {"3412", 0x1234, 0x1234, 0x1234},
        {"ffff", 0xFFFF, 0xFFFF, -1},
        {"0080", 0x8000, 0x8000, SHRT_MIN},
        {"ffffff", 0xFFFFFF, 0xFFFF, -1},
        {"01020304", 0x04030201, 0x0201, 0x0201},
        {"0102030405", 0x04030201, 0x0201, 0x0201}, // bytes past the width are ignored
        {"ffffffff", -1, 0xFFFF, -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(QByteArrayToInt(hex(row.bytes)), row.asInt);
        EXPECT_EQ(QByteArrayToWord(hex(row.bytes)), row.asWord);
        EXPECT_EQ(QByteArrayToShort(hex(row.bytes)), row.asShort);
    }
}

TEST(ScalarConversions, WriteLittleEndian)
{
    EXPECT_EQ(wordToByteArray(0x1234), hex("3412"));
    EXPECT_EQ(wordToByteArray(0xFFFF), hex("ffff"));
    EXPECT_EQ(shortToByteArray(-2), hex("feff"));
    EXPECT_EQ(shortToByteArray(SHRT_MIN), hex("0080"));
    EXPECT_EQ(intToByteArray(0x12345678), hex("78563412"));
    EXPECT_EQ(intToByteArray(-1), hex("ffffffff"));
}

TEST(ScalarConversions, RoundTripAtTheLimits)
{
    for (const int value : {0, 1, -1, 0x7F, 0x80, INT_MAX, INT_MIN, 0x00FF00FF})
        EXPECT_EQ(QByteArrayToInt(intToByteArray(value)), value) << value;
    for (const short value : {short(0), short(-1), short(SHRT_MAX), short(SHRT_MIN), short(256)})
        EXPECT_EQ(QByteArrayToShort(shortToByteArray(value)), value) << value;
    for (const int value : {0, 1, 0xFF, 0x100, 0xFFFF})
        EXPECT_EQ(QByteArrayToWord(wordToByteArray((unsigned short)value)), value) << value;
}

TEST(RequestPredicates, EachAcceptsExactlyItsCode)
{
    struct Row { int code; bool bit, byte, word, dword, block; };
    const Row rows[] = {
        {-1, false, false, false, false, false},
        {0, true, false, false, false, false},
        {1, false, true, false, false, false},
        {2, false, false, true, false, false},
        {3, false, false, false, true, false},
        {4, false, false, false, false, false},
        {5, false, false, false, false, true},
        {6, false, false, false, false, false}, // the second bit kind is not a bit command
        {7, false, false, false, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.code);
        const CommunicatorCommand command(row.code, 1, QStringLiteral("HR1"));
        EXPECT_EQ(isBitCommand(command), row.bit);
        EXPECT_EQ(isByteCommand(command), row.byte);
        EXPECT_EQ(isWordCommand(command), row.word);
        EXPECT_EQ(isDoubleWordCommand(command), row.dword);
        EXPECT_EQ(isBlockCommand(command), row.block);
    }
}

TEST(BitExpansion, FirstBit)
{
    EXPECT_FALSE(getBitData(QByteArray()));
    EXPECT_TRUE(getBitData(hex("01")));
    EXPECT_FALSE(getBitData(hex("fe")));
    EXPECT_TRUE(getBitData(hex("0300")));
}

TEST(BitExpansion, OneBytePerBit)
{
    struct Row { const char *bits; unsigned short start; int count; const char *bytes; };
    const Row rows[] = {
        {"05", 0, 4, "01000100"},
        {"8001", 7, 3, "010100"},    // across a byte boundary
        {"ff", 6, 4, "01010000"},    // bits past the array read as zero
        {"", 0, 2, "0000"},
        {"ff", 65535, 1, "00"},
        {"ff", 0, 0, ""},
        {"ff", 0, -3, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.bits);
        EXPECT_EQ(ExpandBitsToBytes(hex(row.bits), row.start, row.count), hex(row.bytes));
    }
}

TEST(BitExpansion, AbsurdCountIsCutNotAllocated)
{
    const QByteArray bytes = ExpandBitsToBytes(hex("01"), 0, INT_MAX);
    ASSERT_EQ(bytes.size(), 1 << 20);
    EXPECT_EQ(bytes.at(0), 1);
    EXPECT_EQ(bytes.count('\0'), bytes.size() - 1);
}

TEST(ZeroFilling, PadsToMultipleOfTheWidth)
{
    struct Row { QByteArray (*fill)(const QByteArray &); int in; int out; };
    const Row rows[] = {
        {To16bitsData, 0, 0}, {To16bitsData, 1, 2}, {To16bitsData, 2, 2}, {To16bitsData, 3, 4},
        {To32bitsData, 1, 4}, {To32bitsData, 4, 4}, {To32bitsData, 5, 8},
        {To64bitsData, 3, 8}, {To64bitsData, 8, 8}, {To64bitsData, 13, 16},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.in);
        QByteArray input(row.in, '\0');
        for (int i = 0; i < row.in; ++i)
            input[i] = char(0xA0 + i);
        const QByteArray output = row.fill(input);
        ASSERT_EQ(output.size(), row.out);
        EXPECT_EQ(output.left(row.in), input);
        EXPECT_EQ(output.mid(row.in), QByteArray(row.out - row.in, '\0'));
    }
}

TEST(Reordering, ReverseArray)
{
    EXPECT_EQ(reverseArray(QByteArray()), QByteArray());
    EXPECT_EQ(reverseArray(hex("01")), hex("01"));
    EXPECT_EQ(reverseArray(hex("010203")), hex("030201"));
    const QByteArray data = hex("0011223344");
    EXPECT_EQ(reverseArray(reverseArray(data)), data);
    EXPECT_TRUE(EmptyPackageSizeList().isEmpty());
}

TEST(HexText, Parsing)
{
    struct Row { const char *text; int length; unsigned int value; };
    const Row rows[] = {
        {"0x1A", 4, 26},
        {"1a", 2, 26},
        {"0X1f", 4, 31},
        {"01f", 3, 31},            // a lone leading zero is skipped
        {"0x1A", 3, 1},            // the length limits the digits read
        {"FFFF", 2, 255},
        {"FFFFFFFF", 8, 0xFFFFFFFFu},
        {"123456789", 9, 0x23456789u}, // digits beyond eight push the first out
        {"12", 10, 0x12},          // stops at the terminator
        {"0x", 2, 0},
        {"0", 1, 0},
        {"0", 5, 0},
        {"1G", 2, 0},              // one bad digit spoils the whole value
        {"0xg1", 4, 0},
        {"", 5, 0},
        {"abc", 0, 0},
        {"abc", -1, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(HexToUInt(row.text, row.length), row.value);
    }
    EXPECT_EQ(HexToUInt(nullptr, 4), 0u);
}

TEST(ProcessProbe, ExistingAndMissingProcesses)
{
    EXPECT_TRUE(ProcessIsRunning(getpid()));
    EXPECT_TRUE(ProcessIsRunning(1)); // exists, whoever owns it

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(ProcessIsRunning(child)); // reaped
}

TEST(ProcessProbe, IdsThatNameNoSingleProcess)
{
    EXPECT_FALSE(ProcessIsRunning(0));  // own process group
    EXPECT_FALSE(ProcessIsRunning(-1)); // every process
    EXPECT_FALSE(ProcessIsRunning(-static_cast<long long>(getpgrp())));
    // Beyond the range of a process id; cut to 32 bits it would be our own.
    EXPECT_FALSE(ProcessIsRunning((1LL << 32) + getpid()));
}

TEST(ByteDump, Format)
{
    EXPECT_EQ(dumpByteArray(QByteArray()), QStringLiteral("() : "));
    EXPECT_EQ(dumpByteArray(hex("01ab41")),
              QStringLiteral("(0X1 0Xab 0X41 ) : ") + QString::fromLatin1("\x01\xab" "A"));
    EXPECT_EQ(dumpByteArray(hex("41004200")), QStringLiteral("(0X41 0X0 0X42 0X0 ) : A"));
    EXPECT_EQ(dumpByteArray(hex("10ff")), QStringLiteral("(0X10 0Xff ) : ") + QString::fromLatin1("\x10\xff"));
}

} // namespace
