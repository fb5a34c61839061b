// Writes of holding registers with function 16 (write multiple registers):
// words, double words, bytes, and bits inside registers by read-modify-write.

#include "modbus_rtu_slave_over_tcp.h"
#include "register_payload.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

// Padded to whole double words the largest register write is still held
// inside its RtuRequest, off the heap.
static_assert(MaxWriteRegisters * 2 + 2 <= MaxRequestDataLength,
              "the largest register write must fit RtuRequest's own storage");

RegisterPayload wordPayload(const QByteArray &data) { return {RegisterPayload::Words, data}; }

RegisterPayload doubleWordPayload(const QByteArray &data, bool highWordFirst)
{
    return {highWordFirst ? RegisterPayload::DoubleWordsHighFirst : RegisterPayload::DoubleWordsLowFirst,
            data};
}

RegisterPayload bytePayload(const QByteArray &data) { return {RegisterPayload::Bytes, data}; }

bool DriverModbusRtuSlaveOverTcp::registerWriteFits(unsigned short address, quint64 registers,
                                                    const char *item)
{
    if (requestFits(address, registers, MaxWriteRegisters))
        return true;
    setCommError(QString::asprintf("can't write any %s to HR%d", item, int(address) + 1));
    return false;
}

bool DriverModbusRtuSlaveOverTcp::writeRegistersFn16(AbstractDeviceInterface *device,
                                                     unsigned short address,
                                                     const RegisterPayload &payload)
{
    if (!registerWriteFits(address, payload.checkedRegisters(), payload.item()))
        return false;
    // The register values are converted straight into the request.
    const RtuRequest request = ModbusRTUSlaveMultipleWriteRequest(
        (unsigned char)device->stationId(), FnWriteMultipleRegisters, address, payload.quantity(),
        payload.wireLength(), [&payload](char *out) { payload.writeWire(out); });
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
    // readWords keeps sharing the buffer of its result for the next read
    // (registerResult): the first bit set below copies it, so the next read
    // does not overwrite the registers being written back.
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
