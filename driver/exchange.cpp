// The send-and-receive sequence every transaction runs on its request.

#include "modbus_rtu_slave_over_tcp.h"
#include "rtu_frame.h"

#include <cstring>

bool DriverModbusRtuSlaveOverTcp::exchange(AbstractDeviceInterface *device,
                                           const RtuRequest &request, char *reply, int restLength)
{
    Q_ASSERT(MinReplyLength + restLength <= ReplyBufferSize);

    if (device->writeData(request.data(), request.length()) != request.length()) {
        setCommError(device->errorString());
        device->close();
        return false;
    }

    memset(reply, 0, ReplyBufferSize);
    const int received = device->readData(reply, MinReplyLength);
    if (!checkMinADU(device, reply, received))
        return false;
    if (!checkException(reply, request.function))
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

bool DriverModbusRtuSlaveOverTcp::writeExchange(AbstractDeviceInterface *device,
                                                const RtuRequest &request)
{
    // Every write is acknowledged by 8 bytes: 5 checked first, then 3.
    const int acknowledgementRest = 3;
    char reply[ReplyBufferSize];
    return exchange(device, request, reply, acknowledgementRest);
}
