// The sectioned transmit buffer: appending fields and trailers, finding
// sections again, size references and the section list as a whole.

#include "tools/txpackage.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

TEST(TxPackageAppend, FieldsAndTheirSections)
{
    TxPackage package;
    EXPECT_TRUE(package.appendByte(0x01));
    EXPECT_TRUE(package.appendWord(0x0203));
    EXPECT_TRUE(package.appendString(QStringLiteral("AB")));
    EXPECT_EQ(package.byteArrayData(), hex("0103024142"));
    EXPECT_EQ(package.totalSize(), 5);
    ASSERT_EQ(package.numberOfSections(), 3);
    const int sizes[] = {1, 2, 2};
    const int starts[] = {0, 1, 3};
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(package.sectionSize(s), sizes[s]) << s;
        EXPECT_EQ(package.sectionStartIndex(s), starts[s]) << s;
    }
    EXPECT_EQ(package.dataAt(1), hex("0302"));
    EXPECT_EQ(package.dataAt(2), QByteArray("AB"));
}

TEST(TxPackageAppend, EachKindOfField)
{
    struct Row { const char *name; bool (*append)(TxPackage &); const char *bytes; };
    const Row rows[] = {
        {"dword", [](TxPackage &p) { return p.appendDWord(0x04030201u); }, "01020304"},
        {"word max", [](TxPackage &p) { return p.appendWord(0xFFFF); }, "ffff"},
        {"section", [](TxPackage &p) { return p.appendSection(hex("0a0b0c")); }, "0a0b0c"},
        {"empty section", [](TxPackage &p) { return p.appendSection(QByteArray()); }, ""},
        {"empty string", [](TxPackage &p) { return p.appendString(QString()); }, ""},
        {"byte as text 0x0A", [](TxPackage &p) { return p.appendByte2Ascii(0x0A); }, "3041"},
        {"byte as text 0x00", [](TxPackage &p) { return p.appendByte2Ascii(0x00); }, "3030"},
        {"byte as text 0xFF", [](TxPackage &p) { return p.appendByte2Ascii(0xFF); }, "4646"},
        {"sum of nothing", [](TxPackage &p) { return p.appendLRCByte(); }, "00"},
        {"sum text of nothing", [](TxPackage &p) { return p.appendLRCAscii(); }, "3030"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TxPackage package;
        EXPECT_TRUE(row.append(package));
        EXPECT_EQ(package.byteArrayData(), hex(row.bytes));
        ASSERT_EQ(package.numberOfSections(), 1); // even an empty field is a section
        EXPECT_EQ(package.sectionSize(0), hex(row.bytes).size());
    }
}

TEST(TxPackageAppend, Trailers)
{
    TxPackage package;
    package.setData(hex("0102ff"));
    package.appendLRCByte(); // 0x102 modulo 256
    EXPECT_EQ(package.byteArrayData(), hex("0102ff02"));

    package.setData(hex("0102"));
    package.appendLRCAscii();
    EXPECT_EQ(package.byteArrayData(), QByteArray("\x01\x02" "03"));

    package.setData(hex("0103"));
    package.appendFCSAscii(12345); // the argument has no effect
    EXPECT_EQ(package.byteArrayData(), QByteArray("\x01\x03" "02"));

    package.setData(hex("a5b4"));
    package.appendFCSAscii(0);
    EXPECT_EQ(package.byteArrayData().mid(2), QByteArray("11"));
}

TEST(TxPackageSections, NumbersOutsideTheList)
{
    TxPackage package;
    EXPECT_EQ(package.sectionStartIndex(0), -1);
    EXPECT_FALSE(package.validSectionNumber(0));
    package.appendByte(7);
    package.appendByte(8);
    for (const int section : {-1, 2, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(section);
        EXPECT_FALSE(package.validSectionNumber(section));
        EXPECT_EQ(package.sectionStartIndex(section), -1);
        EXPECT_EQ(package.sectionSize(section), 0);
        EXPECT_TRUE(package.dataAt(section).isEmpty());
    }
    EXPECT_TRUE(package.validSectionNumber(0));
    EXPECT_TRUE(package.validSectionNumber(1));
}

TEST(TxPackageSections, SetSectionSizeResizesTheData)
{
    struct Row { const char *before; QList<int> sizes; int after; };
    const Row rows[] = {
        {"", {2, 3}, 5},
        {"00112233445566778899", {2, 3}, 5},
        {"0011", {}, 0},
        {"0011", {4, -6}, 0}, // a negative sum empties the data
        {"0011", {INT_MAX, INT_MAX}, 1 << 24}, // absurd sums stop at the buffer limit
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.before);
        TxPackage package;
        package.setData(hex(row.before));
        package.setSectionSize(row.sizes);
        EXPECT_EQ(package.totalSize(), row.after);
        EXPECT_EQ(package.numberOfSections(), row.sizes.size());
        // What was there stays; new bytes are zero.
        const QByteArray before = hex(row.before);
        const QByteArray data = package.byteArrayData();
        EXPECT_EQ(data.left(before.size()), before.left(row.after));
        if (row.after > before.size()) {
            EXPECT_EQ(data.mid(before.size()).count('\0'), row.after - before.size());
        }
    }
}

TEST(TxPackageSections, SizeTakenFromAnEarlierSection)
{
    TxPackage package;
    package.setSectionSize({2, 4, -1});
    package.setData(hex("aabb" "03000000" "102030" "ff"));
    EXPECT_EQ(package.sectionSize(2), 3);
    EXPECT_EQ(package.sectionStartIndex(2), 6);
    EXPECT_EQ(package.dataAt(2), hex("102030"));
}

TEST(TxPackageSections, UnusableSizeReferencesGiveZero)
{
    struct Row { const char *name; QList<int> sizes; int section; };
    const Row rows[] = {
        {"names itself", {4, -1}, 1},
        {"names a later section", {-1, 4}, 0},
        {"names a section of two bytes", {4, 2, -1}, 2},
        {"names another reference", {4, 4, -1, -2}, 3},
        {"most negative entry", {4, INT_MIN}, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TxPackage package;
        package.setSectionSize(row.sizes);
        package.setData(hex("08000000" "08000000" "08000000" "08000000"));
        EXPECT_EQ(package.sectionSize(row.section), 0);
        EXPECT_TRUE(package.dataAt(row.section).isEmpty());
    }
    // The referenced section must really hold four bytes of data.
    TxPackage package;
    package.setSectionSize({4, 4, -1});
    package.setData(hex("05000000" "0200"));
    EXPECT_EQ(package.sectionSize(2), 0);
    package.setData(hex("05000000" "02000000" "aabbccddeeff"));
    EXPECT_EQ(package.sectionSize(2), 2);
    EXPECT_EQ(package.dataAt(2), hex("aabb"));
}

TEST(TxPackageSections, DataAtIsCutAtTheEnd)
{
    TxPackage package;
    package.setSectionSize({1, 4});
    package.setData(hex("010203"));
    EXPECT_EQ(package.dataAt(1), hex("0203"));
    package.setData(hex("01"));
    EXPECT_TRUE(package.dataAt(1).isEmpty());
}

TEST(TxPackageData, SetDataKeepsSectionsClearAllDropsBoth)
{
    TxPackage package;
    package.appendWord(1);
    char raw[] = {'x', 'y', 'z'};
    EXPECT_TRUE(package.setData(raw, 3));
    EXPECT_EQ(package.byteArrayData(), QByteArray("xyz"));
    EXPECT_EQ(package.numberOfSections(), 1);
    EXPECT_TRUE(package.setData(raw, 0));
    EXPECT_EQ(package.totalSize(), 0);
    EXPECT_TRUE(package.setData(nullptr, 5));
    EXPECT_EQ(package.totalSize(), 0);
    package.appendByte(1);
    package.clearAll();
    EXPECT_EQ(package.totalSize(), 0);
    EXPECT_EQ(package.numberOfSections(), 0);
}

TEST(TxPackageData, DataPointerIsWritableAndUnshared)
{
    TxPackage package;
    package.appendSection(hex("0102"));
    const QByteArray copy = package.byteArrayData();
    package.data()[0] = char(0x7F);
    EXPECT_EQ(package.byteArrayData(), hex("7f02"));
    EXPECT_EQ(copy, hex("0102"));
}

TEST(TxPackageData, ArrayToInt)
{
    const TxPackage package;
    struct Row { const char *bytes; int value; };
    const Row rows[] = {
        {"", 0},
        {"01", 1},
        {"0102", 0x0201}, // missing high bytes count as zero
        {"01020304", 0x04030201},
        {"0102030405", 0x04030201},
        {"ffffffff", -1},
    };
    for (const Row &row : rows)
        EXPECT_EQ(package.arrayToInt(hex(row.bytes)), row.value) << row.bytes;
}

TEST(TxPackageData, CalculateFcsLeavesOutTheLastBytes)
{
    TxPackage package;
    package.setData(hex("01020408"));
    struct Row { int n; int fcs; };
    const Row rows[] = {{0, 0x0F}, {1, 0x07}, {3, 0x01}, {4, 0}, {10, 0}, {-1, 0x0F}};
    for (const Row &row : rows)
        EXPECT_EQ(TxPackage::calculateFCS(&package, row.n), row.fcs) << row.n;
    EXPECT_EQ(TxPackage::calculateFCS(nullptr, 0), 0);
}

TEST(TxPackageData, TextDump)
{
    TxPackage package;
    EXPECT_EQ(package.toString(), QStringLiteral("() : "));
    package.setData(hex("41004a"));
    EXPECT_EQ(package.toString(), QStringLiteral("(0X41 0X0 0X4a ) : A"));
}

} // namespace
