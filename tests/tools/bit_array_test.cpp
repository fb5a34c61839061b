// Bit arrays (bit i is bit i mod 8 of byte i div 8) and request sizing.

#include "tools_test.h"

#include <climits>

struct BitsRow { const char *before; int n; const char *after; };

// Applies f(bits, n) to each row; a copy sharing the bytes must not change.
static void expectRows(void (*f)(QByteArray &, int), std::initializer_list<BitsRow> rows)
{
    for (const BitsRow &row : rows) {
        QByteArray bits = hex(row.before);
        const QByteArray shared = bits;
        f(bits, row.n);
        EXPECT_EQ(std::make_pair(bits, shared), std::make_pair(hex(row.after), hex(row.before))) << row.before << row.n;
    }
}

TEST(BitArray, SingleBitsFitClearCopyAndShift)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(getBit(hex("05 80"), i), i == 0 || i == 2 || i == 15) << i;
    expectRows([](QByteArray &b, int i) { setBit(b, i, true); },
               {{"00 00 00", 0, "01 00 00"}, {"00 00 00", 9, "00 02 00"}, {"00 00 00", 23, "00 00 80"}});
    expectRows([](QByteArray &b, int i) { setBit(b, i, false); },
               {{"FF FF FF", 0, "FE FF FF"}, {"FF FF FF", 12, "FF EF FF"}, {"FF FF FF", 23, "FF FF 7F"}});
    // The scalar forms at the top bit of each width: set, clear, get of a set and of a clear bit.
    EXPECT_EQ(std::make_tuple(setBit(uchar(1), 7), setBit(ushort(1), 15), setBit(1u, 31)),
              std::make_tuple(0x81, 0x8001, 0x80000001u));
    EXPECT_EQ(std::make_tuple(clearBit(uchar(0xFF), 7), clearBit(ushort(0xFFFF), 15), clearBit(~0u, 31)),
              std::make_tuple(0x7F, 0x7FFF, 0x7FFFFFFFu));
    EXPECT_EQ(std::make_tuple(getBit(uchar(0x80), 7), getBit(ushort(0x8000), 15), getBit(0x80000000u, 31),
                              getBit(uchar(0x7F), 7), getBit(ushort(0x7FFF), 15), getBit(0x7FFFFFFFu, 31)),
              std::make_tuple(true, true, true, false, false, false));
    // FitBitArray keeps the leading bytes; clearUnnecessaryBits leaves a byte beyond the array alone.
    expectRows(FitBitArray, {{"01 02 03", 0, ""}, {"01 02 03", 1, "01"}, {"01 02 03", 8, "01"},
                             {"01 02 03", 9, "01 02"}, {"01 02 03", 17, "01 02 03"}, {"01 02 03", 24, "01 02 03"}});
    expectRows(clearUnnecessaryBits, {{"FF FF", 10, "FF 03"}, {"FF FF", 16, "FF FF"}, {"FF FF", 1, "01 FF"},
                                      {"FF FF", 7, "7F FF"}, {"FF FF", 15, "FF 7F"}, {"AA 55", 12, "AA 05"},
                                      {"", 0, ""}, {"", 3, ""}, {"FF", 9, "FF"}});
    // Bit start + i of the destination becomes bit i of the source, i < count.
    const struct { const char *dst, *src; int start, count; const char *after; } copies[] = {
        {"00 00 00", "B5", 3, 8, "A8 05 00"}, {"FF FF", "00", 4, 5, "0F FE"}, {"00 00", "FF", 0, 3, "07 00"},
        {"5A", "FF", 2, 0, "5A"}, {"00 00 00", "01 80", 7, 16, "80 00 40"}};
    for (const auto &row : copies) {
        QByteArray dst = hex(row.dst), src = hex(row.src);
        CopyBits(dst, src, row.start, row.count);
        EXPECT_EQ(dst, hex(row.after)) << row.start << "+" << row.count;
    }
    // Whole bytes shifted out come back at the end.
    expectRows(RightShiftNBits, {{"21 43", 4, "32 04"}, {"21 43 65", 12, "54 06 21"}, {"21 43 65", 16, "65 21 43"},
                                 {"80 00", 15, "00 80"}, {"81 C3 E7", 9, "E1 73 81"}, {"21 43", 0, "21 43"},
                                 {"12 34", -1, "12 34"}, {"FF FF", 16, "00 00"}, {"FF FF", 17, "00 00"},
                                 {"FF FF", 100, "00 00"}, {"", 3, ""}});
}

TEST(RequestSize, GetSafeDataLenAndToSafeData)
{
    // The count is taken as unsigned; a product too large wraps like the unsigned one.
    const struct { int type; int count; int bytes; } rows[] = {
        {0, 9, 2}, {0, 8, 1}, {0, 0, 0}, {6, 9, 2}, {6, 16, 2}, {1, 5, 5}, {5, 5, 5}, {2, 3, 6}, {3, 3, 12},
        {4, 3, 24}, {7, 3, 0}, {-1, 3, 0}, {0, -1, 0x20000000}, {2, 0x40000000, int(0x80000000u)}};
    for (const auto &row : rows)
        EXPECT_EQ(GetSafeDataLen(CommunicatorCommand(row.type, row.count)), row.bytes) << row.type << " " << row.count;
    const struct { int type; int count; const char *data; const char *safe; } fits[] = {
        {3, 1, "01 02", "01 02 00 00"}, {3, 1, "01 02 03 04", "01 02 03 04"}, {3, 1, "01 02 03 04 05", "01 02 03 04"},
        {0, 9, "FF FF FF", "FF FF"}, {0, 3, "", "00"}, {7, 4, "01 02", ""}, {1, -5, "01 02", ""}};
    for (const auto &row : fits)
        EXPECT_EQ(ToSafeData(CommunicatorCommand(row.type, row.count), hex(row.data)), hex(row.safe)) << row.data;
    EXPECT_EQ(ToSafeData(CommunicatorCommand(1, INT_MAX), hex("01")).size(), 1 << 20) << "an absurd count pads no further";
}
