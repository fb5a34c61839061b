// The three simple checksums and the CRC-16 of a whole buffer.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const unsigned char Abc[] = {0x61, 0x62, 0x63};
const unsigned char Digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Checksums, OverAbc)
{
    EXPECT_EQ(UInt8CheckSum(Abc, 3), 0x26);
    EXPECT_EQ(UShortCheckSum(Abc, 3), 0x0126);
    EXPECT_EQ(XorUInt8CheckSum(Abc, 3), 0x60);
}

TEST(Checksums, LengthBounds)
{
    for (const int length : {0, -1, -1000}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(UInt8CheckSum(Abc, length), 0);
        EXPECT_EQ(UShortCheckSum(Abc, length), 0);
        EXPECT_EQ(XorUInt8CheckSum(Abc, length), 0);
        EXPECT_EQ(CRC16Calculate(Abc, length), 0);
    }
    EXPECT_EQ(UInt8CheckSum(nullptr, 3), 0);
    EXPECT_EQ(UShortCheckSum(nullptr, 3), 0);
    EXPECT_EQ(XorUInt8CheckSum(nullptr, 3), 0);
    EXPECT_EQ(CRC16Calculate(nullptr, 3), 0);
    // Only the given length is read.
    EXPECT_EQ(UInt8CheckSum(Abc, 1), 0x61);
    EXPECT_EQ(XorUInt8CheckSum(Abc, 2), 0x03);
}

TEST(Checksums, SumsWrapAtTheirWidth)
{
    // 300 bytes of 0xFF sum to 76500 = 0x12AD4.
    const std::vector<unsigned char> data(300, 0xFF);
    EXPECT_EQ(UInt8CheckSum(data.data(), int(data.size())), 0xD4);
    EXPECT_EQ(UShortCheckSum(data.data(), int(data.size())), 0x2AD4);
    EXPECT_EQ(XorUInt8CheckSum(data.data(), int(data.size())), 0x00);
    EXPECT_EQ(XorUInt8CheckSum(data.data(), 299), 0xFF);
}

TEST(Crc16Calculate, ArcCheckValueAndResidue)
{
    EXPECT_EQ(CRC16Calculate(Digits, 9), 0xBB3D);
    // The CRC appended low byte first makes the CRC of the whole zero.
    std::vector<unsigned char> framed(Digits, Digits + 9);
    framed.push_back(0x3D);
    framed.push_back(0xBB);
    EXPECT_EQ(CRC16Calculate(framed.data(), int(framed.size())), 0);
    // A prefix is the CRC of the prefix alone.
    EXPECT_EQ(CRC16Calculate(Digits, 1), CRC16Calculate(framed.data(), 1));
    EXPECT_NE(CRC16Calculate(Digits, 8), CRC16Calculate(Digits, 9));
}

} // namespace
