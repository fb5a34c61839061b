// Writes of coils: all at once with function 15 (write multiple coils), or one
// coil per request with function 5 (write single coil).

#include "modbus_rtu_slave_over_tcp.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

#include <cstring>

namespace {

// The value field of a function-5 request.
QByteArray coilValue(bool on)
{
    return on ? QByteArray("\xFF\x00", 2) : QByteArray(2, '\0');
}

bool coilWriteFits(DriverModbusRtuSlaveOverTcp &driver, unsigned short address, int count)
{
    if (requestFits(address, unsignedCount(count), MaxWriteCoils))
        return true;
    driver.setCommError(QString::asprintf("can't write %d bits to DO%d", count, int(address) + 1));
    return false;
}

} // namespace

bool DriverModbusRtuSlaveOverTcp::writeCoils(AbstractDeviceInterface *device,
                                             unsigned short address, const QByteArray &bits,
                                             int count)
{
    if (!coilWriteFits(*this, address, count))
        return false;
    // The bits go out as given and whole, unused bits of the last byte
    // included; the byte count keeps the low 8 bits of their length.
    const RtuRequest request = ModbusRTUSlaveMultipleWriteRequest(
        (unsigned char)device->stationId(), FnWriteMultipleCoils, address, (unsigned short)count,
        bits.size(), [&bits](char *out) { memcpy(out, bits.constData(), size_t(bits.size())); });
    return writeExchange(device, request);
}

bool DriverModbusRtuSlaveOverTcp::writeCoilsWithFN5(AbstractDeviceInterface *device,
                                                    unsigned short address,
                                                    const QByteArray &bits, int count)
{
    if (!coilWriteFits(*this, address, count))
        return false;
    // Back to back, no pause; the first failure ends the write and the coils
    // already written stay written.
    for (int i = 0; i < count; ++i) {
        const RtuRequest request = ModbusRTUSlaveSingleWriteRequest(
            (unsigned char)device->stationId(), FnWriteSingleCoil, (unsigned short)(address + i),
            coilValue(bitOrZero(bits, i)));
        if (!writeExchange(device, request))
            return false;
    }
    return true;
}
