// Format-string packing: a string of one-letter codes lays out values as
// bytes (pack) or reads bytes back into variables (unpack). A decimal count
// before a code makes it an array field whose argument is a pointer.
//
//   code           width  single field                  counted field (k)
//   C c            1      low 8 bits                    k bytes copied
//   S s v          2      16 bits, little-endian        v only: 2k bytes copied
//   n              2      16 bits, big-endian           each pair swapped
//   I L V i l      4      32 bits, little-endian        V only: 4k bytes copied
//   N              4      32 bits, big-endian           each group of 4 reversed
//   x              1      pack: zero byte; unpack: skip k bytes likewise
//   X              1      skip one byte                 k bytes skipped
//
// Nothing else is allowed, not even a space. The three entry points share one
// field parser, nextField, and differ only in how they report its failures
// (see Parse).

#include "tools.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

enum class Layout {
    LittleEndian, // single: value low byte first; counted: bytes copied
    BigEndian,    // single: value high byte first; counted: each element reversed
    Zero,         // zero bytes, no argument
    Skip,         // position moves on, no argument
};

struct Code
{
    char letter;
    int width; // bytes of one element
    Layout layout;
    bool hasCountedForm;
};

// Every letter lies between '0' and 'x', so a character outside that range
// is simply not found here.
const Code Codes[] = {
    {'C', 1, Layout::LittleEndian, true}, {'c', 1, Layout::LittleEndian, true},
    {'S', 2, Layout::LittleEndian, false}, {'s', 2, Layout::LittleEndian, false},
    {'v', 2, Layout::LittleEndian, true}, {'n', 2, Layout::BigEndian, true},
    {'I', 4, Layout::LittleEndian, false}, {'L', 4, Layout::LittleEndian, false},
    {'V', 4, Layout::LittleEndian, true}, {'i', 4, Layout::LittleEndian, false},
    {'l', 4, Layout::LittleEndian, false}, {'N', 4, Layout::BigEndian, true},
    {'x', 1, Layout::Zero, true}, {'X', 1, Layout::Skip, true},
};

// The byte count of a field and the position of a whole record must fit the
// int the packers return.
const qint64 MaxRecordBytes = std::numeric_limits<int>::max();

// The byte-array packer allocates its result; a format asking for more than
// this (a huge count of x, say) is refused instead of exhausting memory.
const qint64 MaxPackedArrayBytes = 1 << 24;

struct Field
{
    const Code *code;
    bool counted;
    qint64 bytes;
};

enum class Parse {
    Field,         // one field read
    End,           // end of the format
    NotACode,      // buffer packer 0, byte-array packer empty, unpacker -1
    NoCountedForm, // count before a code without a counted form, or at the end
    EmptyField,    // count 0 before a copying or swapping code
    TooLarge,      // count whose byte size does not fit a record
};

bool takesArgument(const Code &code)
{
    return code.layout == Layout::LittleEndian || code.layout == Layout::BigEndian;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

const Code *findCode(char letter)
{
    const auto found = std::find_if(std::begin(Codes), std::end(Codes),
                                    [letter](const Code &code) { return code.letter == letter; });
    return found == std::end(Codes) ? nullptr : found;
}

// Reads the field at the cursor and moves the cursor past it.
Parse nextField(const char *&cursor, Field &field)
{
    if (*cursor == '\0')
        return Parse::End;
    if (!isDigit(*cursor)) {
        const Code *code = findCode(*cursor);
        if (code == nullptr)
            return Parse::NotACode;
        ++cursor;
        field = Field{code, false, code->width};
        return Parse::Field;
    }
    // The count saturates just above the limit so long digit runs cannot
    // overflow; the code after it is still checked first.
    qint64 count = 0;
    for (; isDigit(*cursor); ++cursor)
        count = std::min(count * 10 + (*cursor - '0'), MaxRecordBytes + 1);
    const Code *code = findCode(*cursor);
    if (code == nullptr || !code->hasCountedForm)
        return Parse::NoCountedForm;
    ++cursor;
    field = Field{code, true, count * code->width};
    if (field.bytes > MaxRecordBytes)
        return Parse::TooLarge;
    if (field.bytes == 0 && takesArgument(*code))
        return Parse::EmptyField;
    return Parse::Field;
}

// Whether a record that has reached `position` can take `bytes` more.
bool fits(qint64 position, qint64 bytes)
{
    return position + bytes <= MaxRecordBytes;
}

void writeValue(unsigned char *out, quint32 value, int width, Layout layout)
{
    for (int i = 0; i < width; ++i) {
        const int shift = layout == Layout::BigEndian ? 8 * (width - 1 - i) : 8 * i;
        out[i] = (unsigned char)(value >> shift);
    }
}

quint32 readValue(const unsigned char *in, int width, Layout layout)
{
    quint32 value = 0;
    for (int i = 0; i < width; ++i) {
        const int shift = layout == Layout::BigEndian ? 8 * (width - 1 - i) : 8 * i;
        value |= quint32(in[i]) << shift;
    }
    return value;
}

// Stores the value in a variable of the field's width.
void storeValue(void *destination, quint32 value, int width)
{
    if (width == 1) {
        const quint8 v = quint8(value);
        std::memcpy(destination, &v, sizeof v);
    } else if (width == 2) {
        const quint16 v = quint16(value);
        std::memcpy(destination, &v, sizeof v);
    } else {
        std::memcpy(destination, &value, sizeof value);
    }
}

// Copies the elements of a counted field: unchanged for the little-endian
// codes, each element's bytes reversed for the big-endian ones. The same
// copy serves pack and unpack.
void copyElements(unsigned char *to, const unsigned char *from, qint64 bytes, const Code &code)
{
    std::memcpy(to, from, size_t(bytes));
    if (code.layout != Layout::BigEndian)
        return;
    for (qint64 i = 0; i + code.width <= bytes; i += code.width)
        std::reverse(to + i, to + i + code.width);
}

// Total bytes of a format, or -1 when the byte-array packer must refuse it.
qint64 packedSize(const char *format)
{
    qint64 total = 0;
    Field field{};
    for (;;) {
        const Parse parse = nextField(format, field);
        if (parse == Parse::End)
            return total;
        if (parse != Parse::Field || !fits(total, field.bytes))
            return -1;
        total += field.bytes;
    }
}

} // namespace

