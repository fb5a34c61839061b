// Placeholder: not implemented yet.
#include "modbus_rtu_slave_over_tcp.h"

void DriverModbusRtuSlaveOverTcp::appendCmdToReadCommError(unsigned char, const CommunicatorCommand &)
{
}

void DriverModbusRtuSlaveOverTcp::appendCmdToWriteCommError(unsigned char, const CommunicatorCommand &)
{
}
