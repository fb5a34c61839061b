// Byte order between wire registers and the runtime's buffers, and the
// counting helpers that size them.

#include "tools_test.h"

TEST(ByteOrder, BothWaysIntoArraysBuffersAndInPlace)
{
    // Runtime bytes and their wire form. Registers go eight bytes at a time,
    // then pair by pair; a partial last group is padded with zeros.
    const struct { const char *host; bool longs; const char *wire; } rows[] = {
        {"", false, ""}, {"01", false, "00 01"}, {"01020304", false, "02 01 04 03"}, {"010203", false, "02 01 00 03"},
        {"01 02 03 04 05 06 07 08 09 0A 0B", false, "02 01 04 03 06 05 08 07 0A 09 00 0B"},
        {"01 02 03 04 05 06 07 08 09 0A", false, "02 01 04 03 06 05 08 07 0A 09"}, {"", true, ""},
        {"01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12", false,
         "02 01 04 03 06 05 08 07 0A 09 0C 0B 0E 0D 10 0F 12 11"},
        {"01", true, "00 00 00 01"}, {"01 02 03 04 05 06 07", true, "04 03 02 01 00 07 06 05"},
        {"01 02 03 04 05 06 07 08", true, "04 03 02 01 08 07 06 05"}};
    for (const auto &row : rows) {
        const QByteArray host = hex(row.host), wire = hex(row.wire);
        const int width = row.longs ? 4 : 2, count = host.size() / width;
        EXPECT_EQ((row.longs ? toBigEndianULongArray : toBigEndianUShortArray)(host), wire) << row.host;
        // A buffer of the length given for it gets the same bytes.
        QByteArray out((row.longs ? bigEndianULongArrayLength : bigEndianUShortArrayLength)(host), char(0xEE));
        (row.longs ? writeBigEndianULongArray : writeBigEndianUShortArray)(host, out.data());
        EXPECT_EQ(out, wire) << row.host;
        if (host.size() % width != 0)
            continue;
        // Whole groups: the way back, into a buffer not one byte more, and the
        // swap in place, which leaves copies sharing the data alone.
        QByteArray back(host.size() + 1, char(0xEE)), swapped = host;
        (row.longs ? copyFromBigEndianULongArray : copyFromBigEndianUShortArray)(wire.constData(), count, back.data());
        (row.longs ? toLittleEndianULongArray : toLittleEndianUShortArray)(swapped);
        const auto array = row.longs ? fromBigEndianULongArray : fromBigEndianUShortArray;
        EXPECT_EQ(std::make_tuple(array(wire.constData(), count), back, swapped, host),
                  std::make_tuple(host, host + char(0xEE), wire, hex(row.host))) << row.host;
    }
    // A count below what the data holds, none and a negative one.
    const char *wire = "\x12\x34\x56\x78";
    QByteArray out(1, char(0xEE));
    copyFromBigEndianUShortArray(wire, -1, out.data());
    copyFromBigEndianULongArray(wire, -3, out.data());
    EXPECT_EQ(fromBigEndianUShortArray(wire, 1) + fromBigEndianULongArray(wire, 0) + fromBigEndianUShortArray(wire, -1)
                  + fromBigEndianULongArray(wire, -3) + out, hex("34 12 EE"));
    QByteArray frame = hex("AA");
    for (unsigned short value : {0x1234, 0, 0xFFFF})
        appendBigEndianUShort(frame, value);
    EXPECT_EQ(frame, hex("AA 12 34 00 00 FF FF"));
}

TEST(ByteOrder, CountingRoundsUp)
{
    const struct { unsigned int (*count)(unsigned int, unsigned int); unsigned int start, n, expected; } bitRows[] = {
        {NumOfBitsToNumOfWords, 15, 2, 2}, {NumOfBitsToNumOfWords, 0, 16, 1}, {NumOfBitsToNumOfWords, 0, 17, 2},
        {NumOfBitsToNumOfWords, 0, 0, 0}, {NumOfBitsToNumOfWords, 1, 0, 1}, {NumOfBitsToNumOfDWords, 0, 32, 1},
        {NumOfBitsToNumOfDWords, 31, 2, 2}, {NumOfBitsToNumOfBytes, 0, 8, 1}, {NumOfBitsToNumOfBytes, 7, 2, 2},
        {NumOfBitsToNumOfBytes, 0, 0xFFFFFFFFu, 0x20000000u}};
    for (const auto &row : bitRows)
        EXPECT_EQ(row.count(row.start, row.n), row.expected) << row.start << " + " << row.n;
    const struct { unsigned int (*count)(unsigned int); unsigned int n, expected; } byteRows[] = {
        {NumOfBytesToNumOfWords, 0, 0}, {NumOfBytesToNumOfWords, 2, 1}, {NumOfBytesToNumOfWords, 3, 2},
        {NumOfBytesToNumOfDWords, 4, 1}, {NumOfBytesToNumOfDWords, 5, 2}, {NumOfBytesToNumOfQuadWords, 8, 1},
        {NumOfBytesToNumOfQuadWords, 9, 2}, {NumOfBytesToNumOfWords, 0xFFFFFFFFu, 0x80000000u}};
    for (const auto &row : byteRows)
        EXPECT_EQ(row.count(row.n), row.expected) << row.n;
}
