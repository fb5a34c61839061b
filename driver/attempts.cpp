// The retry loop shared by the read and the write dispatcher.

#include "modbus_rtu_slave_over_tcp.h"
#include "device_delay.h"
#include "../tools/tools.h"

bool DriverModbusRtuSlaveOverTcp::runAttempts(AbstractDeviceInterface *device, void *attempt,
                                              bool (*call)(void *))
{
    for (int attempts = 0;; ++attempts) {
        PauseForDevice(device->delayTime());
        clearError();
        if (!isConnected(device) && !device->open()) {
            setCommError(device->errorString());
            return false;
        }
        if (!call(attempt))
            return false;
        // The retry count is asked anew after every failed attempt.
        if (!hasError() || attempts >= device->retryCount())
            return true;
    }
}
