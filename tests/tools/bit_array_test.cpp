// Bit arrays (bit i is bit i mod 8 of byte i div 8) and request sizing.

#include <gtest/gtest.h>

#include <random>

#include "support/frames.h"
#include "tools/tools.h"

namespace {

QByteArray randomBytes(std::mt19937 &random, int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(random() & 0xFF));
    return bytes;
}

// Reference: bit i of the array, read without the library.
bool bitAt(const QByteArray &bytes, int i)
{
    return ((unsigned char)bytes.at(i / 8) >> (i % 8)) & 1;
}

} // namespace

// ---- Single bits ------------------------------------------------------------------------

TEST(BitArray, GetBitReadsLeastSignificantFirst)
{
    const QByteArray bits = hex("05 80");
    const bool expected[16] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(getBit(bits, i), expected[i]) << i;
        EXPECT_EQ(getBit(reinterpret_cast<const unsigned char *>(bits.constData()), i), expected[i]) << i;
    }
}

TEST(BitArray, SetBitChangesOneBitOnly)
{
    for (int i = 0; i < 24; ++i) {
        for (bool on : {true, false}) {
            QByteArray bits = on ? hex("00 00 00") : hex("FF FF FF");
            const QByteArray shared = bits;
            setBit(bits, i, on);
            for (int j = 0; j < 24; ++j)
                ASSERT_EQ(bitAt(bits, j), j == i ? on : !on) << i << " " << j;
            EXPECT_EQ(shared, on ? hex("00 00 00") : hex("FF FF FF")) << "detached before writing";

            unsigned char raw[3] = {0x5A, 0x5A, 0x5A};
            setBit(raw, i, on);
            EXPECT_EQ(bool((raw[i / 8] >> (i % 8)) & 1), on);
            setBit(raw, i, bool((0x5A >> (i % 8)) & 1));
            EXPECT_EQ(raw[i / 8], 0x5A) << "setting the old value back restores the byte";
        }
    }
}

TEST(BitArray, ScalarForms)
{
    EXPECT_EQ(setBit((unsigned char)0x00, 7), 0x80);
    EXPECT_EQ(clearBit((unsigned char)0xFF, 0), 0xFE);
    EXPECT_TRUE(getBit((unsigned char)0x80, 7));
    EXPECT_FALSE(getBit((unsigned char)0x7F, 7));
    EXPECT_EQ(setBit((unsigned short)0x0001, 15), 0x8001);
    EXPECT_EQ(clearBit((unsigned short)0xFFFF, 15), 0x7FFF);
    EXPECT_TRUE(getBit((unsigned short)0x8000, 15));
    EXPECT_EQ(setBit(0u, 31), 0x80000000u);
    EXPECT_EQ(clearBit(0xFFFFFFFFu, 31), 0x7FFFFFFFu);
    EXPECT_TRUE(getBit(0x80000000u, 31));
    EXPECT_FALSE(getBit(0x7FFFFFFFu, 31));
}

// ---- Sizing and clearing --------------------------------------------------------------------

TEST(BitArray, FitBitArray)
{
    const struct
    {
        int n;
        int size;
    } rows[] = {{0, 0}, {1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}, {2008, 251}};
    for (const auto &row : rows) {
        QByteArray bits = hex("01 02 03");
        FitBitArray(bits, row.n);
        ASSERT_EQ(bits.size(), row.size) << row.n;
        EXPECT_EQ(bits.left(3), hex("01 02 03").left(row.size)) << "kept bytes unchanged";
    }
}

TEST(BitArray, ClearUnnecessaryBits)
{
    const struct
    {
        const char *before;
        int n;
        const char *after;
    } rows[] = {
        {"FF FF", 10, "FF 03"}, {"FF FF", 16, "FF FF"}, {"FF FF", 8, "FF FF"},
        {"FF FF", 1, "01 FF"},  {"FF FF", 7, "7F FF"},  {"FF FF", 15, "FF 7F"},
        {"AA 55", 12, "AA 05"}, {"FF", 0, "FF"},        {"", 0, ""},
        {"FF", 8, "FF"},        // nothing to clear, nothing touched
        {"FF", 9, "FF"},        // the byte to clear lies beyond the array
        {"", 3, ""},
    };
    for (const auto &row : rows) {
        QByteArray bits = hex(row.before);
        clearUnnecessaryBits(bits, row.n);
        EXPECT_EQ(toHex(bits), toHex(hex(row.after))) << row.before << " n=" << row.n;
    }
}

// ---- Copying and shifting ----------------------------------------------------------------------

TEST(BitArray, CopyBitsAgainstReference)
{
    std::mt19937 random(11);
    for (int round = 0; round < 500; ++round) {
        QByteArray dst = randomBytes(random, 6);
        QByteArray src = randomBytes(random, 6);
        const int start = int(random() % 24);
        const int count = int(random() % 25);
        const QByteArray before = dst;
        CopyBits(dst, src, start, count);
        for (int i = 0; i < 48; ++i) {
            const bool expected = (i >= start && i < start + count) ? bitAt(src, i - start) : bitAt(before, i);
            ASSERT_EQ(bitAt(dst, i), expected) << "start " << start << " count " << count << " bit " << i;
        }
    }
}

TEST(BitArray, CopyBitsKnownValue)
{
    QByteArray dst = hex("00 00");
    QByteArray src = hex("0B"); // bits 1 1 0 1
    CopyBits(dst, src, 6, 4);
    EXPECT_EQ(toHex(dst), QStringLiteral("C0 02"));
}

