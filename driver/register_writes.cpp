// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

bool DriverModbusRtuSlaveOverTcp::writeWords(AbstractDeviceInterface *, unsigned short, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeDWords(AbstractDeviceInterface *, unsigned short, const QByteArray &, bool)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeBytes(AbstractDeviceInterface *, unsigned short, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeHRbit(AbstractDeviceInterface *, unsigned short, unsigned char, const QByteArray &, int)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}
