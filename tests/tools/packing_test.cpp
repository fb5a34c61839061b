// Format-string packing: the layout of every code, the failure cases of the
// three entry points, and round trips over random formats.
//
// Every buffer handed to the packers is a heap block of exactly the size the
// format implies, so that the address sanitizer reports any access past it.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const unsigned char Untouched = 0xEE;

// A heap block of exactly `size` bytes, each set to Untouched.
std::unique_ptr<unsigned char[]> exactBuffer(size_t size)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
    std::memset(buffer.get(), Untouched, size);
    return buffer;
}

QByteArray bytesOf(const unsigned char *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

// ---- Layout of the single fields ------------------------------------------------

struct SingleRow
{
    const char *format;
    unsigned int value;
    const char *bytes;
};

const SingleRow SingleRows[] = {
    {"n", 258, "0102"},      {"v", 258, "0201"},     {"S", 258, "0201"},
    {"s", 258, "0201"},      {"N", 258, "00000102"}, {"V", 258, "02010000"},
    {"I", 258, "02010000"},  {"L", 258, "02010000"}, {"i", 258, "02010000"},
    {"l", 258, "02010000"},  {"C", 0x1FF, "ff"},     {"c", 0x80, "80"},
    {"n", 0x12345, "2345"},  {"v", 0xFFFF, "ffff"},  {"N", 0xA1B2C3D4u, "a1b2c3d4"},
    {"V", 0xA1B2C3D4u, "d4c3b2a1"},
};

TEST(PackingSingleFields, LayoutInAllThreeEntryPoints)
{
    for (const SingleRow &row : SingleRows) {
        SCOPED_TRACE(row.format);
        const QByteArray expected = hex(row.bytes);
        const size_t width = size_t(expected.size());
        auto buffer = exactBuffer(width);
        EXPECT_EQ(DataPack(buffer.get(), row.format, row.value), expected.size());
        EXPECT_EQ(bytesOf(buffer.get(), width), expected);
        EXPECT_EQ(ByteArrayPack(row.format, row.value), expected);
        // Unpacking into a variable exactly as wide as the field.
        auto destination = exactBuffer(width);
        EXPECT_EQ(DataUnpack(buffer.get(), row.format, destination.get()), expected.size());
        unsigned int stored = 0;
        for (size_t i = width; i-- > 0;) // host order (little-endian) of the variable
            stored = (stored << 8) | destination[i];
        const unsigned int mask = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
        EXPECT_EQ(stored, row.value & mask);
    }
}

// ---- Edge cases of whole formats ---------------------------------------------------

TEST(PackingFormats, ZeroFillAndCountedZeroFill)
{
    auto buffer = exactBuffer(6);
    EXPECT_EQ(DataPack(buffer.get(), "Cx2xn", 1, 515), 6);
    EXPECT_EQ(bytesOf(buffer.get(), 6), hex("010000000203"));
    EXPECT_EQ(ByteArrayPack("Cx2xn", 1, 515), hex("010000000203"));
}

TEST(PackingFormats, SkipLeavesTheBufferAlone)
{
    auto buffer = exactBuffer(1);
    EXPECT_EQ(DataPack(buffer.get(), "X"), 1);
    EXPECT_EQ(buffer[0], Untouched);
    auto three = exactBuffer(3);
    EXPECT_EQ(DataPack(three.get(), "C2X", 9), 3);
    EXPECT_EQ(bytesOf(three.get(), 3), hex("09eeee"));
    // The byte-array packer has no previous content: skipped bytes are zero.
    EXPECT_EQ(ByteArrayPack("X"), hex("00"));
    EXPECT_EQ(ByteArrayPack("C2X", 9), hex("090000"));
}

TEST(PackingFormats, CountZeroBeforeSkipOrFillIsNothing)
{
    for (const char *format : {"C0xC", "C0XC", "C00xC"}) {
        SCOPED_TRACE(format);
        auto buffer = exactBuffer(2);
        EXPECT_EQ(DataPack(buffer.get(), format, 1, 2), 2);
        EXPECT_EQ(bytesOf(buffer.get(), 2), hex("0102"));
        EXPECT_EQ(ByteArrayPack(format, 1, 2), hex("0102"));
        unsigned char first = 0, second = 0;
        EXPECT_EQ(DataUnpack(buffer.get(), format, &first, &second), 2);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 2);
    }
}

