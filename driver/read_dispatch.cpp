// The runtime's read: gate, one parse of the address, the retry loop, and the
// choice of one read transaction by data type and area prefix.

#include "modbus_rtu_slave_over_tcp.h"
#include "address.h"
#include "area_prefix.h"
#include "../tools/served_data_type.h"
#include "../tools/tools.h"

namespace {

QByteArray readBitItems(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
                        const DeviceAddress &at, int count)
{
    if (area_prefix::readsCoilOrInputBits(at.prefix))
        return driver.readDIDOs(device, at.prefix, at.number, count);
    return driver.readIRHRbits(device, at.prefix, at.number, at.bit, count);
}

QByteArray readByteItems(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
                         const DeviceAddress &at, int count)
{
    if (area_prefix::isRegisterArea(at.prefix))
        return driver.readBytes(device, at.prefix, at.number, count);
    if (area_prefix::isDiscreteInputArea(at.prefix))
        return driver.readBytesFromDI(device, at.number, count);
    return driver.readBytesFromDO(device, at.number, count);
}

// One attempt: the transaction of the command's data type and prefix.
Attempted<QByteArray> readOnce(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
                               const CommunicatorCommand &command, const DeviceAddress &at)
{
    const int count = command.count();
    QByteArray data;
    switch (servedDataType(command.dataType())) {
    case BitData:
        data = readBitItems(driver, device, at, count);
        break;
    case ByteData:
        data = readByteItems(driver, device, at, count);
        break;
    case WordData:
        data = driver.readWords(device, at.prefix, at.number, count);
        break;
    case DoubleWordData:
        data = driver.readDWords(device, at.prefix, at.number, count, at.highWordFirst);
        break;
    default:
        driver.setCommError(QStringLiteral("unsupported data type: ") + command.address());
        return stopped<QByteArray>();
    }
    return judgedByError(driver.hasError(), std::move(data));
}

} // namespace

QByteArray DriverModbusRtuSlaveOverTcp::read(AbstractDeviceInterface *device,
                                             const CommunicatorCommand &command)
{
    if (!ensureValidBitAddresses(device))
        return QByteArray();

    const DeviceAddress at = ParseDeviceAddress(command.address());
    Attempted<QByteArray> last =
        runAttempts(device, [&] { return readOnce(*this, device, command, at); });
    // The data of the last attempt go back, failed or not.
    if (last.outcome == AttemptOutcome::Retry)
        appendCmdToReadCommError((unsigned char)device->stationId(), command);
    // Moved, not copied: a copy and its release cost two atomic counts a read
    // (bench/request_cost_bench).
    return std::move(last.result);
}
