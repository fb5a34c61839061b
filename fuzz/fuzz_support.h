#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

// What every fuzz target shares: failing a run on a broken property, the
// application object and a cursor over the input. The independent CRC, the
// scripted device and the project files are the tests' own (tests/support).

#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "support/frames.h"

// Prints the message and aborts, which libFuzzer reports as a crash.
[[noreturn]] void fuzzFail(const char *format, ...) __attribute__((format(printf, 1, 2)));
#define FUZZ_CHECK(condition, ...)                                                             \
    do {                                                                                       \
        if (!(condition))                                                                      \
            fuzzFail(__VA_ARGS__);                                                             \
    } while (0)

// The QCoreApplication every target runs under, as the driver does inside the
// runtime; debug and warning output is dropped so that runs stay readable.
void startApplication(const char *argv0);

// A cursor over one fuzz input. Every target reads its input front to back
// in a fixed layout, so seed inputs can be written by hand; once the input
// runs out every value reads as 0 and every byte string as empty.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // Big-endian, as on the wire.
    uint16_t word()
    {
        const uint16_t high = byte();
        return uint16_t(high << 8 | byte());
    }
    int32_t int32()
    {
        const uint32_t high = word();
        return int32_t(high << 16 | word());
    }
    // Up to n bytes: fewer when the input ends first.
    QByteArray take(size_t n)
    {
        const size_t length = n < m_size - m_pos ? n : m_size - m_pos;
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), int(length));
        m_pos += length;
        return bytes;
    }
    QByteArray rest() { return take(m_size - m_pos); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif // FUZZ_SUPPORT_H
