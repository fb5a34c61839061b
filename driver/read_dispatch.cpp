// The runtime's read: gate, one parse of the address, the retry loop, and the
// choice of one read transaction by data type and area prefix.

#include "modbus_rtu_slave_over_tcp.h"
#include "address.h"
#include "area_prefix.h"
#include "../tools/tools.h"

namespace {

// Bit reads of coils and discrete inputs; the leading letters decide, so DOX
// counts as DO here.
bool isCoilOrInputPrefix(const QByteArray &prefix)
{
    return area_prefix::startsWith(prefix, "DO") || area_prefix::startsWith(prefix, "FN5DO")
           || area_prefix::startsWith(prefix, "DI");
}

// Byte reads compare whole prefixes.
bool isRegisterPrefix(const QByteArray &prefix)
{
    return area_prefix::is(prefix, "HR") || area_prefix::is(prefix, "FN6HR")
           || area_prefix::is(prefix, "IR");
}

bool isDiscreteInputPrefix(const QByteArray &prefix) { return area_prefix::is(prefix, "DI"); }

QByteArray readBitItems(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
                        const DeviceAddress &at, int count)
{
    if (isCoilOrInputPrefix(at.prefix))
        return driver.readDIDOs(device, at.prefix, at.number, count);
    return driver.readIRHRbits(device, at.prefix, at.number, at.bit, count);
}

QByteArray readByteItems(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
                         const DeviceAddress &at, int count)
{
    if (isRegisterPrefix(at.prefix))
        return driver.readBytes(device, at.prefix, at.number, count);
    if (isDiscreteInputPrefix(at.prefix))
        return driver.readBytesFromDI(device, at.number, count);
    return driver.readBytesFromDO(device, at.number, count);
}

// One attempt: the transaction of the command's data type and prefix. Returns
// false, with the error set, for a data type this driver does not read.
bool readOnce(DriverModbusRtuSlaveOverTcp &driver, AbstractDeviceInterface *device,
              const CommunicatorCommand &command, const DeviceAddress &at, QByteArray &result)
{
    const int count = command.count();
    switch (command.dataType()) {
    case BitData:
    case SecondBitData:
        result = readBitItems(driver, device, at, count);
        return true;
    case ByteData:
    case BlockData:
        result = readByteItems(driver, device, at, count);
        return true;
    case WordData:
        result = driver.readWords(device, at.prefix, at.number, count);
        return true;
    case DoubleWordData:
        result = driver.readDWords(device, at.prefix, at.number, count, at.highWordFirst);
        return true;
    default:
        driver.setCommError(QStringLiteral("unsupported data type: ") + command.address());
        return false;
    }
}

} // namespace

QByteArray DriverModbusRtuSlaveOverTcp::read(AbstractDeviceInterface *device,
                                             const CommunicatorCommand &command)
{
    if (!ensureValidBitAddresses(device))
        return QByteArray();

    const DeviceAddress at = ParseDeviceAddress(command.address());
    QByteArray result;
    const bool finished = runAttempts(device, [&] {
        return readOnce(*this, device, command, at, result);
    });
    if (!finished)
        return QByteArray();
    if (hasError())
        appendCmdToReadCommError((unsigned char)device->stationId(), command);
    return result;
}
