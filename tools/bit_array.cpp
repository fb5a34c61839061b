// Bit arrays packed least significant bit first: bit i is bit (i mod 8) of
// byte (i div 8), the packing of Modbus coil and discrete-input data.

#include "tools.h"

#include <algorithm>

bool getBit(const unsigned char *bits, int i)
{
    return (bits[i / 8] >> (i % 8)) & 1;
}

bool getBit(const QByteArray &bits, int i)
{
    return getBit(reinterpret_cast<const unsigned char *>(bits.constData()), i);
}

void setBit(unsigned char *bits, int i, bool on)
{
    const unsigned char mask = (unsigned char)(1u << (i % 8));
    if (on)
        bits[i / 8] |= mask;
    else
        bits[i / 8] &= (unsigned char)~mask;
}

void setBit(QByteArray &bits, int i, bool on)
{
    setBit(reinterpret_cast<unsigned char *>(bits.data()), i, on);
}

unsigned char setBit(unsigned char value, unsigned short n) { return (unsigned char)(value | (1u << n)); }
unsigned short setBit(unsigned short value, unsigned short n) { return (unsigned short)(value | (1u << n)); }
unsigned int setBit(unsigned int value, unsigned short n) { return value | (1u << n); }
unsigned char clearBit(unsigned char value, unsigned short n) { return (unsigned char)(value & ~(1u << n)); }
unsigned short clearBit(unsigned short value, unsigned short n) { return (unsigned short)(value & ~(1u << n)); }
unsigned int clearBit(unsigned int value, unsigned short n) { return value & ~(1u << n); }
bool getBit(unsigned char value, unsigned short n) { return (value >> n) & 1u; }
bool getBit(unsigned short value, unsigned short n) { return (value >> n) & 1u; }
bool getBit(unsigned int value, unsigned short n) { return (value >> n) & 1u; }

void FitBitArray(QByteArray &bits, int n)
{
    bits.resize(int(NumOfBitsToNumOfBytes(0, unsigned(n))));
}

void clearUnnecessaryBits(QByteArray &bits, int n)
{
    if (n % 8 == 0)
        return;
    const int byte = n / 8;
    // An array not yet cut to n bits has no such byte: neither read past its
    // end nor let the assignment grow it.
    if (byte < 0 || byte >= bits.size())
        return;
    bits[byte] = char((unsigned char)bits.at(byte) & ((1u << (n % 8)) - 1));
}

void CopyBits(QByteArray &dst, QByteArray &src, int start, int count)
{
    unsigned char *to = reinterpret_cast<unsigned char *>(dst.data());
    const unsigned char *from = reinterpret_cast<const unsigned char *>(src.constData());
    for (int i = 0; i < count; ++i)
        setBit(to, start + i, getBit(from, i));
}

void RotateArray(unsigned char *p, int a, int b)
{
    std::reverse(p, p + a);
    std::reverse(p + a, p + a + b);
    std::reverse(p, p + a + b);
}

void RightShiftNBits(QByteArray &bits, int n)
{
    if (n <= 0)
        return;
    unsigned char *data = reinterpret_cast<unsigned char *>(bits.data()); // detaches
    int length = bits.size();
    if (n >= 8 * qint64(length)) {
        // Every bit is shifted out; rotating by more bytes than there are
        // would run off the array.
        std::fill(data, data + length, 0);
        return;
    }
    const int byteShift = n / 8;
    const int r = n % 8;
    if (byteShift > 0) {
        RotateArray(data, byteShift, length - byteShift);
        length -= byteShift;
    }
    if (r == 0)
        return;
    data[0] = (unsigned char)(data[0] >> r);
    for (int i = 0; i + 1 < length; ++i) {
        data[i] = (unsigned char)(data[i] | (data[i + 1] << (8 - r)));
        data[i + 1] = (unsigned char)(data[i + 1] >> r);
    }
}
