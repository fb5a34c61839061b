// Small conversions of the support library: little-endian scalars in byte
// buffers, data-type predicates of a request, bit expansion, zero filling up
// to a value width, hexadecimal text, a process probe and a byte dump.

#include "tools.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <signal.h>
#include <sys/types.h>

namespace {

// ExpandBitsToBytes makes one byte per requested bit. No bit array of this
// driver comes near this many bits; a larger count is cut here so that a
// nonsensical count cannot allocate gigabytes.
const int MaxExpandedBits = 1 << 20;

const char HexDigits[] = "0123456789abcdef";

// Little-endian value of the first min(size, width) bytes; missing high
// bytes count as zero.
quint32 littleEndianValue(const QByteArray &data, int width)
{
    const int used = std::min(data.size(), width);
    quint32 value = 0;
    for (int i = used - 1; i >= 0; --i)
        value = (value << 8) | (unsigned char)data.at(i);
    return value;
}

QByteArray littleEndianBytes(quint32 value, int width)
{
    QByteArray bytes(width, '\0');
    for (int i = 0; i < width; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray zeroPaddedToMultiple(const QByteArray &data, int multiple)
{
    const int rest = data.size() % multiple;
    if (rest == 0)
        return data;
    QByteArray padded(data);
    padded.append(multiple - rest, '\0');
    return padded;
}

// Value 0..15 of a hexadecimal digit, -1 for any other character.
int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte in lower-case hexadecimal without leading zeros.
QString shortHex(unsigned char byte)
{
    QString text;
    if (byte >= 16)
        text += QLatin1Char(HexDigits[byte >> 4]);
    text += QLatin1Char(HexDigits[byte & 0x0F]);
    return text;
}

} // namespace

// ---- Scalars ---------------------------------------------------------------

int QByteArrayToInt(const QByteArray &data)
{
    return int(littleEndianValue(data, 4));
}

unsigned short QByteArrayToWord(const QByteArray &data)
{
    return (unsigned short)littleEndianValue(data, 2);
}

short QByteArrayToShort(const QByteArray &data)
{
    // A single byte is taken as an unsigned value, two or more as a signed
    // 16-bit one.
    if (data.size() == 1)
        return short((unsigned char)data.at(0));
    return short(littleEndianValue(data, 2));
}

QByteArray wordToByteArray(unsigned short value)
{
    return littleEndianBytes(value, 2);
}

QByteArray shortToByteArray(short value)
{
    return littleEndianBytes((unsigned short)value, 2);
}

QByteArray intToByteArray(int value)
{
    return littleEndianBytes(quint32(value), 4);
}

// ---- Request predicates ----------------------------------------------------

bool isBitCommand(const CommunicatorCommand &command)
{
    return command.dataType() == BitData;
}

bool isByteCommand(const CommunicatorCommand &command)
{
    return command.dataType() == ByteData;
}

bool isWordCommand(const CommunicatorCommand &command)
{
    return command.dataType() == WordData;
}

bool isDoubleWordCommand(const CommunicatorCommand &command)
{
    return command.dataType() == DoubleWordData;
}

bool isBlockCommand(const CommunicatorCommand &command)
{
    return command.dataType() == BlockData;
}

// ---- Bits --------------------------------------------------------------------

bool getBitData(const QByteArray &data)
{
    return !data.isEmpty() && getBit(data, 0);
}

QByteArray ExpandBitsToBytes(const QByteArray &bits, unsigned short start, int count)
{
    if (count <= 0)
        return QByteArray();
    const int length = std::min(count, MaxExpandedBits);
    QByteArray bytes(length, '\0');
    // Bits beyond the end of the array read as zero.
    const int available = bits.size() * 8;
    for (int j = 0; j < length && int(start) + j < available; ++j)
        bytes[j] = getBit(bits, int(start) + j) ? 1 : 0;
    return bytes;
}

// ---- Filling and reordering ---------------------------------------------------

QByteArray To16bitsData(const QByteArray &data)
{
    return zeroPaddedToMultiple(data, 2);
}

QByteArray To32bitsData(const QByteArray &data)
{
    return zeroPaddedToMultiple(data, 4);
}

QByteArray To64bitsData(const QByteArray &data)
{
    return zeroPaddedToMultiple(data, 8);
}

QByteArray reverseArray(const QByteArray &data)
{
    QByteArray reversed(data);
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

QList<int> EmptyPackageSizeList()
{
    return QList<int>();
}

// ---- Text and processes ------------------------------------------------------------

unsigned int HexToUInt(const char *text, int length)
{
    if (text == nullptr || length <= 0)
        return 0;
    // An optional "0x" or a single leading zero is skipped.
    if (text[0] == '0') {
        if (length - 1 <= 0)
            return 0;
        const bool hasPrefix = text[1] == 'x' || text[1] == 'X';
        const int skipped = hasPrefix ? 2 : 1;
        text += skipped;
        length -= skipped;
    }
    if (length <= 0 || *text == '\0')
        return 0;
    unsigned int value = 0;
    for (int i = 0; i < length && text[i] != '\0'; ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0)
            return 0;
        value = (value << 4) | unsigned(digit);
    }
    return value;
}

bool ProcessIsRunning(long long pid)
{
    // Zero and negative ids name process groups, not a process; ids beyond
    // the range of pid_t would be cut to some other id.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (kill(pid_t(pid), 0) == 0)
        return true;
    return errno == EPERM; // it exists but belongs to someone else
}

QString dumpByteArray(const QByteArray &data)
{
    QString text = QStringLiteral("(");
    for (const char byte : data)
        text += QStringLiteral("0X") + shortHex((unsigned char)byte) + QLatin1Char(' ');
    text += QStringLiteral(") : ");
    const int end = data.indexOf('\0');
    text += QString::fromLatin1(data.constData(), end < 0 ? data.size() : end);
    return text;
}
