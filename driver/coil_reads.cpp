// Reads of coils (function 1) and discrete inputs (function 2) as bit arrays.

#include "modbus_rtu_slave_over_tcp.h"
#include "exchange.h"
#include "area_prefix.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

// 2008 bits fill 251 data bytes: a 256-byte reply, the most the 257-byte
// receive buffer holds.
const quint64 MaxReadBits = 2008;

// DO and FN5DO read coils; every other area reads discrete inputs.
unsigned char bitReadFunction(const QByteArray &prefix)
{
    const bool coils =
        area_prefix::startsWith(prefix, "DO") || area_prefix::startsWith(prefix, "FN5DO");
    return coils ? FnReadCoils : FnReadDiscreteInputs;
}

} // namespace

QByteArray DriverModbusRtuSlaveOverTcp::readDIDOs(AbstractDeviceInterface *device,
                                                  const QByteArray &prefix, unsigned short address,
                                                  int count)
{
    const quint64 bits = quint32(count);
    if (address + bits > ModbusAddressSpace || bits > MaxReadBits) {
        setCommError(QString::asprintf("can't read %d bits from %s%u", count, prefix.constData(),
                                       unsigned(address) + 1));
        return QByteArray();
    }
    const RtuReadRequest request = ModbusRTUSlaveReadRequestFrame(
        (unsigned char)device->stationId(), bitReadFunction(prefix), address, (unsigned short)bits);
    const int dataBytes = int((bits + 7) / 8);
    char reply[ReplyBufferSize];
    if (!exchange(device, request.bytes, RtuReadRequest::Length, reply, dataBytes))
        return QByteArray();
    QByteArray result(reply + 3, dataBytes);
    clearUnnecessaryBits(result, count);
    return result;
}
