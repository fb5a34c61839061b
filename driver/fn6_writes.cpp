// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

bool DriverModbusRtuSlaveOverTcp::writeWordWithFN6(AbstractDeviceInterface *, unsigned short, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeWordsWithFN6(AbstractDeviceInterface *, unsigned short, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeBytesWithFN6(AbstractDeviceInterface *, unsigned short, const QByteArray &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeDWordsWithFN6(AbstractDeviceInterface *, unsigned short, const QByteArray &, bool)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeHRbitWithFN6(AbstractDeviceInterface *, unsigned short, unsigned char, const QByteArray &, int)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}
