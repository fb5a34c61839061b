#include "rtu_frame.h"
#include "crc_fold.h"

#include "../tools/tools.h"

#include <cstring>

namespace {

// Lookup tables of the table-driven CRC-16 of Modbus over serial line:
// the value for the high-order CRC register and for the low-order one.
constexpr unsigned char auchCRCHi[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
};

constexpr unsigned char auchCRCLo[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2,
    0xC6, 0x06, 0x07, 0xC7, 0x05, 0xC5, 0xC4, 0x04,
    0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E,
    0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8,
    0xD8, 0x18, 0x19, 0xD9, 0x1B, 0xDB, 0xDA, 0x1A,
    0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6,
    0xD2, 0x12, 0x13, 0xD3, 0x11, 0xD1, 0xD0, 0x10,
    0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32,
    0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4,
    0x3C, 0xFC, 0xFD, 0x3D, 0xFF, 0x3F, 0x3E, 0xFE,
    0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA,
    0xEE, 0x2E, 0x2F, 0xEF, 0x2D, 0xED, 0xEC, 0x2C,
    0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26,
    0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0,
    0xA0, 0x60, 0x61, 0xA1, 0x63, 0xA3, 0xA2, 0x62,
    0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE,
    0xAA, 0x6A, 0x6B, 0xAB, 0x69, 0xA9, 0xA8, 0x68,
    0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA,
    0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C,
    0xB4, 0x74, 0x75, 0xB5, 0x77, 0xB7, 0xB6, 0x76,
    0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92,
    0x96, 0x56, 0x57, 0x97, 0x55, 0x95, 0x94, 0x54,
    0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E,
    0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98,
    0x88, 0x48, 0x49, 0x89, 0x4B, 0x8B, 0x8A, 0x4A,
    0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86,
    0x82, 0x42, 0x43, 0x83, 0x41, 0x81, 0x80, 0x40,
};

// The two registers of the table method held as one 16-bit value, the high
// register in its low-order byte (the order on the wire). One step of the
// method is then value = (value >> 8) ^ Byte[(value ^ b) & 0xFF] with
// Byte[i] = auchCRCHi[i] | auchCRCLo[i] << 8, and Slice[k][i] is the effect
// of i followed by k zero bytes, so that eight bytes can be folded in with
// eight independent lookups instead of a chain of eight dependent steps.
// The tables are derived from the two above when compiling.
struct CrcSlices
{
    unsigned short slice[8][256];
};

constexpr CrcSlices makeCrcSlices()
{
    CrcSlices tables{};
    for (int i = 0; i < 256; ++i)
        tables.slice[0][i] = (unsigned short)(auchCRCHi[i] | (auchCRCLo[i] << 8));
    for (int k = 1; k < 8; ++k) {
        for (int i = 0; i < 256; ++i) {
            const unsigned short previous = tables.slice[k - 1][i];
            tables.slice[k][i] = (unsigned short)((previous >> 8) ^ tables.slice[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr CrcSlices Crc = makeCrcSlices();

// Frames from this length on are folded; shorter ones, requests and
// acknowledgements, are quicker with the tables.
const unsigned short FoldFromLength = 32;

// The first six bytes of read and multiple-write requests: station,
// function, start address, quantity, both big-endian.
void putRequestHead(unsigned char *bytes, unsigned char station, unsigned char function,
                    unsigned short address, unsigned short quantity)
{
    bytes[0] = station;
    bytes[1] = function;
    bytes[2] = (unsigned char)(address >> 8);
    bytes[3] = (unsigned char)(address & 0xFF);
    bytes[4] = (unsigned char)(quantity >> 8);
    bytes[5] = (unsigned char)(quantity & 0xFF);
}

// Function 15 and 16 requests: the request head, then the byte count (the
// low 8 bits of dataLength); the data follow at MultipleWriteHeaderLength.
void putMultipleWriteHead(unsigned char *bytes, unsigned char station, unsigned char function,
                          unsigned short address, unsigned short quantity, int dataLength)
{
    putRequestHead(bytes, station, function, address, quantity);
    bytes[6] = (unsigned char)(dataLength & 0xFF);
}

const int CrcLength = 2;

// The CRC of the length bytes of frame, written right after them.
void putCrc(unsigned char *frame, int length)
{
    const unsigned short crc = ModbusRTUSlaveCRC16(frame, (unsigned short)length);
    frame[length] = (unsigned char)(crc & 0xFF);
    frame[length + 1] = (unsigned char)(crc >> 8);
}

} // namespace

unsigned short ModbusRTUSlaveCRC16(const unsigned char *data, unsigned short length)
{
    // high = 0xFF and low = 0xFF to start with.
    unsigned int value = 0xFFFF;
    // Long frames (replies and write requests run to 256 bytes) are folded
    // without tables where the processor can.
    if (length >= FoldFromLength && ModbusCrcFoldAvailable())
        return ModbusCrcFold(data, length, (unsigned short)value);
    // Eight bytes at a time, then the rest byte by byte.
    while (length >= 8) {
        const unsigned int first = value ^ (data[0] | (unsigned int)(data[1]) << 8);
        value = Crc.slice[7][first & 0xFF] ^ Crc.slice[6][first >> 8] ^ Crc.slice[5][data[2]]
                ^ Crc.slice[4][data[3]] ^ Crc.slice[3][data[4]] ^ Crc.slice[2][data[5]]
                ^ Crc.slice[1][data[6]] ^ Crc.slice[0][data[7]];
        data += 8;
        length = (unsigned short)(length - 8);
    }
    // The rest byte by byte: index = high ^ b; high = low ^ auchCRCHi[index];
    // low = auchCRCLo[index].
    while (length--)
        value = (value >> 8) ^ Crc.slice[0][(value ^ *data++) & 0xFF];
    // The high register goes first on the wire: it is the low-order byte.
    return (unsigned short)value;
}

void ModbusRTUSlaveAppendCRC(QByteArray &frame)
{
    const unsigned short crc = ModbusRTUSlaveCRC16(
        reinterpret_cast<const unsigned char *>(frame.constData()), (unsigned short)frame.size());
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

RtuReadRequest ModbusRTUSlaveReadRequestFrame(unsigned char station, unsigned char function,
                                              unsigned short address, unsigned short quantity)
{
    RtuReadRequest frame;
    unsigned char *bytes = reinterpret_cast<unsigned char *>(frame.bytes);
    putRequestHead(bytes, station, function, address, quantity);
    putCrc(bytes, RtuReadRequest::Length - CrcLength);
    return frame;
}

QByteArray ModbusRTUSlaveBuildReadDevicesRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, unsigned short quantity)
{
    const RtuReadRequest frame = ModbusRTUSlaveReadRequestFrame(station, function, address, quantity);
    return QByteArray(frame.bytes, RtuReadRequest::Length);
}

QByteArray ModbusRTUSlaveBuildSingleWriteRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, const QByteArray &value)
{
    QByteArray frame;
    frame.reserve(6 + value.size());
    frame.append(char(station));
    frame.append(char(function));
    appendBigEndianUShort(frame, address);
    frame.append(value);
    ModbusRTUSlaveAppendCRC(frame);
    return frame;
}

void ModbusRTUSlaveMultipleWriteFrame(RtuWriteRequest &frame, unsigned char station,
                                      unsigned char function, unsigned short address,
                                      unsigned short quantity, int dataLength)
{
    Q_ASSERT(dataLength >= 0 && dataLength <= RtuWriteRequest::MaxDataLength);
    putMultipleWriteHead(reinterpret_cast<unsigned char *>(frame.bytes), station, function, address,
                         quantity, dataLength);
    frame.length = MultipleWriteHeaderLength + dataLength + CrcLength;
}

void ModbusRTUSlaveSealFrame(RtuWriteRequest &frame)
{
    putCrc(reinterpret_cast<unsigned char *>(frame.bytes), frame.length - CrcLength);
}

QByteArray ModbusRTUSlaveBuildMultipleWriteRequest(unsigned char station, unsigned char function,
                                                   unsigned short address, unsigned short quantity,
                                                   const QByteArray &data)
{
    QByteArray frame(MultipleWriteHeaderLength + data.size() + CrcLength, Qt::Uninitialized);
    unsigned char *bytes = reinterpret_cast<unsigned char *>(frame.data());
    putMultipleWriteHead(bytes, station, function, address, quantity, data.size());
    memcpy(bytes + MultipleWriteHeaderLength, data.constData(), size_t(data.size()));
    putCrc(bytes, frame.size() - CrcLength);
    return frame;
}

QByteArray ModbusRTUSlaveBuildFn16Request(unsigned char station, unsigned short address,
                                          unsigned short count, const QByteArray &data)
{
    return ModbusRTUSlaveBuildMultipleWriteRequest(station, FnWriteMultipleRegisters, address, count,
                                                   data);
}

bool ModbusRTUSlaveCheckCRC(unsigned char *frame, unsigned int length)
{
    if (length < 2)
        return false;
    // Over zero bytes the CRC is its initial value, FF FF on the wire.
    const unsigned short crc =
        length == 2 ? 0xFFFF : ModbusRTUSlaveCRC16(frame, (unsigned short)(length - 2));
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}
