// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

bool DriverModbusRtuSlaveOverTcp::createDBConnection()
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::readDB(const QString &)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::initValidBitAddressesMap(int, unsigned char)
{
    setCommError(QStringLiteral("not implemented"));
    return false;
}

void DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDI(unsigned char, unsigned short)
{
}

void DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDO(unsigned char, unsigned short)
{
}
