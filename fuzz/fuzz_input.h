#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

// A cursor over one fuzz input. Every target reads its input front to back
// in a fixed layout, so seed inputs can be written by hand; once the input
// runs out every value reads as 0 and every byte string as empty.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    size_t remaining() const { return m_size - m_pos; }
    bool empty() const { return m_pos >= m_size; }

    uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
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
        const size_t length = n < remaining() ? n : remaining();
        QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), int(length));
        m_pos += length;
        return bytes;
    }
    QByteArray rest() { return take(remaining()); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif // FUZZ_INPUT_H
