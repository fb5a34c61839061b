// Byte order between wire registers and the runtime's buffers, and the
// counting helpers that size them.

#include <gtest/gtest.h>

#include "support/frames.h"
#include "tools/tools.h"

TEST(ByteOrder, FromBigEndian)
{
    const struct { const char *wire; int count; bool longs; const char *host; } rows[] = {
        {"12 34 AB CD", 2, false, "34 12 CD AB"}, {"12 34 AB CD", 1, false, "34 12"}, {"12 34", 0, false, ""},
        {"12 34", -1, false, ""}, {"12 34 56 78", 1, true, "78 56 34 12"}, {"12 34 56 78", -3, true, ""},
        {"12 34 56 78 9A BC DE F0", 2, true, "78 56 34 12 F0 DE BC 9A"},
        // Eight bytes at a time, then pair by pair.
        {"01 02 03 04 05 06 07 08 09 0A", 5, false, "02 01 04 03 06 05 08 07 0A 09"},
    };
    for (const auto &row : rows) {
        const QByteArray wire = hex(row.wire);
        const QByteArray host = row.longs ? fromBigEndianULongArray(wire.constData(), row.count)
                                          : fromBigEndianUShortArray(wire.constData(), row.count);
        EXPECT_EQ(toHex(host), toHex(hex(row.host))) << row.wire << " count " << row.count;
        // Into a buffer: the same bytes, and not one byte more.
        QByteArray out(host.size() + 1, char(0xEE));
        row.longs ? copyFromBigEndianULongArray(wire.constData(), row.count, out.data())
                  : copyFromBigEndianUShortArray(wire.constData(), row.count, out.data());
        EXPECT_EQ(toHex(out), toHex(host + char(0xEE))) << row.wire << " count " << row.count;
    }
}

TEST(ByteOrder, ToBigEndianAndInPlaceSwaps)
{
    const struct { const char *host; bool longs; const char *wire; } rows[] = {
        {"", false, ""}, {"01", false, "00 01"}, {"01 02 03 04", false, "02 01 04 03"},
        {"01 02 03", false, "02 01 00 03"},
        {"", true, ""}, {"01", true, "00 00 00 01"}, {"01 02 03 04 05 06 07", true, "04 03 02 01 00 07 06 05"},
        {"01 02 03 04 05 06 07 08", true, "04 03 02 01 08 07 06 05"},
        {"01 02 03 04 05 06 07 08 09 0A 0B", false, "02 01 04 03 06 05 08 07 0A 09 00 0B"},
    };
    for (const auto &row : rows) {
        const QByteArray host = hex(row.host);
        const QByteArray wire = row.longs ? toBigEndianULongArray(host) : toBigEndianUShortArray(host);
        EXPECT_EQ(toHex(wire), toHex(hex(row.wire))) << row.host;
        // The in-place swap does the same to whole groups and leaves copies sharing the data alone.
        QByteArray swapped = host;
        row.longs ? toLittleEndianULongArray(swapped) : toLittleEndianUShortArray(swapped);
        EXPECT_EQ(host, hex(row.host)) << row.host;
        if (host.size() % (row.longs ? 4 : 2) == 0)
            EXPECT_EQ(toHex(swapped), toHex(wire)) << row.host;
    }
    QByteArray frame = hex("AA");
    for (unsigned short value : {0x1234, 0, 0xFFFF})
        appendBigEndianUShort(frame, value);
    EXPECT_EQ(toHex(frame), QStringLiteral("AA 12 34 00 00 FF FF"));
}

TEST(ByteOrder, Counting)
{
    const struct { unsigned int (*count)(unsigned int, unsigned int); unsigned int start, n, expected; } bitRows[] = {
        {NumOfBitsToNumOfWords, 15, 2, 2},  {NumOfBitsToNumOfWords, 0, 16, 1}, {NumOfBitsToNumOfWords, 0, 17, 2},
        {NumOfBitsToNumOfWords, 0, 0, 0},   {NumOfBitsToNumOfWords, 1, 0, 1},  {NumOfBitsToNumOfDWords, 0, 32, 1},
        {NumOfBitsToNumOfDWords, 31, 2, 2}, {NumOfBitsToNumOfBytes, 0, 8, 1},  {NumOfBitsToNumOfBytes, 7, 2, 2},
        {NumOfBitsToNumOfBytes, 0, 0xFFFFFFFFu, 0x20000000u},
    };
    for (const auto &row : bitRows)
        EXPECT_EQ(row.count(row.start, row.n), row.expected) << row.start << " + " << row.n;

    const struct { unsigned int (*count)(unsigned int); unsigned int n, expected; } byteRows[] = {
        {NumOfBytesToNumOfWords, 0, 0},      {NumOfBytesToNumOfWords, 2, 1},     {NumOfBytesToNumOfWords, 3, 2},
        {NumOfBytesToNumOfDWords, 4, 1},     {NumOfBytesToNumOfDWords, 5, 2},    {NumOfBytesToNumOfQuadWords, 8, 1},
        {NumOfBytesToNumOfQuadWords, 9, 2},  {NumOfBytesToNumOfWords, 0xFFFFFFFFu, 0x80000000u},
    };
    for (const auto &row : byteRows)
        EXPECT_EQ(row.count(row.n), row.expected) << row.n;
}
