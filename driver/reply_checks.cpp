// The two checks of the first five bytes of every reply.

#include "modbus_rtu_slave_over_tcp.h"
#include "rtu_frame.h"

#include <cstring>

bool DriverModbusRtuSlaveOverTcp::checkMinADU(AbstractDeviceInterface *device, const char *reply,
                                              int received)
{
    if (received <= 0) {
        setCommError(QStringLiteral("PLC no response"));
        device->close();
        return false;
    }
    if (received != MinReplyLength) {
        setCommError(QStringLiteral("received bytes < %1").arg(MinReplyLength));
        device->close();
        return false;
    }
    FrameReader head(reply);
    const unsigned char station = head.takeByte();
    if (station != (unsigned char)device->stationId()) {
        // A foreign station answered; the link itself is fine.
        setCommError(QString::asprintf("invalid slave id:%d", station));
        return false;
    }
    return true;
}

bool DriverModbusRtuSlaveOverTcp::checkException(const char *reply, unsigned char function)
{
    FrameReader head(reply);
    head.takeByte(); // the station, checked by checkMinADU
    const unsigned char answered = head.takeByte();
    if (answered == function)
        return true;
    if (answered == (function | FnExceptionFlag)) {
        const unsigned char code = head.takeByte();
        unsigned char frame[MinReplyLength];
        memcpy(frame, reply, MinReplyLength);
        if (ModbusRTUSlaveCheckCRC(frame, MinReplyLength))
            setCommError(QString::asprintf("exception code:0x%02X", code));
        else
            setCommError(QStringLiteral("CRC error"));
        return false;
    }
    setCommError(QStringLiteral("invalid response"));
    return false;
}