TEST(PackingFormats, CountedFields)
{
    // Elements as they lie in memory: 16-bit 258, 772 and 32-bit 0x01020304,
    // little-endian.
    const unsigned char shorts[] = {0x02, 0x01, 0x04, 0x03};
    const unsigned char longs[] = {0x04, 0x03, 0x02, 0x01};
    const unsigned char text[] = {0x41, 0x42, 0x43};
    struct Row { const char *format; const unsigned char *source; const char *bytes; };
    const Row rows[] = {
        {"3C", text, "414243"},     {"3c", text, "414243"},
        {"2v", shorts, "02010403"}, {"2n", shorts, "01020304"},
        {"1V", longs, "04030201"},  {"1N", longs, "01020304"},
        {"01C", text, "41"},        // a leading zero in the count
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.format);
        const QByteArray expected = hex(row.bytes);
        const size_t size = size_t(expected.size());
        auto source = exactBuffer(size);
        std::memcpy(source.get(), row.source, size);
        auto buffer = exactBuffer(size);
        EXPECT_EQ(DataPack(buffer.get(), row.format, source.get()), expected.size());
        EXPECT_EQ(bytesOf(buffer.get(), size), expected);
        EXPECT_EQ(ByteArrayPack(row.format, source.get()), expected);
        // Unpacking restores the elements as they lay in memory.
        auto back = exactBuffer(size);
        EXPECT_EQ(DataUnpack(buffer.get(), row.format, back.get()), expected.size());
        EXPECT_EQ(bytesOf(back.get(), size), bytesOf(source.get(), size));
    }
}

TEST(PackingFormats, UnpackMixedAndSkipped)
{
    const QByteArray bytes = hex("000500000100");
    auto input = exactBuffer(6);
    std::memcpy(input.get(), bytes.constData(), 6);
    unsigned short small = 0;
    unsigned int large = 0;
    EXPECT_EQ(DataUnpack(input.get(), "nN", &small, &large), 6);
    EXPECT_EQ(small, 5);
    EXPECT_EQ(large, 256u);

    auto three = exactBuffer(3);
    std::memcpy(three.get(), "\xAA\xBB\xCC", 3);
    unsigned char last = 0;
    EXPECT_EQ(DataUnpack(three.get(), "2XC", &last), 3);
    EXPECT_EQ(last, 0xCC);
    EXPECT_EQ(DataUnpack(three.get(), "x2x"), 3);
}

TEST(PackingFormats, CountedSkipAndFillInTheByteArrayPacker)
{
    // Accepted like the buffer packer: k zero bytes, no argument taken.
    EXPECT_EQ(ByteArrayPack("2xC3X", 7), hex("000007000000"));
    EXPECT_EQ(ByteArrayPack("0X"), QByteArray());
}

TEST(PackingFormats, ByteArrayPackerSizeLimit)
{
    const int limit = 1 << 24;
    const QByteArray largest = ByteArrayPack("16777216x");
    ASSERT_EQ(largest.size(), limit);
    EXPECT_EQ(largest.count('\0'), limit);
    EXPECT_TRUE(ByteArrayPack("16777217x").isEmpty());
    EXPECT_TRUE(ByteArrayPack("16777216xC", 1).isEmpty());
}

// ---- Failures ---------------------------------------------------------------------------

struct FailureRow
{
    const char *format;
    int bufferPacker; // result of DataPack; the byte-array packer gives an empty array
    int unpacker;
};

// Every row fails before any argument is needed.
const FailureRow FailureRows[] = {
    {"", 0, 0},
    // a character that is no code
    {" ", 0, -1}, {"A", 0, -1}, {"a", 0, -1}, {"y", 0, -1}, {"z", 0, -1},
    {"~", 0, -1}, {"/", 0, -1}, {":", 0, -1}, {"\x7f", 0, -1}, {"\xff", 0, -1},
    // a count before a code without a counted form, or before the end
    {"2S", -1, -1}, {"2s", -1, -1}, {"2I", -1, -1}, {"2L", -1, -1}, {"2i", -1, -1},
    {"2l", -1, -1}, {"2A", -1, -1}, {"2 ", -1, -1}, {"12", -1, -1}, {"0", -1, -1},
    // a counted field of size 0
    {"0C", -1, -1}, {"0c", -1, -1}, {"0v", -1, -1}, {"0V", -1, -1}, {"0n", -1, -1},
    {"0N", -1, -1}, {"000C", -1, -1},
    // a count whose size does not fit a record, however many digits it has
    {"536870912N", -1, -1}, {"2147483648C", -1, -1}, {"99999999999999999999999C", -1, -1},
    {"99999999999999999999999Q", -1, -1},
};

