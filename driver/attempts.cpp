// The retry loop shared by the read and the write dispatcher.

#include "modbus_rtu_slave_over_tcp.h"
#include "../tools/tools.h"

bool DriverModbusRtuSlaveOverTcp::runAttempts(AbstractDeviceInterface *device,
                                              const std::function<bool()> &attempt)
{
    for (int attempts = 0;; ++attempts) {
        HRSleep(device->delayTime());
        clearError();
        if (!isConnected(device) && !device->open()) {
            setCommError(device->errorString());
            return false;
        }
        if (!attempt())
            return false;
        // The retry count is asked anew after every failed attempt.
        if (!hasError() || attempts >= device->retryCount())
            return true;
    }
}
