// Writes of coils: all at once with function 15 (write multiple coils), or one
// coil per request with function 5 (write single coil).

#include "modbus_rtu_slave_over_tcp.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

// The most coils one function-15 request of this driver carries.
const quint64 MaxWriteCoils = 1976;

// The value field of a function-5 request.
QByteArray coilValue(bool on)
{
    return on ? QByteArray("\xFF\x00", 2) : QByteArray(2, '\0');
}

bool coilWriteFits(DriverModbusRtuSlaveOverTcp &driver, unsigned short address, int count)
{
    const quint64 coils = quint32(count);
    if (address + coils <= ModbusAddressSpace && coils <= MaxWriteCoils)
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
    // The bits go out as given, unused bits of the last byte included.
    const QByteArray request = ModbusRTUSlaveBuildMultipleWriteRequest(
        (unsigned char)device->stationId(), FnWriteMultipleCoils, address, (unsigned short)count,
        bits);
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
        const QByteArray request = ModbusRTUSlaveBuildSingleWriteRequest(
            (unsigned char)device->stationId(), FnWriteSingleCoil, (unsigned short)(address + i),
            coilValue(bitOrZero(bits, i)));
        if (!writeExchange(device, request))
            return false;
    }
    return true;
}
