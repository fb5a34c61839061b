// A program of an integrator, built against the installed headers and linked
// to the installed plug-in. It checks two of the plug-in's exported functions
// against known values and exits 0 only when both give them.

#include "settings/driver_interface.h"
#include "tools/lib_crc.h"
#include "tools/modbus_crc.h"
#include "tools/tools.h"
#include "tools/txpackage.h"

#include <cstdio>

int main()
{
    // "Read holding register 1 of station 1"; its CRC goes on the wire as 84 0A.
    const unsigned char request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    unsigned short crc = 0xFFFF;
    for (unsigned char byte : request)
        crc = update_crc_16(crc, byte);
    const bool crcOk = crc == 0x0A84 && ModbusCrc16(request, sizeof request) == crc;
    // A C++ function taking and returning Qt types: one register to host order.
    const bool swapOk = fromBigEndianUShortArray("\x12\x34", 1) == QByteArray("\x34\x12", 2);
    std::printf("CRC %02X %02X, byte swap %s\n", crc & 0xFF, crc >> 8, swapOk ? "right" : "wrong");
    return crcOk && swapOk ? 0 : 1;
}
