#ifndef EXCHANGE_H
#define EXCHANGE_H

// The send-and-receive sequence every transaction runs on its request, and
// its form for writes. Both are compiled into each transaction, so that the
// receive that waits for the reply sits fewer calls deep: after the wait the
// processor mispredicts every return into a frame from before it.

#include "modbus_rtu_slave_over_tcp.h"
#include "rtu_frame.h"

#include <cstring>

__attribute__((always_inline)) inline bool
DriverModbusRtuSlaveOverTcp::exchange(AbstractDeviceInterface *device, const char *request,
                                      int requestLength, char *reply, int restLength)
{
    Q_ASSERT(MinReplyLength + restLength <= ReplyBufferSize);

    if (device->writeData(request, requestLength) != requestLength) {
        setCommError(device->errorString());
        device->close();
        return false;
    }

    memset(reply, 0, ReplyBufferSize);
    const int received = device->readData(reply, MinReplyLength);
    if (!checkMinADU(device, reply, received))
        return false;
    const unsigned char function = requestLength > 1 ? (unsigned char)request[1] : 0;
    if (!checkException(reply, function))
        return false;

    if (device->readData(reply + MinReplyLength, restLength) != restLength) {
        setCommError(QStringLiteral("packet loss"));
        device->close();
        return false;
    }
    if (!ModbusRTUSlaveCheckCRC(reinterpret_cast<unsigned char *>(reply),
                                unsigned(MinReplyLength + restLength))) {
        setCommError(QStringLiteral("CRC error"));
        return false;
    }
    return true;
}

__attribute__((always_inline)) inline bool
DriverModbusRtuSlaveOverTcp::writeExchange(AbstractDeviceInterface *device, const char *request,
                                           int requestLength)
{
    // Every write is acknowledged by 8 bytes: 5 checked first, then 3.
    const int acknowledgementRest = 3;
    char reply[ReplyBufferSize];
    return exchange(device, request, requestLength, reply, acknowledgementRest);
}

#endif // EXCHANGE_H