TEST(BitArray, RotateArray)
{
    unsigned char bytes[] = {1, 2, 3, 4, 5};
    RotateArray(bytes, 2, 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(bytes), 5), hex("03 04 05 01 02"));
    RotateArray(bytes, 0, 5);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(bytes), 5), hex("03 04 05 01 02"));
    RotateArray(bytes, 5, 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(bytes), 5), hex("03 04 05 01 02"));
}

TEST(BitArray, RightShiftNBitsKnownValues)
{
    const struct
    {
        const char *before;
        int n;
        const char *after;
    } rows[] = {
        {"21 43", 4, "32 04"},
        {"21 43 65", 12, "54 06 21"}, // the byte moved out stays at the end
        {"21 43", 0, "21 43"},
        {"21 43 65", 8, "43 65 21"},
        {"21 43 65", 16, "65 21 43"},
        {"FF", 7, "01"},
        {"80 00", 15, "00 80"},
    };
    for (const auto &row : rows) {
        QByteArray bits = hex(row.before);
        RightShiftNBits(bits, row.n);
        EXPECT_EQ(toHex(bits), toHex(hex(row.after))) << row.before << " >> " << row.n;
    }
}

TEST(BitArray, RightShiftNBitsAgainstReference)
{
    std::mt19937 random(5);
    for (int round = 0; round < 1000; ++round) {
        const int length = 1 + int(random() % 12);
        const QByteArray before = randomBytes(random, length);
        const int n = int(random() % unsigned(8 * length));
        QByteArray bits = before;
        const QByteArray shared = bits;
        RightShiftNBits(bits, n);
        ASSERT_EQ(bits.size(), length);
        ASSERT_EQ(shared, before) << "detached before shifting";
        const int k = n / 8;
        // The kept part: bit i is bit i + n of the original, zeros above.
        for (int i = 0; i < 8 * (length - k); ++i) {
            const bool expected = i + n < 8 * length && bitAt(before, i + n);
            ASSERT_EQ(bitAt(bits, i), expected) << "n " << n << " bit " << i;
        }
        // The tail: the whole bytes moved out, in their order.
        EXPECT_EQ(bits.right(k), before.left(k)) << "n " << n;
    }
}

TEST(BitArray, RightShiftNBitsOutsideItsRangeStaysInside)
{
    // A shift by the whole array or more leaves no bit of it: all zeros.
    for (int n : {16, 17, 100}) {
        QByteArray bits = hex("FF FF");
        RightShiftNBits(bits, n);
        EXPECT_EQ(toHex(bits), QStringLiteral("00 00")) << n;
    }
    QByteArray empty;
    RightShiftNBits(empty, 3);
    EXPECT_TRUE(empty.isEmpty());
    QByteArray unchanged = hex("12 34");
    RightShiftNBits(unchanged, -1);
    EXPECT_EQ(toHex(unchanged), QStringLiteral("12 34"));
}

TEST(BitArray, BitsInsideRegisters)
{
    // Two registers 0x8000 and 0x0001 as read from the wire; bits 15 and 16.
    const QByteArray wire = hex("80 00 00 01");
    QByteArray bits = fromBigEndianUShortArray(wire.constData(), 2);
    RightShiftNBits(bits, 15);
    FitBitArray(bits, 2);
    clearUnnecessaryBits(bits, 2);
    EXPECT_EQ(toHex(bits), QStringLiteral("03"));
}

// ---- Request sizing --------------------------------------------------------------------------

TEST(RequestSize, GetSafeDataLen)
{
    const struct
    {
        int type;
        int count;
        int bytes;
    } rows[] = {
        {0, 9, 2},     {0, 8, 1},     {0, 0, 0},  {0, 1, 1},   {6, 9, 2},     {6, 16, 2},
        {1, 5, 5},     {5, 5, 5},     {1, 0, 0},  {2, 3, 6},   {3, 3, 12},    {4, 3, 24},
        {7, 3, 0},     {-1, 3, 0},    {100, 3, 0},
        {0, -1, 0x20000000}, // the bit count is taken as unsigned
        {2, 0x40000000, int(0x80000000u)}, // wraps like the unsigned product, no overflow trap
    };
    for (const auto &row : rows) {
        const CommunicatorCommand command(row.type, row.count, QStringLiteral("HR1"));
        EXPECT_EQ(GetSafeDataLen(command), row.bytes) << "type " << row.type << " count " << row.count;
    }
}

TEST(RequestSize, ToSafeData)
{
    const struct
    {
        int type;
        int count;
        const char *data;
        const char *safe;
    } rows[] = {
        {3, 1, "01 02", "01 02 00 00"},
        {3, 1, "01 02 03 04", "01 02 03 04"},
        {3, 1, "01 02 03 04 05", "01 02 03 04"},
        {2, 2, "", "00 00 00 00"},
        {0, 9, "FF FF FF", "FF FF"},
        {0, 3, "", "00"},
        {1, 0, "01 02", ""},
        {7, 4, "01 02", ""},
        {1, -5, "01 02", ""},
    };
    for (const auto &row : rows) {
        const CommunicatorCommand command(row.type, row.count, QStringLiteral("HR1"));
        EXPECT_EQ(toHex(ToSafeData(command, hex(row.data))), toHex(hex(row.safe)))
            << "type " << row.type << " count " << row.count << " data " << row.data;
    }
}
