// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

QByteArray DriverModbusRtuSlaveOverTcp::readWords(AbstractDeviceInterface *, const QByteArray &, unsigned short, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}

QByteArray DriverModbusRtuSlaveOverTcp::readDWords(AbstractDeviceInterface *, const QByteArray &, unsigned short, int, bool)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}

QByteArray DriverModbusRtuSlaveOverTcp::readBytes(AbstractDeviceInterface *, const QByteArray &, unsigned short, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}

QByteArray DriverModbusRtuSlaveOverTcp::readIRHRbits(AbstractDeviceInterface *, const QByteArray &, unsigned short, unsigned char, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}