TEST(PackingFailures, EveryEntryPointReportsItsWay)
{
    for (const FailureRow &row : FailureRows) {
        SCOPED_TRACE(row.format);
        auto buffer = exactBuffer(4);
        EXPECT_EQ(DataPack(buffer.get(), row.format), row.bufferPacker);
        EXPECT_EQ(bytesOf(buffer.get(), 4), QByteArray(4, char(Untouched)));
        EXPECT_TRUE(ByteArrayPack(row.format).isEmpty());
        EXPECT_EQ(DataUnpack(buffer.get(), row.format), row.unpacker);
    }
}

TEST(PackingFailures, PartialOutputStays)
{
    // A space between two codes: the first field is done, then the walk stops.
    auto buffer = exactBuffer(2);
    EXPECT_EQ(DataPack(buffer.get(), "C C", 1, 2), 0);
    EXPECT_EQ(bytesOf(buffer.get(), 2), hex("01ee"));
    EXPECT_TRUE(ByteArrayPack("C C", 1, 2).isEmpty());
    unsigned char first = 0, second = 0;
    EXPECT_EQ(DataUnpack(buffer.get(), "C C", &first, &second), -1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);

    // A bad counted field after a good one.
    EXPECT_EQ(DataPack(buffer.get(), "n2S", 0x0304), -1);
    EXPECT_EQ(bytesOf(buffer.get(), 2), hex("0304"));
    EXPECT_TRUE(ByteArrayPack("n2S", 0x0304).isEmpty());
}

TEST(PackingFailures, RecordsBeyondTheIntRange)
{
    // The skip itself fits; the byte after it would not.
    auto buffer = exactBuffer(1);
    EXPECT_EQ(DataPack(buffer.get(), "2147483647XC", 1), -1);
    EXPECT_EQ(buffer[0], Untouched);
    EXPECT_EQ(DataUnpack(buffer.get(), "2147483647XC", buffer.get()), -1);
    EXPECT_TRUE(ByteArrayPack("2147483647X").isEmpty());
}

TEST(PackingFailures, MissingBuffersAndPointers)
{
    unsigned char value = 0;
    auto buffer = exactBuffer(2);
    EXPECT_EQ(DataPack(nullptr, "C", 1), -1);
    EXPECT_EQ(DataUnpack(nullptr, "C", &value), -1);
    EXPECT_EQ(DataPack(buffer.get(), nullptr), 0);
    EXPECT_EQ(DataUnpack(buffer.get(), nullptr), 0);
    EXPECT_TRUE(ByteArrayPack(nullptr).isEmpty());
    EXPECT_EQ(DataPack(buffer.get(), "2C", nullptr), -1);
    EXPECT_TRUE(ByteArrayPack("2C", nullptr).isEmpty());
    EXPECT_EQ(DataUnpack(buffer.get(), "2C", nullptr), -1);
    EXPECT_EQ(DataUnpack(buffer.get(), "C", nullptr), -1);
}

// ---- Round trips over random formats ------------------------------------------------

// Widths and counted forms as the packing language defines them.
struct CodeInfo
{
    char letter;
    int width;
    bool counted;
};

const CodeInfo Codes[] = {
    {'C', 1, true},  {'c', 1, true},  {'S', 2, false}, {'s', 2, false}, {'v', 2, true},
    {'n', 2, true},  {'I', 4, false}, {'L', 4, false}, {'V', 4, true},  {'i', 4, false},
    {'l', 4, false}, {'N', 4, true},  {'x', 1, true},  {'X', 1, true},
};

bool takesArgument(char letter)
{
    return letter != 'x' && letter != 'X';
}

// One argument of a variadic call: a value for a single field in pack, a
// pointer otherwise.
struct Arg
{
    bool isPointer;
    unsigned int value;
    void *pointer;
};

const int MaxArgs = 6;

// Calls `call` with the arguments in order, each passed with its own type.
template <int Depth = 0, typename Call, typename... Passed>
auto callWith(const std::vector<Arg> &args, Call call, Passed... passed)
{
    if constexpr (Depth == MaxArgs) {
        return call(passed...);
    } else {
        if (args.size() == size_t(Depth))
            return call(passed...);
        const Arg &arg = args[size_t(Depth)];
        if (arg.isPointer)
            return callWith<Depth + 1>(args, call, passed..., arg.pointer);
        return callWith<Depth + 1>(args, call, passed..., arg.value);
    }
}

