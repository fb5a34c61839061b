// The three simple checksums and the CRC-16 of a whole buffer.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(Checksums, CheckValuesWidthsAndBounds)
{
    const unsigned char abc[] = {0x61, 0x62, 0x63};
    EXPECT_EQ(UInt8CheckSum(abc, 3), 0x26);
    EXPECT_EQ(UShortCheckSum(abc, 3), 0x0126);
    EXPECT_EQ(XorUInt8CheckSum(abc, 3), 0x60);
    EXPECT_EQ(XorUInt8CheckSum(abc, 2), 0x03); // only the given length is read
    const std::vector<unsigned char> ff(300, 0xFF); // sums to 0x12AD4
    EXPECT_EQ(UInt8CheckSum(ff.data(), 300), 0xD4);
    EXPECT_EQ(UShortCheckSum(ff.data(), 300), 0x2AD4);
    EXPECT_EQ(XorUInt8CheckSum(ff.data(), 299), 0xFF);

    const std::pair<const unsigned char *, int> empty[] = {{abc, 0}, {abc, -1}, {nullptr, 3}};
    for (const auto &[data, length] : empty) {
        EXPECT_EQ(UInt8CheckSum(data, length), 0) << length;
        EXPECT_EQ(UShortCheckSum(data, length), 0) << length;
        EXPECT_EQ(XorUInt8CheckSum(data, length), 0) << length;
        EXPECT_EQ(CRC16Calculate(data, length), 0) << length;
    }
}

TEST(Checksums, Crc16CheckValueAndResidue)
{
    // The CRC appended low byte first makes the CRC of the whole zero.
    const unsigned char framed[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x3D, 0xBB};
    EXPECT_EQ(CRC16Calculate(framed, 9), 0xBB3D);
    EXPECT_EQ(CRC16Calculate(framed, 11), 0);
}
