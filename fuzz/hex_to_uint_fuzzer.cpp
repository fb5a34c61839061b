// HexToUInt over any text and length, against a plain reading of its rule:
// an optional leading 0 or 0x, then hexadecimal digits up to the length or
// the terminator, the value kept in 32 bits, any other character giving 0.
//
// Input: one byte for the length (signed; 127 stands for the largest int),
// then the text. The text is terminated, so any length must stop at the end.

#include <climits>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_support.h"
#include "tools/tools.h"

namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

unsigned int expectedValue(const char *text, int length)
{
    if (text[0] == '0') {
        if (length - 1 <= 0)
            return 0;
        const int skip = (text[1] == 'x' || text[1] == 'X') ? 2 : 1;
        text += skip;
        length -= skip;
    }
    if (length <= 0 || text[0] == '\0')
        return 0;
    uint32_t value = 0;
    for (int i = 0; i < length && text[i] != '\0'; ++i) {
        const int digit = digitValue(text[i]);
        if (digit < 0)
            return 0;
        value = value * 16u + uint32_t(digit);
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int8_t lengthByte = int8_t(input.byte());
    const int length = lengthByte == 127 ? INT_MAX : lengthByte;
    const QByteArray rest = input.rest();
    std::vector<char> text(rest.constData(), rest.constData() + rest.size());
    text.push_back('\0');
    const unsigned int value = HexToUInt(text.data(), length);
    const unsigned int expected = expectedValue(text.data(), length);
    FUZZ_CHECK(value == expected, "HexToUInt(\"%s\", %d) is %u, not %u", text.data(), length, value,
               expected);
    return 0;
}
