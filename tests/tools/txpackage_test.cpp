// The sectioned transmit buffer: appending fields and trailers, finding
// sections again, size references and the section list as a whole.

#include "tools/txpackage.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// Blanks are skipped like any other non-digit.
QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

TEST(TxPackage, FieldsAndTheirSections)
{
    TxPackage package;
    EXPECT_TRUE(package.appendByte(0x01));
    EXPECT_TRUE(package.appendWord(0x0203));
    EXPECT_TRUE(package.appendString(QStringLiteral("AB")));
    EXPECT_EQ(package.byteArrayData(), hex("0103024142"));
    EXPECT_EQ(package.totalSize(), 5);
    ASSERT_EQ(package.numberOfSections(), 3);
    const int sizes[] = {1, 2, 2}, starts[] = {0, 1, 3};
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(package.sectionSize(s), sizes[s]) << s;
        EXPECT_EQ(package.sectionStartIndex(s), starts[s]) << s;
    }
    EXPECT_EQ(package.dataAt(1), hex("0302"));
    for (const int section : {-1, 3, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(package.validSectionNumber(section)) << section;
        EXPECT_EQ(package.sectionStartIndex(section), -1) << section;
        EXPECT_EQ(package.sectionSize(section), 0) << section;
        EXPECT_TRUE(package.dataAt(section).isEmpty()) << section;
    }
    EXPECT_EQ(TxPackage().sectionStartIndex(0), -1);
}

TEST(TxPackage, EachKindOfFieldAndTrailer)
{
    // Sums and their text cover the bytes before them.
    const struct { const char *before; bool (*append)(TxPackage &); const char *added; } rows[] = {
        {"", [](TxPackage &p) { return p.appendDWord(0x04030201u); }, "01020304"},
        {"", [](TxPackage &p) { return p.appendString(QString()); }, ""},
        {"", [](TxPackage &p) { return p.appendByte2Ascii(0x0A); }, "3041"},
        {"", [](TxPackage &p) { return p.appendByte2Ascii(0xFF); }, "4646"},
        {"", [](TxPackage &p) { return p.appendLRCAscii(); }, "3030"},
        {"0102ff", [](TxPackage &p) { return p.appendLRCByte(); }, "02"}, // 0x102 modulo 256
        {"0102", [](TxPackage &p) { return p.appendLRCAscii(); }, "3033"},
        {"0103", [](TxPackage &p) { return p.appendFCSAscii(12345); }, "3032"}, // argument unused
        {"a5b4", [](TxPackage &p) { return p.appendFCSAscii(0); }, "3131"},
    };
    for (const auto &row : rows) {
        TxPackage package;
        package.setData(hex(row.before));
        EXPECT_TRUE(row.append(package));
        EXPECT_EQ(package.byteArrayData(), hex(row.before) + hex(row.added)) << row.before << row.added;
        ASSERT_EQ(package.numberOfSections(), 1) << "even an empty field is a section";
        EXPECT_EQ(package.sectionSize(0), hex(row.added).size()) << row.added;
    }
}

TEST(TxPackage, SetSectionSizeResizesTheData)
{
    // A negative sum empties the data; absurd sums stop at the buffer limit.
    const struct { const char *before; QList<int> sizes; int after; } rows[] = {
        {"", {2, 3}, 5}, {"00112233445566778899", {2, 3}, 5}, {"0011", {}, 0}, {"0011", {4, -6}, 0},
        {"0011", {INT_MAX, INT_MAX}, 1 << 24},
    };
    for (const auto &row : rows) {
        TxPackage package;
        package.setData(hex(row.before));
        package.setSectionSize(row.sizes);
        EXPECT_EQ(package.numberOfSections(), row.sizes.size());
        // What was there stays; new bytes are zero.
        const QByteArray before = hex(row.before).left(row.after);
        EXPECT_EQ(package.byteArrayData(), before + QByteArray(row.after - before.size(), '\0')) << row.before;
    }
}

TEST(TxPackage, SizeReferencesAndDataAt)
{
    // An entry -k takes the size from the four bytes at the start of section k.
    const struct { QList<int> sizes; const char *data; int section; int size; const char *at; } rows[] = {
        {{2, 4, -1}, "aabb 03000000 102030 ff", 2, 3, "102030"},
        {{4, 4, -1}, "05000000 02000000 aabbccddeeff", 2, 2, "aabb"},
        {{4, 4, -1}, "05000000 0200", 2, 0, ""}, // the referenced section lacks its bytes
        {{4, -1}, "08000000 08000000", 1, 0, ""},   // names itself
        {{-1, 4}, "08000000 08000000", 0, 0, ""},   // names a later section
        {{4, 2, -1}, "08000000 0800 08000000", 2, 0, ""}, // a section of two bytes
        {{4, 4, -1, -2}, "08000000 08000000 08000000", 3, 0, ""}, // another reference
        {{4, INT_MIN}, "08000000 08000000", 1, 0, ""},
        {{1, 4}, "010203", 1, 4, "0203"}, // cut at the end of the data
        {{1, 4}, "01", 1, 4, ""},
    };
    for (const auto &row : rows) {
        TxPackage package;
        package.setSectionSize(row.sizes);
        package.setData(hex(row.data));
        EXPECT_EQ(package.sectionSize(row.section), row.size) << row.data;
        EXPECT_EQ(package.dataAt(row.section), hex(row.at)) << row.data;
    }
}

TEST(TxPackage, SetDataClearAllAndTheDataPointer)
{
    TxPackage package;
    package.appendWord(1);
    char raw[] = {'x', 'y', 'z'};
    EXPECT_TRUE(package.setData(raw, 3));
    EXPECT_EQ(package.byteArrayData(), QByteArray("xyz"));
    EXPECT_EQ(package.numberOfSections(), 1) << "setData keeps the sections";
    EXPECT_TRUE(package.setData(raw, 0));
    EXPECT_EQ(package.totalSize(), 0);
    EXPECT_TRUE(package.setData(nullptr, 5));
    EXPECT_EQ(package.totalSize(), 0);
    package.appendSection(hex("0102"));
    const QByteArray copy = package.byteArrayData();
    package.data()[0] = char(0x7F);
    EXPECT_EQ(package.byteArrayData(), hex("7f02"));
    EXPECT_EQ(copy, hex("0102"));
    package.clearAll();
    EXPECT_EQ(package.totalSize(), 0);
    EXPECT_EQ(package.numberOfSections(), 0);
}

TEST(TxPackage, CalculateFcsLeavesOutTheLastBytes)
{
    TxPackage package;
    package.setData(hex("01020408"));
    const std::pair<int, int> rows[] = {{0, 0x0F}, {1, 0x07}, {3, 0x01}, {4, 0}, {10, 0}, {-1, 0x0F}};
    for (const auto &[n, fcs] : rows)
        EXPECT_EQ(TxPackage::calculateFCS(&package, n), fcs) << n;
    EXPECT_EQ(TxPackage::calculateFCS(nullptr, 0), 0);
}

} // namespace
