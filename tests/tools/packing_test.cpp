// Format-string packing: the layout of every code in all three entry points,
// and the failure cases of each.
//
// Every buffer handed to the packers is a heap block of exactly the size the
// format implies, so that the address sanitizer reports any access past it.

#include "tools_test.h"

#include <cstring>
#include <vector>

namespace {

const unsigned char Untouched = 0xEE;
using Buffer = std::vector<unsigned char>;

QByteArray bytesOf(const void *data, int size) { return QByteArray(static_cast<const char *>(data), size); }

} // namespace

TEST(Packing, FieldsInAllThreeEntryPoints)
{
    // Single fields take the value v, array fields a pointer to the source.
    // Unpacking gives each field's variable or array the source's leading
    // bytes back, and not one byte more.
    const QByteArray source = hex("81 92 A3 B4 C5 D6 E7 F8");
    const unsigned int v = 0xB4A39281u; // the source's first four bytes, little-endian
    const struct { const char *format; const char *buffer; std::vector<int> fields; } rows[] = {
        {"C", "81", {1}}, {"c", "81", {1}}, {"n", "92 81", {2}}, {"v", "81 92", {2}}, {"S", "81 92", {2}},
        {"s", "81 92", {2}}, {"N", "B4 A3 92 81", {4}}, {"V", "81 92 A3 B4", {4}}, {"I", "81 92 A3 B4", {4}},
        {"L", "81 92 A3 B4", {4}}, {"i", "81 92 A3 B4", {4}}, {"l", "81 92 A3 B4", {4}}, {"nC", "92 81 81", {2, 1}},
        {"xX", "00 EE", {}}, {"3C", "81 92 A3", {3}}, {"2c", "81 92", {2}}, {"2v", "81 92 A3 B4", {4}},
        {"2n", "92 81 B4 A3", {4}}, {"1V", "81 92 A3 B4", {4}}, {"2N", "B4 A3 92 81 F8 E7 D6 C5", {8}},
        {"2x", "00 00", {}}, {"3X", "EE EE EE", {}}, {"0x3C", "81 92 A3", {3}},
        {"2C3x1N", "81 92 00 00 00 B4 A3 92 81", {2, 4}}, {"04X2n1c", "EE EE EE EE 92 81 B4 A3 81", {4, 1}}};
    for (const auto &row : rows) {
        const QByteArray expected = hex(row.buffer);
        Buffer buffer(expected.size(), Untouched);
        const bool arrays = std::strpbrk(row.format, "0123456789") != nullptr;
        const char *s = source.constData(), *f = row.format;
        const int packed = arrays ? DataPack(buffer.data(), f, s, s) : DataPack(buffer.data(), f, v, v);
        QByteArray out[2] = {QByteArray(8, '\0'), QByteArray(8, '\0')};
        EXPECT_EQ(std::make_tuple(packed, bytesOf(buffer.data(), expected.size()),
                                  arrays ? ByteArrayPack(f, s, s) : ByteArrayPack(f, v, v),
                                  DataUnpack(buffer.data(), f, out[0].data(), out[1].data())),
                  std::make_tuple(expected.size(), expected, QByteArray(expected).replace(char(Untouched), '\0'),
                                  expected.size())) << f;
        for (size_t k = 0; k < row.fields.size(); ++k)
            EXPECT_EQ(out[k], source.left(row.fields[k]) + QByteArray(8 - row.fields[k], '\0')) << f << k;
    }
}

TEST(Packing, UnpacksEvenValuesIntoVariablesOfTheFieldsWidth)
{
    // A 16-bit field fills its variable and not the one after it.
    unsigned short words[2] = {0, 0xEEEE};
    const QByteArray field = hex("12 34");
    EXPECT_EQ(DataUnpack(reinterpret_cast<const unsigned char *>(field.constData()), "n", &words[0]), 2);
    EXPECT_EQ(words[0], 0x1234);
    EXPECT_EQ(words[1], 0xEEEE);
}

TEST(PackingFailures, EveryEntryPointReportsItsWayAndKeepsWhatCameFirst)
{
    // DataPack's and DataUnpack's results; the byte-array packer gives an
    // empty array. Every format fails before any argument is needed.
    const struct { std::vector<const char *> formats; int pack; int unpack; } groups[] = {
        {{""}, 0, 0},
        {{" ", "A", "a", "y", "z", "~", "/", ":", "\x7f", "\xff"}, 0, -1}, // a character that is no code
        // a count before a code without a counted form, or before the end
        {{"2S", "2s", "2I", "2L", "2i", "2l", "2A", "2 ", "12", "0"}, -1, -1},
        {{"0C", "0c", "0v", "0V", "0n", "0N", "000C"}, -1, -1}, // a counted field of size 0
        // a count whose size does not fit a record, however many digits it
        // has; in the last the skip fits, the byte after it would not
        {{"536870912N", "2147483648C", "99999999999999999999C", "99999999999999999999Q", "2147483647XC"}, -1, -1}};
    for (const auto &group : groups) {
        for (const char *format : group.formats) {
            Buffer buffer(4, Untouched);
            // Braces evaluate left to right: the buffer is read after DataPack.
            EXPECT_EQ((std::tuple{DataPack(buffer.data(), format), bytesOf(buffer.data(), 4), ByteArrayPack(format),
                                  DataUnpack(buffer.data(), format)}),
                      std::make_tuple(group.pack, QByteArray(4, char(Untouched)), QByteArray(), group.unpack))
                << format;
        }
    }
    // Fields before a bad one stay written (pack) or stored (unpack).
    Buffer buffer(2, Untouched);
    unsigned char first = 0, second = 0;
    EXPECT_EQ((std::tuple{DataPack(buffer.data(), "C C", 1, 2), bytesOf(buffer.data(), 2), ByteArrayPack("C C", 1, 2),
                          DataUnpack(buffer.data(), "C C", &first, &second), int(first), int(second)}),
              std::make_tuple(0, hex("01 EE"), QByteArray(), -1, 1, 0));
    // The byte-array packer's limit.
    EXPECT_EQ(ByteArrayPack("16777216x"), QByteArray(1 << 24, '\0'));
    EXPECT_TRUE(ByteArrayPack("16777217x").isEmpty() && ByteArrayPack("16777216xC", 1).isEmpty());
    // No buffer, no format, no array where one is needed.
    EXPECT_EQ(std::make_tuple(DataPack(nullptr, "C", 1), DataPack(buffer.data(), nullptr),
                              DataPack(buffer.data(), "2C", nullptr)), std::make_tuple(-1, 0, -1));
    EXPECT_EQ(std::make_tuple(DataUnpack(nullptr, "C", &first), DataUnpack(buffer.data(), nullptr),
                              DataUnpack(buffer.data(), "2C", nullptr), DataUnpack(buffer.data(), "C", nullptr)),
              std::make_tuple(-1, 0, -1, -1));
    EXPECT_TRUE(ByteArrayPack(nullptr).isEmpty() && ByteArrayPack("2C", nullptr).isEmpty());
}
