// Byte order between wire registers and the runtime's buffers, and the
// counting helpers that size them.

#include <gtest/gtest.h>

#include "support/frames.h"
#include "tools/tools.h"

TEST(ByteOrder, FromBigEndian)
{
    const struct
    {
        const char *wire;
        int count;
        bool longs;
        const char *host;
    } rows[] = {
        {"12 34 AB CD", 2, false, "34 12 CD AB"},
        {"12 34 AB CD", 1, false, "34 12"}, // only count values are taken
        {"12 34", 0, false, ""},
        {"12 34", -1, false, ""},
        {"12 34 56 78", 1, true, "78 56 34 12"},
        {"12 34 56 78 9A BC DE F0", 2, true, "78 56 34 12 F0 DE BC 9A"},
        {"12 34 56 78", 0, true, ""},
        {"12 34 56 78", -3, true, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.wire);
        const QByteArray wire = hex(row.wire);
        const QByteArray host = row.longs ? fromBigEndianULongArray(wire.constData(), row.count)
                                          : fromBigEndianUShortArray(wire.constData(), row.count);
        EXPECT_EQ(toHex(host), toHex(hex(row.host)));
    }
}

TEST(ByteOrder, ToBigEndian)
{
    const struct
    {
        const char *host;
        bool longs;
        const char *wire;
    } rows[] = {
        {"", false, ""},
        {"01", false, "00 01"},
        {"01 02", false, "02 01"},
        {"01 02 03", false, "02 01 00 03"},
        {"", true, ""},
        {"01", true, "00 00 00 01"},
        {"01 02 03 04", true, "04 03 02 01"},
        {"01 02 03 04 05", true, "04 03 02 01 00 00 00 05"},
        {"01 02 03 04 05 06 07", true, "04 03 02 01 00 07 06 05"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.host);
        const QByteArray host = hex(row.host);
        const QByteArray before(host);
        const QByteArray wire = row.longs ? toBigEndianULongArray(host) : toBigEndianUShortArray(host);
        EXPECT_EQ(toHex(wire), toHex(hex(row.wire)));
        EXPECT_EQ(host, before) << "the argument stays as it was";
    }
}

TEST(ByteOrder, InPlaceSwaps)
{
    QByteArray shorts = hex("01 02 03 04");
    toLittleEndianUShortArray(shorts);
    EXPECT_EQ(toHex(shorts), QStringLiteral("02 01 04 03"));

    QByteArray longs = hex("01 02 03 04 05 06 07 08");
    toLittleEndianULongArray(longs);
    EXPECT_EQ(toHex(longs), QStringLiteral("04 03 02 01 08 07 06 05"));

    // A copy sharing the data is not changed with it.
    QByteArray original = hex("0A 0B");
    const QByteArray shared = original;
    toLittleEndianUShortArray(original);
    EXPECT_EQ(toHex(shared), QStringLiteral("0A 0B"));

    QByteArray empty;
    toLittleEndianUShortArray(empty);
    toLittleEndianULongArray(empty);
    EXPECT_TRUE(empty.isEmpty());
}

TEST(ByteOrder, RoundTripsBothWordOrders)
{
    QByteArray host;
    for (int i = 0; i < 40; ++i)
        host.append(char(i * 37 + 5));
    const QByteArray shortWire = toBigEndianUShortArray(host);
    EXPECT_EQ(fromBigEndianUShortArray(shortWire.constData(), shortWire.size() / 2), host);
    const QByteArray longWire = toBigEndianULongArray(host);
    EXPECT_EQ(fromBigEndianULongArray(longWire.constData(), longWire.size() / 4), host);
}

TEST(ByteOrder, AppendBigEndianUShort)
{
    QByteArray frame = hex("AA");
    appendBigEndianUShort(frame, 0x1234);
    appendBigEndianUShort(frame, 0);
    appendBigEndianUShort(frame, 0xFFFF);
    EXPECT_EQ(toHex(frame), QStringLiteral("AA 12 34 00 00 FF FF"));
}

TEST(ByteOrder, Counting)
{
    const struct
    {
        const char *name;
        unsigned int (*count)(unsigned int, unsigned int);
        unsigned int start, n, expected;
    } bitRows[] = {
        {"words 15+2", NumOfBitsToNumOfWords, 15, 2, 2},
        {"words 0+16", NumOfBitsToNumOfWords, 0, 16, 1},
        {"words 0+17", NumOfBitsToNumOfWords, 0, 17, 2},
        {"words 0+0", NumOfBitsToNumOfWords, 0, 0, 0},
        {"words 1+0", NumOfBitsToNumOfWords, 1, 0, 1},
        {"dwords 0+32", NumOfBitsToNumOfDWords, 0, 32, 1},
        {"dwords 31+2", NumOfBitsToNumOfDWords, 31, 2, 2},
        {"bytes 0+8", NumOfBitsToNumOfBytes, 0, 8, 1},
        {"bytes 0+9", NumOfBitsToNumOfBytes, 0, 9, 2},
        {"bytes 7+1", NumOfBitsToNumOfBytes, 7, 1, 1},
        {"bytes 0+max", NumOfBitsToNumOfBytes, 0, 0xFFFFFFFFu, 0x20000000u},
    };
    for (const auto &row : bitRows)
        EXPECT_EQ(row.count(row.start, row.n), row.expected) << row.name;

    const struct
    {
        const char *name;
        unsigned int (*count)(unsigned int);
        unsigned int n, expected;
    } byteRows[] = {
        {"words 0", NumOfBytesToNumOfWords, 0, 0},   {"words 1", NumOfBytesToNumOfWords, 1, 1},
        {"words 2", NumOfBytesToNumOfWords, 2, 1},   {"words 3", NumOfBytesToNumOfWords, 3, 2},
        {"dwords 4", NumOfBytesToNumOfDWords, 4, 1}, {"dwords 5", NumOfBytesToNumOfDWords, 5, 2},
        {"quads 8", NumOfBytesToNumOfQuadWords, 8, 1}, {"quads 9", NumOfBytesToNumOfQuadWords, 9, 2},
        {"words max", NumOfBytesToNumOfWords, 0xFFFFFFFFu, 0x80000000u},
    };
    for (const auto &row : byteRows)
        EXPECT_EQ(row.count(row.n), row.expected) << row.name;
}
