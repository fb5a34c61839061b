// What every attempt of the retry loop starts with.

#include "modbus_rtu_slave_over_tcp.h"
#include "device_delay.h"
#include "../tools/tools.h"

bool DriverModbusRtuSlaveOverTcp::beginAttempt(AbstractDeviceInterface *device)
{
    PauseForDevice(device->delayTime());
    clearError();
    if (!isConnected(device) && !device->open()) {
        setCommError(device->errorString());
        return false;
    }
    return true;
}
