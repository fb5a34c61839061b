// Simple checksums over a byte run and the CRC-16 of a whole buffer.
// A length below 1 (or no data at all) gives 0.

#include "lib_crc.h"
#include "tools.h"

namespace {

bool hasBytes(const unsigned char *data, int length)
{
    return data != nullptr && length > 0;
}

unsigned int byteSum(const unsigned char *data, int length)
{
    unsigned int sum = 0;
    for (int i = 0; i < length; ++i)
        sum += data[i];
    return sum;
}

} // namespace

unsigned char UInt8CheckSum(const unsigned char *data, int length)
{
    if (!hasBytes(data, length))
        return 0;
    return (unsigned char)(byteSum(data, length) & 0xFF);
}

unsigned short UShortCheckSum(const unsigned char *data, int length)
{
    if (!hasBytes(data, length))
        return 0;
    return (unsigned short)(byteSum(data, length) & 0xFFFF);
}

unsigned char XorUInt8CheckSum(const unsigned char *data, int length)
{
    if (!hasBytes(data, length))
        return 0;
    unsigned char x = 0;
    for (int i = 0; i < length; ++i)
        x ^= data[i];
    return x;
}

unsigned short CRC16Calculate(const unsigned char *data, int length)
{
    // CRC-16/ARC: initial value 0, no final step.
    if (!hasBytes(data, length))
        return 0;
    unsigned short crc = 0;
    for (int i = 0; i < length; ++i)
        crc = update_crc_16(crc, data[i]);
    return crc;
}
