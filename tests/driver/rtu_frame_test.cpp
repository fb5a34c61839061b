// The frame layer: the table-driven CRC against the bit-by-bit one of the
// test support, the request builders byte for byte, and the reply CRC test.

#include <gtest/gtest.h>

#include <random>

#include "driver/rtu_frame.h"
#include "support/frames.h"

namespace {

unsigned short tableCrc(const QByteArray &bytes)
{
    return ModbusRTUSlaveCRC16(reinterpret_cast<const unsigned char *>(bytes.constData()),
                               (unsigned short)bytes.size());
}

bool checkCrc(QByteArray frame)
{
    return ModbusRTUSlaveCheckCRC(reinterpret_cast<unsigned char *>(frame.data()),
                                  unsigned(frame.size()));
}

QByteArray randomBytes(std::mt19937 &random, int length)
{
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(byte(random)));
    return bytes;
}

} // namespace

// ---- CRC routine -----------------------------------------------------------------

TEST(RtuCrc, KnownValues)
{
    EXPECT_EQ(tableCrc(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(tableCrc(QByteArray()), 0xFFFF);
    // The low-order byte travels first: 37 4B.
    QByteArray digits("123456789");
    ModbusRTUSlaveAppendCRC(digits);
    EXPECT_EQ(toHex(digits.right(2)), QStringLiteral("37 4B"));
}

TEST(RtuCrc, EveryTableEntryAgreesWithTheBitwiseCrc)
{
    // From the initial FF FF the index of a single byte b is FF ^ b, so the 256
    // one-byte frames visit every entry of both tables once.
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        ASSERT_EQ(tableCrc(one), bitwiseCrc16(one)) << "byte " << b;
    }
    // Two-byte frames reach every entry again from other register values.
    for (int b = 0; b < 256; ++b) {
        QByteArray two;
        two.append(char(b));
        two.append(char(255 - b));
        ASSERT_EQ(tableCrc(two), bitwiseCrc16(two)) << "bytes " << toHex(two).toStdString();
    }
}

TEST(RtuCrc, AgreesWithTheBitwiseCrcOverRandomFrames)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 300);
    for (int i = 0; i < 2000; ++i) {
        const QByteArray frame = randomBytes(random, length(random));
        ASSERT_EQ(tableCrc(frame), bitwiseCrc16(frame)) << toHex(frame).toStdString();
    }
}

// ---- Request builders ---------------------------------------------------------------

TEST(RtuReadRequest, KnownFrame)
{
    EXPECT_EQ(toHex(ModbusRTUSlaveBuildReadDevicesRequest(1, 3, 0, 1)),
              QStringLiteral("01 03 00 00 00 01 84 0A"));
    EXPECT_EQ(toHex(ModbusRTUSlaveBuildReadDevicesRequest(1, 3, 99, 2)),
              QStringLiteral("01 03 00 63 00 02 34 15"));
}

TEST(RtuReadRequest, LayoutForAnyFunctionCode)
{
    const unsigned char functions[] = {0, 1, 2, 3, 4, 0x7F, 0x80, 0xFF};
    for (unsigned char function : functions) {
        const QByteArray frame = ModbusRTUSlaveBuildReadDevicesRequest(0xF7, function, 0x1234, 0x0056);
        ASSERT_EQ(frame.size(), 8) << int(function);
        QByteArray body = hex("F7 00 12 34 00 56");
        body[1] = char(function);
        EXPECT_EQ(frame, withCrc(body)) << int(function);
    }
}

TEST(RtuReadRequest, FieldsAtTheirExtremes)
{
    EXPECT_EQ(ModbusRTUSlaveBuildReadDevicesRequest(0, 1, 0, 0), rtu("00 01 00 00 00 00"));
    EXPECT_EQ(ModbusRTUSlaveBuildReadDevicesRequest(255, 2, 0xFFFF, 0xFFFF), rtu("FF 02 FF FF FF FF"));
}

