// Conversions between the wire's big-endian registers and the runtime's
// little-endian buffers, and the counting helpers that size them.

#include "tools.h"

#include <algorithm>
#include <cstring>

namespace {

// Reverses every group of `width` bytes of data in place.
void reverseGroups(char *data, int size, int width)
{
    if (width == 2) {
        // Registers, the common case: eight bytes at a time swap their
        // neighbours with two masks (in either byte order of the machine),
        // the rest pair by pair.
        const quint64 evenBytes = Q_UINT64_C(0x00FF00FF00FF00FF);
        int i = 0;
        for (; i + 8 <= size; i += 8) {
            quint64 bytes;
            memcpy(&bytes, data + i, sizeof bytes);
            bytes = ((bytes & evenBytes) << 8) | ((bytes >> 8) & evenBytes);
            memcpy(data + i, &bytes, sizeof bytes);
        }
        for (; i + 2 <= size; i += 2) {
            const char first = data[i];
            data[i] = data[i + 1];
            data[i + 1] = first;
        }
        return;
    }
    for (int i = 0; i + width <= size; i += width)
        std::reverse(data + i, data + i + width);
}

QByteArray copyReversingGroups(const char *data, int count, int width)
{
    if (count <= 0)
        return QByteArray();
    QByteArray result(data, count * width);
    reverseGroups(result.data(), result.size(), width);
    return result;
}

QByteArray paddedCopy(const QByteArray &data, int multiple)
{
    QByteArray result(data);
    const int rest = result.size() % multiple;
    if (rest)
        result.append(multiple - rest, '\0');
    return result;
}

unsigned int divideUp(unsigned int value, unsigned int unit)
{
    return value / unit + (value % unit ? 1 : 0);
}

} // namespace

QByteArray fromBigEndianUShortArray(const char *data, int count)
{
    return copyReversingGroups(data, count, 2);
}

QByteArray fromBigEndianULongArray(const char *data, int count)
{
    return copyReversingGroups(data, count, 4);
}

QByteArray toBigEndianUShortArray(const QByteArray &data)
{
    QByteArray result = paddedCopy(data, 2);
    reverseGroups(result.data(), result.size(), 2);
    return result;
}

QByteArray toBigEndianULongArray(const QByteArray &data)
{
    QByteArray result = paddedCopy(data, 4);
    reverseGroups(result.data(), result.size(), 4);
    return result;
}

void toLittleEndianUShortArray(QByteArray &data)
{
    reverseGroups(data.data(), data.size(), 2);
}

void toLittleEndianULongArray(QByteArray &data)
{
    reverseGroups(data.data(), data.size(), 4);
}

void appendBigEndianUShort(QByteArray &data, unsigned short value)
{
    data.append(char(value >> 8));
    data.append(char(value & 0xFF));
}

unsigned int NumOfBitsToNumOfWords(unsigned int startBit, unsigned int bitCount)
{
    return divideUp(startBit + bitCount, 16);
}

unsigned int NumOfBitsToNumOfDWords(unsigned int startBit, unsigned int bitCount)
{
    return divideUp(startBit + bitCount, 32);
}

unsigned int NumOfBitsToNumOfBytes(unsigned int startBit, unsigned int bitCount)
{
    return divideUp(startBit + bitCount, 8);
}

unsigned int NumOfBytesToNumOfWords(unsigned int byteCount) { return divideUp(byteCount, 2); }

unsigned int NumOfBytesToNumOfDWords(unsigned int byteCount) { return divideUp(byteCount, 4); }

unsigned int NumOfBytesToNumOfQuadWords(unsigned int byteCount) { return divideUp(byteCount, 8); }