int DataPack(unsigned char *buffer, char const *format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = VDataPack(buffer, format, args);
    va_end(args);
    return result;
}

int VDataPack(unsigned char *buffer, char const *format, va_list args)
{
    if (format == nullptr || *format == '\0')
        return 0;
    if (buffer == nullptr)
        return -1;
    qint64 position = 0;
    Field field{};
    for (;;) {
        const Parse parse = nextField(format, field);
        if (parse == Parse::End)
            return int(position);
        if (parse == Parse::NotACode)
            return 0; // bytes already written stay written
        if (parse != Parse::Field || !fits(position, field.bytes))
            return -1;
        unsigned char *out = buffer + position;
        const Code &code = *field.code;
        if (code.layout == Layout::Zero) {
            std::memset(out, 0, size_t(field.bytes));
        } else if (!takesArgument(code)) {
            // Skip: the bytes keep what the buffer held.
        } else if (field.counted) {
            const void *source = va_arg(args, void *);
            if (source == nullptr)
                return -1;
            copyElements(out, static_cast<const unsigned char *>(source), field.bytes, code);
        } else {
            writeValue(out, va_arg(args, unsigned int), code.width, code.layout);
        }
        position += field.bytes;
    }
}

QByteArray ByteArrayPack(char const *format, ...)
{
    va_list args;
    va_start(args, format);
    const QByteArray result = VByteArrayPack(format, args);
    va_end(args);
    return result;
}

// The byte-array packer sizes the record from the format first, so any
// failure leaves nothing behind, then packs into a zero-filled array with
// the buffer packer. Skipped bytes ("X") therefore read as zero.
//
// Counted "x" and "X" are accepted here as in the buffer packer: k zero
// bytes, taking no argument. Rejecting them would make the two packers
// disagree on which formats are valid, and taking a pointer argument for
// them would shift every later argument against the buffer packer.
QByteArray VByteArrayPack(char const *format, va_list args)
{
    if (format == nullptr)
        return QByteArray();
    const qint64 size = packedSize(format);
    if (size <= 0 || size > MaxPackedArrayBytes)
        return QByteArray();
    QByteArray bytes(int(size), '\0');
    if (VDataPack(reinterpret_cast<unsigned char *>(bytes.data()), format, args) != size)
        return QByteArray(); // a missing array argument
    return bytes;
}

int DataUnpack(unsigned char const *buffer, char const *format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = VDataUnpack(buffer, format, args);
    va_end(args);
    return result;
}

int VDataUnpack(unsigned char const *buffer, char const *format, va_list args)
{
    if (format == nullptr || *format == '\0')
        return 0;
    if (buffer == nullptr)
        return -1;
    qint64 position = 0;
    Field field{};
    for (;;) {
        const Parse parse = nextField(format, field);
        if (parse == Parse::End)
            return int(position);
        if (parse != Parse::Field || !fits(position, field.bytes))
            return -1; // values already stored stay stored
        const unsigned char *in = buffer + position;
        const Code &code = *field.code;
        if (takesArgument(code)) {
            void *destination = va_arg(args, void *);
            if (destination == nullptr)
                return -1;
            if (field.counted)
                copyElements(static_cast<unsigned char *>(destination), in, field.bytes, code);
            else
                storeValue(destination, readValue(in, code.width, code.layout), code.width);
        }
        position += field.bytes;
    }
}
