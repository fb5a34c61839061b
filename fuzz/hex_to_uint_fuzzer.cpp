// HexToUInt over any text and length, against a reading of its rule built
// from the framework's own conversions: an optional leading 0 or 0x, then
// hexadecimal digits up to the length or the terminator, the value kept in
// 32 bits (the last eight digits), any other character giving 0.
//
// Input: one byte for the length (signed; 127 stands for the largest int),
// then the text. The text is terminated, so any length must stop at the end.

#include <algorithm>
#include <cctype>
#include <climits>

#include "fuzz_support.h"
#include "tools/tools.h"

static unsigned int expectedValue(const char *text, int length)
{
    QByteArray digits = length > 0 ? QByteArray(text).left(length) : QByteArray();
    if (digits.startsWith('0'))
        digits.remove(0, digits.size() > 1 && (digits[1] == 'x' || digits[1] == 'X') ? 2 : 1);
    const bool hex = !digits.isEmpty()
                     && std::all_of(digits.begin(), digits.end(), [](char c) { return isxdigit((unsigned char)c); });
    return hex ? digits.right(8).toUInt(nullptr, 16) : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int8_t lengthByte = int8_t(input.byte());
    const int length = lengthByte == 127 ? INT_MAX : lengthByte;
    const QByteArray text = input.rest(); // terminated, and cut at its first zero byte by the reading
    const unsigned int value = HexToUInt(text.constData(), length), expected = expectedValue(text.constData(), length);
    FUZZ_CHECK(value == expected, "HexToUInt(\"%s\", %d) is %u, not %u", text.constData(), length, value, expected);
    return 0;
}
