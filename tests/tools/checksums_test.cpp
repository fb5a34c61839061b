// The simple checksums, the CRC-16s of a whole buffer (CRC-16/ARC and the
// Modbus CRC) and the byte-at-a-time CRC updates.

#include "tools_test.h"


#include "tools/lib_crc.h"
#include "tools/modbus_crc.h"

static const unsigned char *bytes(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

// The update applied to the bytes of the check text "123456789", from the initial value.
template <typename Crc, typename Update>
static Crc overCheckText(Crc crc, Update update)
{
    for (const char *p = "123456789"; *p; ++p)
        crc = update(crc, (unsigned char)*p);
    return crc;
}

TEST(Checksums, SumsAndCrcsAtTheirCheckValuesAndBounds)
{
    // The sum 0x126 in 8 and 16 bits; only the given length is read.
    const unsigned char *abc = bytes("abc");
    EXPECT_EQ(std::make_tuple(UInt8CheckSum(abc, 3), UShortCheckSum(abc, 3), XorUInt8CheckSum(abc, 3),
                              XorUInt8CheckSum(abc, 2), UShortCheckSum(abc, 2)),
              std::make_tuple(0x26, 0x0126, 0x60, 0x03, 0xC3));
    for (const auto &[data, length] : {std::pair{abc, 0}, {abc, -1}, {nullptr, 3}})
        EXPECT_EQ(std::make_tuple(UInt8CheckSum(data, length), UShortCheckSum(data, length),
                                  XorUInt8CheckSum(data, length), CRC16Calculate(data, length)),
                  std::make_tuple(0, 0, 0, 0)) << length;
    // CRC-16/ARC: the CRC appended low byte first makes the CRC of the whole zero.
    EXPECT_EQ(CRC16Calculate(bytes("123456789"), 9), 0xBB3D);
    EXPECT_EQ(CRC16Calculate(bytes("123456789\x3D\xBB"), 11), 0);

    // The Modbus CRC at lengths on both sides of every multiple of the eight bytes folded at once.
    QByteArray data(300, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * i * 37 + i * 11 + 5);
    for (int length = 0; length <= data.size(); ++length)
        ASSERT_EQ(ModbusCrc16(bytes(data.constData()), length), bitwiseCrc16(data.constData(), length)) << length;
    // Every byte value alone, so that every entry of the tables is met.
    for (int value = 0; value < 256; ++value) {
        const char byte = char(value);
        ASSERT_EQ(ModbusCrc16(bytes(&byte), 1), bitwiseCrc16(&byte, 1)) << value;
    }

    // The byte-at-a-time updates: published check values.
    EXPECT_EQ(overCheckText<unsigned short>(0, update_crc_16), 0xBB3D);             // CRC-16/ARC
    EXPECT_EQ(overCheckText<unsigned short>(0xFFFF, update_crc_16), 0x4B37);        // CRC-16/MODBUS
    EXPECT_EQ(overCheckText<unsigned short>(0, update_crc_ccitt), 0x31C3);          // CRC-16/XMODEM
    EXPECT_EQ(overCheckText<unsigned short>(0xFFFF, update_crc_ccitt), 0x29B1);     // CRC-16/IBM-3740
    EXPECT_EQ(overCheckText<unsigned short>(0x1D0F, update_crc_ccitt), 0xE5CC);     // CRC-16/SPI-FUJITSU
    EXPECT_EQ(overCheckText<unsigned short>(0, update_crc_kermit), 0x2189);         // CRC-16/KERMIT
    EXPECT_EQ(overCheckText<unsigned short>(0, update_crc_dnp) ^ 0xFFFF, 0xEA82);   // CRC-16/DNP
    EXPECT_EQ(overCheckText<unsigned int>(~0u, update_crc_32) ^ ~0u, 0xCBF43926u); // CRC-32/ISO-HDLC
    // The sick variant also takes the byte before the current one.
    const unsigned char *text = bytes("123456789");
    unsigned short sick = 0;
    for (int i = 0; i < 9; ++i)
        sick = update_crc_sick(sick, text[i], i ? text[i - 1] : 0);
    EXPECT_EQ(sick, 0xA656);
}
