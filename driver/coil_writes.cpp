// Writes of coils: all at once with function 15 (write multiple coils), or one
// coil per request with function 5 (write single coil).

#include "modbus_rtu_slave_over_tcp.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

// The value field of a function-5 request.
QByteArray coilValue(bool on)
{
    return on ? QByteArray("\xFF\x00", 2) : QByteArray(2, '\0');
}

bool coilWriteFits(DriverModbusRtuSlaveOverTcp &driver, unsigned short address, int count)
{
    const quint64 coils = quint32(count);
    if (address + coils <= ModbusAddressSpace && coils <= quint64(MaxWriteCoils))
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
    // The bits go out as given, unused bits of the last byte included. The
    // dispatcher fits them to the count; a longer array handed in directly
    // is cut to what one request can carry.
    const int dataLength = qMin(bits.size(), MaxRequestDataLength);
    RtuRequest request;
    FrameWriter out = ModbusRTUSlaveMultipleWriteHead(request, (unsigned char)device->stationId(),
                                                      FnWriteMultipleCoils, address,
                                                      (unsigned short)count, dataLength);
    out.putBytes(bits.constData(), dataLength);
    request.length = out.putCrc();
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
