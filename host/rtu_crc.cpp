// Table-driven Modbus CRC-16; the table is computed at compile time.

#include "host/rtu_crc.h"

#include <array>

namespace rtu {
namespace {

constexpr uint16_t kPolynomial = 0xA001;
constexpr uint16_t kInitialValue = 0xFFFF;
constexpr std::size_t kCrcSize = 2;

constexpr std::array<uint16_t, 256> makeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ kPolynomial) : uint16_t(crc >> 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = makeTable();

} // namespace

uint16_t crc16(const uint8_t *data, std::size_t length)
{
    uint16_t crc = kInitialValue;
    for (std::size_t i = 0; i < length; ++i)
        crc = uint16_t((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

uint16_t crc16(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
}

void appendCrc(QByteArray &frame)
{
    const uint16_t crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

bool hasValidCrc(const uint8_t *frame, std::size_t length)
{
    if (length < kCrcSize)
        return false;
    const uint16_t crc = crc16(frame, length - kCrcSize);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

bool hasValidCrc(const QByteArray &frame)
{
    return hasValidCrc(reinterpret_cast<const uint8_t *>(frame.constData()), std::size_t(frame.size()));
}

QByteArray withCrc(QByteArray frame)
{
    appendCrc(frame);
    return frame;
}

} // namespace rtu
