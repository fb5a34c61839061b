// Conversions between the wire's big-endian registers and the runtime's
// little-endian buffers, and the counting helpers that size them.

#include "tools.h"

#include <algorithm>
#include <cstring>

namespace {

// Writes the size bytes of from to to with every group of `width` bytes
// reversed; to may be from itself.
void reverseGroupsInto(const char *from, char *to, int size, int width)
{
    if (width == 2) {
        // Registers, the common case: eight bytes at a time swap their
        // neighbours with two masks (in either byte order of the machine),
        // the rest pair by pair.
        const quint64 evenBytes = Q_UINT64_C(0x00FF00FF00FF00FF);
        int i = 0;
        for (; i + 8 <= size; i += 8) {
            quint64 bytes;
            memcpy(&bytes, from + i, sizeof bytes);
            bytes = ((bytes & evenBytes) << 8) | ((bytes >> 8) & evenBytes);
            memcpy(to + i, &bytes, sizeof bytes);
        }
        for (; i + 2 <= size; i += 2) {
            const char first = from[i];
            to[i] = from[i + 1];
            to[i + 1] = first;
        }
        return;
    }
    for (int i = 0; i + width <= size; i += width) {
        if (from == to)
            std::reverse(to + i, to + i + width);
        else
            std::reverse_copy(from + i, from + i + width, to + i);
    }
}

void reverseGroups(char *data, int size, int width)
{
    reverseGroupsInto(data, data, size, width);
}

QByteArray copyReversingGroups(const char *data, int count, int width)
{
    if (count <= 0)
        return QByteArray();
    QByteArray result(count * width, Qt::Uninitialized);
    reverseGroupsInto(data, result.data(), result.size(), width);
    return result;
}

// The data padded with zero bytes to whole groups of `width`, every group
// reversed, written to out in one pass over the data; width is 2 or 4.
void writePaddedReversingGroups(const QByteArray &data, int width, char *out)
{
    const int whole = data.size() - data.size() % width;
    const int rest = data.size() - whole;
    reverseGroupsInto(data.constData(), out, whole, width);
    if (rest == 0)
        return;
    char last[4] = {0, 0, 0, 0};
    memcpy(last, data.constData() + whole, size_t(rest));
    reverseGroupsInto(last, out + whole, width, width);
}

int paddedLength(int size, int width)
{
    return (size + width - 1) / width * width;
}

QByteArray paddedReversingGroups(const QByteArray &data, int width)
{
    QByteArray result(paddedLength(data.size(), width), Qt::Uninitialized);
    writePaddedReversingGroups(data, width, result.data());
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

void copyFromBigEndianUShortArray(const char *data, int count, char *out)
{
    if (count > 0)
        reverseGroupsInto(data, out, 2 * count, 2);
}

void copyFromBigEndianULongArray(const char *data, int count, char *out)
{
    if (count > 0)
        reverseGroupsInto(data, out, 4 * count, 4);
}

QByteArray toBigEndianUShortArray(const QByteArray &data)
{
    return paddedReversingGroups(data, 2);
}

QByteArray toBigEndianULongArray(const QByteArray &data)
{
    return paddedReversingGroups(data, 4);
}

void writeBigEndianUShortArray(const QByteArray &data, char *out)
{
    writePaddedReversingGroups(data, 2, out);
}

void writeBigEndianULongArray(const QByteArray &data, char *out)
{
    writePaddedReversingGroups(data, 4, out);
}

int bigEndianUShortArrayLength(const QByteArray &data)
{
    return paddedLength(data.size(), 2);
}

int bigEndianULongArrayLength(const QByteArray &data)
{
    return paddedLength(data.size(), 4);
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
