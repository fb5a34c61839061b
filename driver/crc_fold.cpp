// The CRC as polynomial arithmetic: each 16-byte block is folded into the
// next by two carry-less products, the bytes after the last whole block by one
// more fold of the bytes they push out, and the last 128 bits are reduced to
// the CRC by two more folds and a Barrett reduction. The 16-bit CRC is computed
// as the 32-bit CRC of Q = x^16 * P, P = x^16 + x^15 + x^2 + 1, whose register
// holds the 16-bit register in its low half; everything is in the bit-reflected
// order of the wire. With rN(v) the N-bit reversal of v, the constants are
//   K160 = r32(x^160 mod Q) << 1,  K96 = r32(x^96 mod Q) << 1,
//   K64 = r32(x^64 mod Q) << 1,  ReflectedPoly = r33(Q),
//   BarrettQuotient = r33(x^64 div Q).

#include "crc_fold.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <cstring>
#include <immintrin.h>

namespace {

const long long K160 = 0x1d0c2;
const long long K96 = 0x18cc2;
const long long K64 = 0x1bc02;
const long long ReflectedPoly = 0x14003;
const long long BarrettQuotient = 0x1cfffbfff;

// The block x carried 128 bits on: congruent to x * x^128, in 96 bits.
__attribute__((target("pclmul,sse2"))) inline __m128i foldBlock(__m128i x, __m128i foldBy128)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, foldBy128, 0x00),
                         _mm_clmulepi64_si128(x, foldBy128, 0x11));
}

} // namespace

bool ModbusCrcFoldAvailable()
{
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") != 0;
    }();
    return available;
}

__attribute__((target("pclmul,sse2"))) unsigned short
ModbusCrcFold(const unsigned char *data, int length, unsigned short crc)
{
    const __m128i foldBy128 = _mm_set_epi64x(K96, K160); // high: K96, low: K160
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    const int blocks = length / 16;
    const int rest = length % 16;
    const __m128i *block = reinterpret_cast<const __m128i *>(data);

    __m128i x = _mm_xor_si128(_mm_loadu_si128(block), _mm_cvtsi32_si128(crc));
    for (int i = 1; i < blocks; ++i)
        x = _mm_xor_si128(foldBlock(x, foldBy128), _mm_loadu_si128(block + i));
    if (rest > 0) {
        // The last 16 bytes of the message, which end with the rest, and the
        // rest bytes of the register before them, as a block 16 bytes
        // earlier whose leading bytes are zero.
        unsigned char window[48] = {};
        _mm_storeu_si128(reinterpret_cast<__m128i *>(window + 16), x);
        memcpy(window + 32, data + 16 * blocks, size_t(rest));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(window + rest));
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i *>(window + 16 + rest));
        x = _mm_xor_si128(foldBlock(before, foldBy128), last);
    }
    // 128 bits to 64, then to 32.
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, foldBy128, 0x10), _mm_srli_si128(x, 8));
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_cvtsi64_si128(K64), 0x00));
    // Barrett reduction to the 32-bit register.
    const __m128i polyAndQuotient = _mm_set_epi64x(BarrettQuotient, ReflectedPoly);
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), polyAndQuotient, 0x10),
                              low32);
    x = _mm_xor_si128(x, _mm_clmulepi64_si128(t, polyAndQuotient, 0x00));
    return (unsigned short)_mm_cvtsi128_si32(_mm_srli_si128(x, 4));
}

#else

bool ModbusCrcFoldAvailable()
{
    return false;
}

unsigned short ModbusCrcFold(const unsigned char *, int, unsigned short crc)
{
    return crc;
}

#endif
