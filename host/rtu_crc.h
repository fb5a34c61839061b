#ifndef HOST_RTU_CRC_H
#define HOST_RTU_CRC_H

// The Modbus RTU CRC-16 of the runtime stand-in and the simulated slave
// (reflected polynomial 0xA001, initial value 0xFFFF, low byte first on the
// wire). Kept here so that host/ needs nothing from the plug-in.

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace rtu {

uint16_t crc16(const uint8_t *data, std::size_t length);
uint16_t crc16(const QByteArray &bytes);
// Appends the CRC of everything in frame, low byte first.
void appendCrc(QByteArray &frame);
// The frame's last two bytes are the CRC of the bytes before them.
bool hasValidCrc(const uint8_t *frame, std::size_t length);
bool hasValidCrc(const QByteArray &frame);
// The frame with its CRC appended.
QByteArray withCrc(QByteArray frame);

} // namespace rtu

#endif // HOST_RTU_CRC_H
