// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

bool DriverModbusRtuSlaveOverTcp::write(AbstractDeviceInterface *, const CommunicatorCommand &, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}
