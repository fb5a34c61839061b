// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

bool DriverModbusRtuSlaveOverTcp::writeCoils(AbstractDeviceInterface *, unsigned short, const QByteArray &, int)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeCoilsWithFN5(AbstractDeviceInterface *, unsigned short, const QByteArray &, int)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}
