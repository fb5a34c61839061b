// Writes of holding registers with function 6 (write single register): the
// data are split into registers, written one request each, in ascending order.

#include "modbus_rtu_slave_over_tcp.h"
#include "device_delay.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

const int RegisterBytes = 2;
const bool PauseBetweenRegisters = true;
const bool BackToBack = false;

} // namespace

bool DriverModbusRtuSlaveOverTcp::writeWordWithFN6(AbstractDeviceInterface *device,
                                                   unsigned short address,
                                                   const QByteArray &wireValue)
{
    if (!registerWriteFits(address, quint64(wireValue.size()) / RegisterBytes, "word"))
        return false;
    const RtuRequest request = ModbusRTUSlaveSingleWriteRequest(
        (unsigned char)device->stationId(), FnWriteSingleRegister, address, wireValue);
    return writeExchange(device, request);
}

bool DriverModbusRtuSlaveOverTcp::writeSingleRegisters(AbstractDeviceInterface *device,
                                                       unsigned short address,
                                                       const QByteArray &wire, bool pauseBetween)
{
    // Empty data write nothing. The first register goes out at once: the
    // dispatcher has just paused before the attempt.
    for (int k = 0; RegisterBytes * k < wire.size(); ++k) {
        if (k > 0 && pauseBetween)
            PauseForDevice(device->delayTime());
        if (!writeWordWithFN6(device, (unsigned short)(address + k),
                              wire.mid(RegisterBytes * k, RegisterBytes)))
            return false;
    }
    return true;
}

bool DriverModbusRtuSlaveOverTcp::writeRegistersFn6(AbstractDeviceInterface *device,
                                                    unsigned short address,
                                                    const RegisterPayload &payload)
{
    return registerWriteFits(address, payload.checkedRegisters(), payload.item())
           && writeSingleRegisters(device, address, payload.wire(), PauseBetweenRegisters);
}

bool DriverModbusRtuSlaveOverTcp::writeWordsWithFN6(AbstractDeviceInterface *device,
                                                    unsigned short address, const QByteArray &data)
{
    return writeRegistersFn6(device, address, wordPayload(data));
}

bool DriverModbusRtuSlaveOverTcp::writeBytesWithFN6(AbstractDeviceInterface *device,
                                                    unsigned short address, const QByteArray &data)
{
    return writeRegistersFn6(device, address, bytePayload(data));
}

bool DriverModbusRtuSlaveOverTcp::writeDWordsWithFN6(AbstractDeviceInterface *device,
                                                     unsigned short address,
                                                     const QByteArray &data, bool highWordFirst)
{
    return writeRegistersFn6(device, address, doubleWordPayload(data, highWordFirst));
}

bool DriverModbusRtuSlaveOverTcp::writeHRbitWithFN6(AbstractDeviceInterface *device,
                                                    unsigned short address, unsigned char bit,
                                                    const QByteArray &bits, int count)
{
    const QByteArray registers = readRegistersWithBits(device, address, bit, bits, count);
    // As in writeHRbit: an empty read without an error leaves nothing to write.
    if (registers.isEmpty())
        return !hasError();
    // Every register read goes back, changed or not, without pauses.
    return writeSingleRegisters(device, address, toBigEndianUShortArray(registers), BackToBack);
}
