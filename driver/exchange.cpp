// The exchange of a write request built as a byte array.

#include "exchange.h"

bool DriverModbusRtuSlaveOverTcp::writeExchange(AbstractDeviceInterface *device,
                                                const QByteArray &request)
{
    return writeExchange(device, request.constData(), request.size());
}
