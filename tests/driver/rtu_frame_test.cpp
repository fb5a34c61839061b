// The frame layer: the table-driven CRC against known values and the
// bit-by-bit CRC of the test support, the request builders byte for byte,
// and the CRC test of replies.

#include <gtest/gtest.h>

#include "driver/rtu_frame.h"
#include "support/frames.h"

#include <cstring>
#include <random>

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

} // namespace

TEST(RtuCrc, KnownValuesAndWireOrder)
{
    EXPECT_EQ(tableCrc(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(tableCrc(QByteArray()), 0xFFFF);
    EXPECT_EQ(toHex(ModbusRTUSlaveBuildReadDevicesRequest(1, 3, 0, 1)),
              QStringLiteral("01 03 00 00 00 01 84 0A"));
}

TEST(RtuCrc, EveryTableEntryAgreesWithTheBitwiseCrc)
{
    // From FF FF the one-byte frames visit every entry of both tables; the
    // known values above prove how the entries combine over longer frames.
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(tableCrc(QByteArray(1, char(b))), bitwiseCrc16(QByteArray(1, char(b)))) << b;
}

TEST(RtuCrc, AgreesWithTheBitwiseCrcAtEveryLengthAndAlignment)
{
    // Eight bytes go through the slice tables at a time and the rest byte by
    // byte: every split of a frame between the two, on every alignment.
    std::mt19937 random(7);
    QByteArray buffer(8 + 300, '\0');
    for (char &byte : buffer)
        byte = char(random());
    for (int offset = 0; offset < 8; ++offset) {
        for (int length = 0; length <= 300; ++length) {
            const QByteArray frame = QByteArray::fromRawData(buffer.constData() + offset, length);
            ASSERT_EQ(tableCrc(frame), bitwiseCrc16(frame)) << "length " << length << " offset " << offset;
        }
    }
}

namespace {

// A multiple-write request built in place, as the register writes build it.
QByteArray writeRequestInPlace(unsigned char station, unsigned char function, unsigned short address,
                               unsigned short quantity, const QByteArray &data)
{
    RtuRequest request;
    FrameWriter out =
        ModbusRTUSlaveMultipleWriteHead(request, station, function, address, quantity, data.size());
    out.putBytes(data.constData(), data.size());
    request.length = out.putCrc();
    return QByteArray(request.bytes, request.length);
}

QByteArray single(unsigned char station, unsigned char function, unsigned short address,
                  const QByteArray &value)
{
    const RtuRequest request = ModbusRTUSlaveSingleWriteRequest(station, function, address, value);
    return QByteArray(request.bytes, request.length);
}

} // namespace

TEST(RtuRequests, FieldsAtTheirExtremesAndKnownFrames)
{
    const QByteArray data300(300, char(0x5A));
    const QByteArray data255(255, char(0xA5));
    const struct
    {
        QByteArray built;
        QByteArray expected;
    } rows[] = {
        {ModbusRTUSlaveBuildReadDevicesRequest(255, 0x80, 0xFFFF, 0xFFFF), rtu("FF 80 FF FF FF FF")},
        {single(1, 5, 16, hex("FF 00")), hex("01 05 00 10 FF 00 8D FF")},
        // The byte count keeps the low 8 bits of the data length.
        {ModbusRTUSlaveBuildFn16Request(3, 0x1234, 150, data300),
         withCrc(hex("03 10 12 34 00 96 2C") + data300)},
        {writeRequestInPlace(1, 15, 16, 10, hex("CD 01")), hex("01 0F 00 10 00 0A 02 CD 01 72 F8")},
        // In place the request holds as many bytes as the byte count can say.
        {writeRequestInPlace(0xF7, 16, 0xFFFF, 0xFFFF, data255),
         withCrc(hex("F7 10 FF FF FF FF FF") + data255)},
        {writeRequestInPlace(1, 16, 0, 0, QByteArray()), withCrc(hex("01 10 00 00 00 00 00"))},
    };
    for (const auto &row : rows)
        EXPECT_EQ(toHex(row.built), toHex(row.expected));
}

TEST(RtuCheckCrc, AcceptsCorrectFramesOnly)
{
    const QByteArray frame = rtu("01 03 04 00 0A 00 0B");
    EXPECT_TRUE(checkCrc(frame));
    for (int bit = 0; bit < 8 * frame.size(); ++bit) {
        QByteArray damaged(frame);
        damaged[bit / 8] = char(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        ASSERT_FALSE(checkCrc(damaged)) << "bit " << bit;
    }
    // Two bytes are the CRC of nothing; fewer hold no CRC at all.
    EXPECT_TRUE(checkCrc(hex("FF FF")));
    EXPECT_FALSE(checkCrc(hex("FF FE")));
    EXPECT_FALSE(checkCrc(hex("FE FF")));
    unsigned char bytes[2] = {0xFF, 0xFF};
    EXPECT_FALSE(ModbusRTUSlaveCheckCRC(bytes, 1));
    EXPECT_FALSE(ModbusRTUSlaveCheckCRC(bytes, 0));
}
