// Format-string packing: the layout of every code, the failure cases of the
// three entry points, and random formats packed against a model of the
// layout and unpacked again.
//
// Every buffer handed to the packers is a heap block of exactly the size the
// format implies, so that the address sanitizer reports any access past it.

#include "tools/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

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

TEST(Packing, SingleFieldLayoutInAllThreeEntryPoints)
{
    const struct { const char *format; unsigned int value; const char *bytes; } rows[] = {
        {"n", 258, "0102"},      {"v", 258, "0201"},      {"S", 258, "0201"},      {"s", 258, "0201"},
        {"N", 258, "00000102"},  {"V", 258, "02010000"},  {"I", 258, "02010000"},  {"L", 258, "02010000"},
        {"i", 258, "02010000"},  {"l", 258, "02010000"},  {"C", 0x1FF, "ff"},      {"c", 0x80, "80"},
        {"n", 0x12345, "2345"},  {"N", 0xA1B2C3D4u, "a1b2c3d4"}, {"V", 0xA1B2C3D4u, "d4c3b2a1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.format);
        const QByteArray expected = hex(row.bytes);
        const size_t width = size_t(expected.size());
        auto buffer = exactBuffer(width), variable = exactBuffer(width);
        EXPECT_EQ(DataPack(buffer.get(), row.format, row.value), expected.size());
        EXPECT_EQ(bytesOf(buffer.get(), width), expected);
        EXPECT_EQ(ByteArrayPack(row.format, row.value), expected);
        EXPECT_EQ(DataUnpack(buffer.get(), row.format, variable.get()), expected.size());
        // A variable as wide as the field keeps the value's low bytes (little-endian host).
        EXPECT_EQ(bytesOf(variable.get(), width), bytesOf(reinterpret_cast<const unsigned char *>(&row.value), width));
    }
}

TEST(PackingFailures, EveryEntryPointReportsItsWay)
{
    // DataPack's and DataUnpack's results; the byte-array packer gives an
    // empty array. Every row fails before any argument is needed.
    const struct { const char *format; int pack; int unpack; } rows[] = {
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
        {"2147483647XC", -1, -1}, // the skip fits, the byte after it would not
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.format);
        auto buffer = exactBuffer(4);
        EXPECT_EQ(DataPack(buffer.get(), row.format), row.pack);
        EXPECT_EQ(bytesOf(buffer.get(), 4), QByteArray(4, char(Untouched)));
        EXPECT_TRUE(ByteArrayPack(row.format).isEmpty());
        EXPECT_EQ(DataUnpack(buffer.get(), row.format), row.unpack);
    }
}

