// Bit arrays (bit i is bit i mod 8 of byte i div 8) and request sizing.

#include <gtest/gtest.h>

#include <random>

#include "support/frames.h"
#include "tools/tools.h"

namespace {

QByteArray randomBytes(std::mt19937 &random, int length)
{
    QByteArray bytes(length, '\0');
    for (char &byte : bytes)
        byte = char(random());
    return bytes;
}

// Reference: bit i of the array, read without the library.
bool bitAt(const QByteArray &bytes, int i) { return ((unsigned char)bytes.at(i / 8) >> (i % 8)) & 1; }

struct BitsRow { const char *before; int n; const char *after; };

// Applies f(bits, n) to each row; a copy sharing the bytes must not change.
void expectRows(void (*f)(QByteArray &, int), std::initializer_list<BitsRow> rows)
{
    for (const BitsRow &row : rows) {
        QByteArray bits = hex(row.before);
        const QByteArray shared = bits;
        f(bits, row.n);
        EXPECT_EQ(toHex(bits), toHex(hex(row.after))) << row.before << ", n = " << row.n;
        EXPECT_EQ(shared, hex(row.before)) << row.before << ", n = " << row.n;
    }
}

} // namespace

TEST(BitArray, SingleBits)
{
    const QByteArray bits = hex("05 80");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(getBit(bits, i), i == 0 || i == 2 || i == 15) << i;
    expectRows([](QByteArray &b, int i) { setBit(b, i, true); },
               {{"00 00 00", 0, "01 00 00"}, {"00 00 00", 9, "00 02 00"}, {"00 00 00", 23, "00 00 80"}});
    expectRows([](QByteArray &b, int i) { setBit(b, i, false); },
               {{"FF FF FF", 0, "FE FF FF"}, {"FF FF FF", 12, "FF EF FF"}, {"FF FF FF", 23, "FF FF 7F"}});
    EXPECT_EQ(setBit((unsigned char)0x00, 7), 0x80);
    EXPECT_EQ(clearBit((unsigned char)0xFF, 0), 0xFE);
    EXPECT_TRUE(getBit((unsigned char)0x80, 7));
    EXPECT_EQ(setBit((unsigned short)0x0001, 15), 0x8001);
    EXPECT_EQ(clearBit((unsigned short)0xFFFF, 15), 0x7FFF);
    EXPECT_TRUE(getBit((unsigned short)0x8000, 15));
    EXPECT_EQ(setBit(0u, 31), 0x80000000u);
    EXPECT_EQ(clearBit(0xFFFFFFFFu, 31), 0x7FFFFFFFu);
    EXPECT_FALSE(getBit(0x7FFFFFFFu, 31));
}

TEST(BitArray, FitAndClearUnnecessaryBits)
{
    const std::pair<int, int> sizes[] = {{0, 0}, {1, 1}, {8, 1}, {9, 2}, {17, 3}, {2008, 251}};
    for (const auto &[n, size] : sizes) {
        QByteArray bits = hex("01 02 03");
        FitBitArray(bits, n);
        ASSERT_EQ(bits.size(), size) << n;
        EXPECT_EQ(bits.left(3), hex("01 02 03").left(size)) << n;
    }
    expectRows(clearUnnecessaryBits, {
        {"FF FF", 10, "FF 03"}, {"FF FF", 16, "FF FF"}, {"FF FF", 1, "01 FF"}, {"FF FF", 7, "7F FF"},
        {"FF FF", 15, "FF 7F"}, {"AA 55", 12, "AA 05"}, {"", 0, ""}, {"", 3, ""},
        {"FF", 9, "FF"}, // the byte to clear lies beyond the array
    });
}

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
            const bool expected = i >= start && i < start + count ? bitAt(src, i - start) : bitAt(before, i);
            ASSERT_EQ(bitAt(dst, i), expected) << start << "+" << count << ": bit " << i;
        }
    }
}

TEST(BitArray, RightShiftNBits)
{
    expectRows(RightShiftNBits, {
        {"21 43", 4, "32 04"}, {"21 43 65", 12, "54 06 21"}, // whole bytes moved out go to the end
        {"21 43 65", 16, "65 21 43"}, {"80 00", 15, "00 80"}, {"21 43", 0, "21 43"}, {"12 34", -1, "12 34"},
        {"FF FF", 16, "00 00"}, {"FF FF", 17, "00 00"}, {"FF FF", 100, "00 00"}, {"", 3, ""},
    });
    std::mt19937 random(5);
    for (int round = 0; round < 1000; ++round) {
        const int length = 1 + int(random() % 12);
        const QByteArray before = randomBytes(random, length);
        const int n = int(random() % unsigned(8 * length));
        QByteArray bits = before;
        RightShiftNBits(bits, n);
        ASSERT_EQ(bits.size(), length);
        const int k = n / 8;
        // The kept part: bit i is bit i + n of the original, zeros above.
        for (int i = 0; i < 8 * (length - k); ++i)
            ASSERT_EQ(bitAt(bits, i), i + n < 8 * length && bitAt(before, i + n)) << n << " " << i;
        EXPECT_EQ(bits.right(k), before.left(k)) << "n " << n;
    }
}

TEST(RequestSize, GetSafeDataLenAndToSafeData)
{
    const struct { int type; int count; int bytes; } rows[] = {
        {0, 9, 2}, {0, 8, 1}, {0, 0, 0}, {6, 9, 2}, {6, 16, 2}, {1, 5, 5}, {5, 5, 5}, {2, 3, 6}, {3, 3, 12},
        {4, 3, 24}, {7, 3, 0}, {-1, 3, 0},
        {0, -1, 0x20000000},               // the count is taken as unsigned
        {2, 0x40000000, int(0x80000000u)}, // wraps like the unsigned product
    };
    for (const auto &row : rows)
        EXPECT_EQ(GetSafeDataLen(CommunicatorCommand(row.type, row.count, "HR1")), row.bytes) << row.type << row.count;

    const struct { int type; int count; const char *data; const char *safe; } fits[] = {
        {3, 1, "01 02", "01 02 00 00"}, {3, 1, "01 02 03 04", "01 02 03 04"}, {3, 1, "01 02 03 04 05", "01 02 03 04"},
        {0, 9, "FF FF FF", "FF FF"}, {0, 3, "", "00"}, {7, 4, "01 02", ""}, {1, -5, "01 02", ""},
    };
    for (const auto &row : fits) {
        const CommunicatorCommand command(row.type, row.count, "HR1");
        EXPECT_EQ(toHex(ToSafeData(command, hex(row.data))), toHex(hex(row.safe))) << row.type << row.data;
    }
}
