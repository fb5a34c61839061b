// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

QByteArray DriverModbusRtuSlaveOverTcp::readDIDOs(AbstractDeviceInterface *, const QByteArray &, unsigned short, int)
{
    setCommError(QStringLiteral("not implemented"));
    return QByteArray();
}