TEST(PackingFailures, PartialRecordsLimitsAndMissingPointers)
{
    auto buffer = exactBuffer(2);
    EXPECT_EQ(DataPack(buffer.get(), "C C", 1, 2), 0);
    EXPECT_EQ(bytesOf(buffer.get(), 2), hex("01ee"));
    EXPECT_TRUE(ByteArrayPack("C C", 1, 2).isEmpty());
    unsigned char first = 0, second = 0;
    EXPECT_EQ(DataUnpack(buffer.get(), "C C", &first, &second), -1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(DataPack(buffer.get(), "n2S", 0x0304), -1);
    EXPECT_EQ(bytesOf(buffer.get(), 2), hex("0304"));
    EXPECT_TRUE(ByteArrayPack("n2S", 0x0304).isEmpty());
    EXPECT_EQ(ByteArrayPack("16777216x"), QByteArray(1 << 24, '\0')); // the byte-array packer's limit
    EXPECT_TRUE(ByteArrayPack("16777217x").isEmpty());
    EXPECT_TRUE(ByteArrayPack("16777216xC", 1).isEmpty());
    EXPECT_EQ(DataPack(nullptr, "C", 1), -1);
    EXPECT_EQ(DataUnpack(nullptr, "C", &first), -1);
    EXPECT_EQ(DataPack(buffer.get(), nullptr), 0);
    EXPECT_EQ(DataUnpack(buffer.get(), nullptr), 0);
    EXPECT_TRUE(ByteArrayPack(nullptr).isEmpty());
    EXPECT_EQ(DataPack(buffer.get(), "2C", nullptr), -1);
    EXPECT_TRUE(ByteArrayPack("2C", nullptr).isEmpty());
    EXPECT_EQ(DataUnpack(buffer.get(), "2C", nullptr), -1);
    EXPECT_EQ(DataUnpack(buffer.get(), "C", nullptr), -1);
}

// ---- Random formats -------------------------------------------------------------------

// Widths, counted forms and byte order as the packing language defines them.
struct CodeInfo { char letter; int width; bool counted; bool bigEndian; };
const CodeInfo Codes[] = {
    {'C', 1, true, false},  {'c', 1, true, false},  {'S', 2, false, false}, {'s', 2, false, false},
    {'v', 2, true, false},  {'n', 2, true, true},   {'I', 4, false, false}, {'L', 4, false, false},
    {'V', 4, true, false},  {'i', 4, false, false}, {'l', 4, false, false}, {'N', 4, true, true},
    {'x', 1, true, false},  {'X', 1, true, false},
};

bool takesArgument(char letter) { return letter != 'x' && letter != 'X'; }

// One argument of a variadic call: a value for a single field in pack, a
// pointer otherwise.
struct Arg { bool isPointer; unsigned int value; void *pointer; };

const size_t MaxArgs = 6;

// Calls `call` with the arguments in order, each passed with its own type.
template <size_t Depth = 0, typename Call, typename... Passed>
auto callWith(const std::vector<Arg> &args, Call call, Passed... passed)
{
    if constexpr (Depth == MaxArgs) {
        return call(passed...);
    } else {
        if (args.size() == Depth)
            return call(passed...);
        if (args[Depth].isPointer)
            return callWith<Depth + 1>(args, call, passed..., args[Depth].pointer);
        return callWith<Depth + 1>(args, call, passed..., args[Depth].value);
    }
}

// A field's value: its bytes as they lie in memory, and where unpack puts them.
struct Value { std::unique_ptr<unsigned char[]> source, destination; size_t size; };

struct RandomFormat
{
    std::string text;
    QByteArray buffer, array; // the record expected in a buffer of Untouched bytes and in the array
    std::vector<Value> values;
    std::vector<Arg> packArgs, unpackArgs;
};

RandomFormat makeRandomFormat(std::mt19937 &random)
{
    RandomFormat format;
    for (int f = 1 + int(random() % 8); f > 0; --f) {
        const CodeInfo *code;
        do
            code = &Codes[random() % std::size(Codes)];
        while (format.packArgs.size() == MaxArgs && takesArgument(code->letter));
        const bool argument = takesArgument(code->letter);
        const bool counted = code->counted && random() % 2;
        int count = 1;
        if (counted) {
            // Mostly short counts, sometimes long or zero-padded ones, and 0 where allowed.
            count = 1 + int(random() % (random() % 4 ? 4 : 40));
            if (!argument && random() % 5 == 0)
                count = 0;
            format.text += (random() % 6 == 0 ? "0" : "") + std::to_string(count);
        }
        format.text += code->letter;
        const int size = code->width * count;
        if (!argument) {
            format.buffer += QByteArray(size, code->letter == 'x' ? '\0' : char(Untouched));
            format.array += QByteArray(size, '\0');
            continue;
        }
        Value value{exactBuffer(size_t(size)), exactBuffer(size_t(size)), size_t(size)};
        for (int i = 0; i < size; ++i)
            value.source[i] = (unsigned char)random();
        QByteArray bytes = bytesOf(value.source.get(), value.size);
        for (int i = 0; code->bigEndian && i < size; i += code->width)
            std::reverse(bytes.begin() + i, bytes.begin() + i + code->width);
        format.buffer += bytes;
        format.array += bytes;
        unsigned int single = 0; // the value of a variable holding these bytes (little-endian host)
        std::memcpy(&single, value.source.get(), std::min(value.size, sizeof single));
        format.packArgs.push_back(counted ? Arg{true, 0, value.source.get()} : Arg{false, single, nullptr});
        format.unpackArgs.push_back(Arg{true, 0, value.destination.get()});
        format.values.push_back(std::move(value));
    }
    return format;
}

TEST(PackingRoundTrip, RandomFormatsOfValidCodes)
{
    std::mt19937 random(7031);
    for (int round = 0; round < 3000; ++round) {
        const RandomFormat format = makeRandomFormat(random);
        SCOPED_TRACE(format.text);
        const char *text = format.text.c_str();
        const int size = format.buffer.size();
        auto buffer = exactBuffer(size_t(size));
        const auto pack = [&](auto... a) { return DataPack(buffer.get(), text, a...); };
        const auto packArray = [&](auto... a) { return ByteArrayPack(text, a...); };
        const auto unpack = [&](auto... a) { return DataUnpack(buffer.get(), text, a...); };
        ASSERT_EQ(callWith(format.packArgs, pack), size);
        EXPECT_EQ(bytesOf(buffer.get(), size_t(size)), format.buffer);
        EXPECT_EQ(callWith(format.packArgs, packArray), format.array);
        ASSERT_EQ(callWith(format.unpackArgs, unpack), size);
        for (const Value &value : format.values)
            EXPECT_EQ(bytesOf(value.destination.get(), value.size), bytesOf(value.source.get(), value.size));
    }
}

} // namespace