struct RandomField
{
    const CodeInfo *code;
    bool counted;
    int count;
    size_t size; // bytes in the record
    size_t offset;
    unsigned int value;                         // single fields
    std::vector<unsigned char> source;          // counted fields, exactly sized
    std::unique_ptr<unsigned char[]> destination; // exactly the field's width or size
};

struct RandomFormat
{
    std::string text;
    std::vector<RandomField> fields;
    size_t size = 0;
};

RandomFormat makeRandomFormat(std::mt19937 &random)
{
    RandomFormat format;
    const int fieldCount = 1 + int(random() % 8);
    int argCount = 0;
    for (int f = 0; f < fieldCount; ++f) {
        RandomField field{};
        do {
            field.code = &Codes[random() % std::size(Codes)];
        } while (argCount == MaxArgs && takesArgument(field.code->letter));
        field.counted = field.code->counted && random() % 2;
        if (field.counted) {
            // Mostly short counts, sometimes long or zero-padded ones, and a
            // count of 0 where it is allowed.
            field.count = 1 + int(random() % (random() % 4 ? 4 : 40));
            if (!takesArgument(field.code->letter) && random() % 5 == 0)
                field.count = 0;
            if (random() % 6 == 0)
                format.text += '0';
            format.text += std::to_string(field.count);
        }
        format.text += field.code->letter;
        field.size = size_t(field.code->width) * size_t(field.counted ? field.count : 1);
        field.offset = format.size;
        format.size += field.size;
        if (takesArgument(field.code->letter)) {
            ++argCount;
            field.value = unsigned(random());
            field.source.resize(field.size);
            for (unsigned char &byte : field.source)
                byte = (unsigned char)random();
        }
        format.fields.push_back(std::move(field));
    }
    return format;
}

std::vector<Arg> packArgs(RandomFormat &format)
{
    std::vector<Arg> args;
    for (RandomField &field : format.fields) {
        if (!takesArgument(field.code->letter))
            continue;
        if (field.counted)
            args.push_back({true, 0, field.source.data()});
        else
            args.push_back({false, field.value, nullptr});
    }
    return args;
}

std::vector<Arg> unpackArgs(RandomFormat &format)
{
    std::vector<Arg> args;
    for (RandomField &field : format.fields) {
        if (!takesArgument(field.code->letter))
            continue;
        field.destination.reset(new unsigned char[field.size]);
        args.push_back({true, 0, field.destination.get()});
    }
    return args;
}

unsigned int storedValue(const RandomField &field)
{
    unsigned int value = 0;
    for (int i = field.code->width - 1; i >= 0; --i) // little-endian host
        value = (value << 8) | field.destination[size_t(i)];
    return value;
}

TEST(PackingRoundTrip, RandomFormatsOfValidCodes)
{
    std::mt19937 random(7031);
    for (int round = 0; round < 3000; ++round) {
        RandomFormat format = makeRandomFormat(random);
        SCOPED_TRACE(format.text);
        const char *text = format.text.c_str();
        const int size = int(format.size);

        auto buffer = exactBuffer(format.size);
        const std::vector<Arg> inputs = packArgs(format);
        ASSERT_EQ(callWith(inputs, [&](auto... a) { return DataPack(buffer.get(), text, a...); }), size);
        const QByteArray array = callWith(inputs, [&](auto... a) { return ByteArrayPack(text, a...); });
        ASSERT_EQ(array.size(), size);

        const std::vector<Arg> outputs = unpackArgs(format);
        ASSERT_EQ(callWith(outputs, [&](auto... a) { return DataUnpack(buffer.get(), text, a...); }), size);

        for (const RandomField &field : format.fields) {
            const char letter = field.code->letter;
            const QByteArray packed = bytesOf(buffer.get() + field.offset, field.size);
            const QByteArray arrayPart = array.mid(int(field.offset), int(field.size));
            if (letter == 'X') {
                EXPECT_EQ(packed, QByteArray(int(field.size), char(Untouched)));
                EXPECT_EQ(arrayPart, QByteArray(int(field.size), '\0'));
                continue;
            }
            EXPECT_EQ(arrayPart, packed) << "field at " << field.offset;
            if (letter == 'x') {
                EXPECT_EQ(packed, QByteArray(int(field.size), '\0'));
            } else if (field.counted) {
                EXPECT_EQ(bytesOf(field.destination.get(), field.size),
                          bytesOf(field.source.data(), field.size));
            } else {
                const unsigned int mask =
                    field.code->width == 4 ? 0xFFFFFFFFu : (1u << (8 * field.code->width)) - 1;
                EXPECT_EQ(storedValue(field), field.value & mask) << letter;
            }
        }
    }
}

} // namespace
