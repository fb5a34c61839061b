// Reads of coils (function 1) and discrete inputs (function 2) as bit arrays.

#include "modbus_rtu_slave_over_tcp.h"
#include "area_prefix.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

QByteArray DriverModbusRtuSlaveOverTcp::readDIDOs(AbstractDeviceInterface *device,
                                                  const QByteArray &prefix, unsigned short address,
                                                  int count)
{
    const quint64 bits = unsignedCount(count);
    if (!requestFits(address, bits, MaxReadBits)) {
        setCommError(QString::asprintf("can't read %d bits from %s%u", count, prefix.constData(),
                                       unsigned(address) + 1));
        return QByteArray();
    }
    const unsigned char function =
        area_prefix::readsCoils(prefix) ? FnReadCoils : FnReadDiscreteInputs;
    const RtuRequest request = ModbusRTUSlaveReadRequest((unsigned char)device->stationId(),
                                                         function, address, (unsigned short)bits);
    const int dataBytes = int((bits + 7) / 8);
    char reply[ReplyBufferSize];
    if (!exchange(device, request, reply, dataBytes))
        return QByteArray();
    FrameReader in(reply);
    in.take(ReadReplyHeadLength);
    QByteArray result(in.take(dataBytes), dataBytes);
    clearUnnecessaryBits(result, count);
    return result;
}
