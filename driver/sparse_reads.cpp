// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

QByteArray DriverModbusRtuSlaveOverTcp::readBytesFromDI(AbstractDeviceInterface *, unsigned short, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}

QByteArray DriverModbusRtuSlaveOverTcp::readBytesFromDO(AbstractDeviceInterface *, unsigned short, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}
