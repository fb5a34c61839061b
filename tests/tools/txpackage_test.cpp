// The sectioned transmit buffer: appending fields and trailers, finding
// sections again, size references and the section list as a whole.

#include "tools_test.h"

#include <climits>

#include "tools/txpackage.h"

TEST(TxPackage, FieldsTrailersSectionsSizeReferencesAndTheFcs)
{
    TxPackage package;
    package.appendByte(0x01);
    package.appendWord(0xFF02);
    package.appendLRCByte();        // the sum of the bytes before it, 0x102, modulo 256
    package.appendLRCAscii();       // the sum 0x104 as text
    package.appendFCSAscii(12345);  // the exclusive or of the bytes before it as text; the argument is unused
    package.appendByte2Ascii(0x0A); // two digits, upper case
    package.appendDWord(0x04030201u);
    package.appendString(QStringLiteral("AB"));
    package.appendString(QString()); // even an empty field is a section
    EXPECT_EQ(package.byteArrayData(), hex("01 02 FF 02 30 34 46 41 30 41 01 02 03 04 41 42"));
    const QList<int> sizes = {1, 2, 1, 2, 2, 2, 4, 2, 0};
    ASSERT_EQ(package.numberOfSections(), sizes.size());
    for (int s = 0, start = 0; s < sizes.size(); start += sizes[s++])
        EXPECT_EQ(std::make_tuple(package.sectionStartIndex(s), package.sectionSize(s), package.dataAt(s)),
                  std::make_tuple(start, sizes[s], package.byteArrayData().mid(start, sizes[s]))) << s;
    for (const int s : {-1, 9, INT_MIN, INT_MAX})
        EXPECT_EQ(std::make_tuple(package.validSectionNumber(s), package.sectionStartIndex(s), package.sectionSize(s),
                                  package.dataAt(s)), std::make_tuple(false, -1, 0, QByteArray())) << s;
    package.clearAll();
    EXPECT_EQ(std::make_pair(package.totalSize(), package.numberOfSections()), std::make_pair(0, 0));

    // setSectionSize: what was there stays, new bytes are zero, a negative
    // sum empties the data and absurd sums stop at the buffer limit.
    const struct { const char *before; QList<int> sizes; int after; } resizes[] = {
        {"AA", {2, 3}, 5}, {"00 11 22 33 44 55 66 77", {2, 3}, 5}, {"00 11", {}, 0}, {"00 11", {4, -6}, 0},
        {"00 11", {INT_MAX, INT_MAX}, 1 << 24}};
    for (const auto &row : resizes) {
        TxPackage package;
        package.setData(hex(row.before));
        package.setSectionSize(row.sizes);
        const QByteArray kept = hex(row.before).left(row.after);
        EXPECT_EQ(std::make_pair(package.numberOfSections(), package.byteArrayData()),
                  std::make_pair(row.sizes.size(), kept + QByteArray(row.after - kept.size(), '\0'))) << row.before;
    }
    // An entry -k takes the size from the four bytes at the start of an
    // earlier plain section k. Size 0: the referenced section lacks its
    // bytes, names itself, a later section, a section of two bytes, another
    // reference; the data is cut at its end.
    const struct { QList<int> sizes; const char *data; int section; int size; const char *at; } references[] = {
        {{2, 4, -1}, "AABB 03000000 102030 FF", 2, 3, "102030"}, {{4, 4, -1}, "05000000 02000000 AABBCC", 2, 2, "AABB"},
        {{4, 4, -1}, "05000000 0200", 2, 0, ""}, {{4, -1}, "08000000 08000000", 1, 0, ""},
        {{-1, 4}, "08000000 08000000", 0, 0, ""}, {{4, 2, -1}, "08000000 0800 08000000", 2, 0, ""},
        {{4, 4, -1, -2}, "08000000 08000000 08000000", 3, 0, ""}, {{4, INT_MIN}, "08000000 08000000", 1, 0, ""},
        {{1, 4}, "01", 1, 4, ""}, {{1, 4}, "010203", 1, 4, "0203"},
        // A plain size 0 is no reference to section 0; a negative number read gives no data.
        {{4, 0}, "05000000 AABB", 1, 0, ""}, {{2, 4, -1}, "AABB FFFFFFFF CC", 2, -1, ""}};
    for (const auto &row : references) {
        TxPackage package;
        package.setSectionSize(row.sizes);
        package.setData(hex(row.data));
        EXPECT_EQ(std::make_pair(package.sectionSize(row.section), package.dataAt(row.section)),
                  std::make_pair(row.size, hex(row.at))) << row.data;
    }
    // The FCS of all but the last n bytes.
    package.setData(hex("01 02 04 08"));
    for (const auto &[n, fcs] : {std::pair{0, 0x0F}, {1, 0x07}, {3, 0x01}, {4, 0}, {10, 0}, {-1, 0x0F}})
        EXPECT_EQ(TxPackage::calculateFCS(&package, n), fcs) << n;
    EXPECT_EQ(TxPackage::calculateFCS(nullptr, 0), 0);
}