TEST(RtuFn16Request, Layout)
{
    const QByteArray frame = ModbusRTUSlaveBuildFn16Request(1, 99, 2, hex("AA BB CC DD"));
    ASSERT_EQ(frame.size(), 13);
    EXPECT_EQ(frame.at(6), char(4));
    EXPECT_EQ(frame, rtu("01 10 00 63 00 02 04 AA BB CC DD"));
}

TEST(RtuFn16Request, ByteCountIsTheLowByteOfTheDataLength)
{
    // The builder copies whatever it is given; the byte count keeps 8 bits.
    const QByteArray data(300, char(0x5A));
    const QByteArray frame = ModbusRTUSlaveBuildFn16Request(3, 0x1234, 150, data);
    ASSERT_EQ(frame.size(), 9 + 300);
    EXPECT_EQ(toHex(frame.left(7)), QStringLiteral("03 10 12 34 00 96 2C"));
    EXPECT_EQ(frame.mid(7, 300), data);
    EXPECT_TRUE(checkCrc(frame));

    EXPECT_EQ(ModbusRTUSlaveBuildFn16Request(1, 0, 0, QByteArray()), rtu("01 10 00 00 00 00 00"));
}

TEST(RtuWriteRequests, SingleAndMultiple)
{
    EXPECT_EQ(ModbusRTUSlaveBuildSingleWriteRequest(1, 5, 16, hex("FF 00")), rtu("01 05 00 10 FF 00"));
    EXPECT_EQ(ModbusRTUSlaveBuildSingleWriteRequest(2, 6, 0xABCD, hex("12 34")), rtu("02 06 AB CD 12 34"));
    EXPECT_EQ(ModbusRTUSlaveBuildMultipleWriteRequest(1, 15, 19, 10, hex("CD 01")),
              rtu("01 0F 00 13 00 0A 02 CD 01"));
}

// ---- CRC test of replies ----------------------------------------------------------------

TEST(RtuCheckCrc, AcceptsCorrectFramesOnly)
{
    const QByteArray frame = rtu("01 03 04 00 0A 00 0B");
    EXPECT_TRUE(checkCrc(frame));
    // Any single flipped bit, in the data or in the CRC, is caught.
    for (int bit = 0; bit < 8 * frame.size(); ++bit) {
        QByteArray damaged(frame);
        damaged[bit / 8] = char(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        ASSERT_FALSE(checkCrc(damaged)) << "bit " << bit;
    }
}

TEST(RtuCheckCrc, SwappedCrcBytesFail)
{
    std::mt19937 random(7);
    int swapped = 0;
    int equal = 0;
    for (int i = 0; i < 5000; ++i) {
        QByteArray frame = withCrc(randomBytes(random, 3 + i % 20));
        const int n = frame.size();
        const char low = frame.at(n - 2);
        const char high = frame.at(n - 1);
        frame[n - 2] = high;
        frame[n - 1] = low;
        if (low == high) {
            ASSERT_TRUE(checkCrc(frame)) << "equal CRC bytes swap into themselves";
            ++equal;
        } else {
            ASSERT_FALSE(checkCrc(frame)) << toHex(frame).toStdString();
            ++swapped;
        }
    }
    EXPECT_GT(swapped, 0);
    EXPECT_GT(equal, 0); // about one frame in 256 has equal CRC bytes
}

TEST(RtuCheckCrc, TwoByteBuffers)
{
    EXPECT_TRUE(checkCrc(hex("FF FF")));
    const char *others[] = {"FF FE", "FE FF", "00 00", "7F FF"};
    for (const char *other : others)
        EXPECT_FALSE(checkCrc(hex(other))) << other;
}

TEST(RtuCheckCrc, BuffersTooShortForACrcFail)
{
    unsigned char bytes[2] = {0xFF, 0xFF};
    EXPECT_FALSE(ModbusRTUSlaveCheckCRC(bytes, 0));
    EXPECT_FALSE(ModbusRTUSlaveCheckCRC(bytes, 1));
}

TEST(RtuCheckCrc, ExceptionReplyOfFiveBytes)
{
    EXPECT_TRUE(checkCrc(hex("01 83 02 C0 F1")));
    EXPECT_FALSE(checkCrc(hex("01 83 02 C0 F2")));
}
