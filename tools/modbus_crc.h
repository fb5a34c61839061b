#ifndef MODBUS_CRC_H
#define MODBUS_CRC_H

// The Modbus CRC-16 (reflected polynomial 0xA001, initial value 0xFFFF, no
// final XOR), the checksum that closes every RTU frame. Its low-order byte is
// the first CRC byte on the wire. A pure function over bytes: the driver's
// frame layer, the simulated slave and mbrtu all use this one.

// The CRC of the length bytes at data; 0xFFFF over no bytes.
unsigned short ModbusCrc16(const unsigned char *data, int length);

#endif // MODBUS_CRC_H
