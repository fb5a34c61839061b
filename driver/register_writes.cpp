// Writes of holding registers with function 16 (write multiple registers):
// words, double words, bytes, and bits inside registers by read-modify-write.

#include "modbus_rtu_slave_over_tcp.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

// Padded to whole double words the largest write still fits one request.
static_assert(MaxWriteRegisters * 2 + 2 <= MaxRequestDataLength,
              "the largest register write must fit RtuRequest");

// Registers of whole byte pairs; a trailing odd byte counts only where a
// payload says so.
quint64 registersOf(int bytes) { return quint64(bytes) / 2; }

RegisterPayload makePayload(const char *item, quint64 registers, const QByteArray &data, bool longs)
{
    RegisterPayload payload{item, registers, data, longs, 0};
    payload.requestRegisters = (unsigned short)(payload.wireLength() / 2);
    return payload;
}

} // namespace

RegisterPayload wordPayload(const QByteArray &data)
{
    RegisterPayload words = makePayload("word", registersOf(data.size()), data, false);
    // Only whole words count; the callers always give an even size.
    words.requestRegisters = (unsigned short)words.registers;
    return words;
}

RegisterPayload doubleWordPayload(const QByteArray &data, bool highWordFirst)
{
    // The limits count the registers of the data as given, before any padding.
    return makePayload("double word", registersOf(data.size()), data, highWordFirst);
}

RegisterPayload bytePayload(const QByteArray &data)
{
    return makePayload("byte", (quint64(data.size()) + 1) / 2, data, false);
}

bool DriverModbusRtuSlaveOverTcp::registerWriteFits(unsigned short address, quint64 registers,
                                                    const char *item)
{
    if (address + registers <= ModbusAddressSpace && registers <= quint64(MaxWriteRegisters))
        return true;
    setCommError(QString::asprintf("can't write any %s to HR%d", item, int(address) + 1));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeRegistersFn16(AbstractDeviceInterface *device,
                                                     unsigned short address,
                                                     const RegisterPayload &payload)
{
    if (!registerWriteFits(address, payload.registers, payload.item))
        return false;
    // The register values go straight into the request.
    const int dataLength = payload.wireLength();
    RtuRequest request;
    FrameWriter out = ModbusRTUSlaveMultipleWriteHead(request, (unsigned char)device->stationId(),
                                                      FnWriteMultipleRegisters, address,
                                                      payload.requestRegisters, dataLength);
    payload.writeWire(out.reserve(dataLength));
    request.length = out.putCrc();
    return writeExchange(device, request);
}

bool DriverModbusRtuSlaveOverTcp::writeWords(AbstractDeviceInterface *device,
                                             unsigned short address, const QByteArray &data)
{
    return writeRegistersFn16(device, address, wordPayload(data));
}

bool DriverModbusRtuSlaveOverTcp::writeDWords(AbstractDeviceInterface *device,
                                              unsigned short address, const QByteArray &data,
                                              bool highWordFirst)
{
    return writeRegistersFn16(device, address, doubleWordPayload(data, highWordFirst));
}

bool DriverModbusRtuSlaveOverTcp::writeBytes(AbstractDeviceInterface *device,
                                             unsigned short address, const QByteArray &data)
{
    return writeRegistersFn16(device, address, bytePayload(data));
}

QByteArray DriverModbusRtuSlaveOverTcp::readRegistersWithBits(AbstractDeviceInterface *device,
                                                              unsigned short address,
                                                              unsigned char bit,
                                                              const QByteArray &bits, int count)
{
    // A negative count goes to the read as it is, which refuses it.
    const int words = count < 0 ? count : int(NumOfBitsToNumOfWords(bit, unsigned(count)));
    QByteArray registers = readWords(device, QByteArrayLiteral("HR"), address, words);
    if (registers.isEmpty())
        return registers;
    // Register address + j/16 holds bit j in its bit j mod 16: the registers
    // read, little-endian, form one bit array.
    for (int i = 0; i < count; ++i)
        setBit(registers, bit + i, bitOrZero(bits, i));
    return registers;
}

bool DriverModbusRtuSlaveOverTcp::writeHRbit(AbstractDeviceInterface *device,
                                             unsigned short address, unsigned char bit,
                                             const QByteArray &bits, int count)
{
    const QByteArray registers = readRegistersWithBits(device, address, bit, bits, count);
    // Nothing read is a failure only when the read reported one: no bits from
    // bit 0 on touch no register, and the read of none succeeds empty.
    if (registers.isEmpty())
        return !hasError();
    return writeWords(device, address, registers);
}
