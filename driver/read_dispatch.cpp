// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

QByteArray DriverModbusRtuSlaveOverTcp::read(AbstractDeviceInterface *, const CommunicatorCommand &)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}
