// Reads of holding registers (function 3) and input registers (function 4).

#include "modbus_rtu_slave_over_tcp.h"
#include "area_prefix.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

namespace {

// The register data of a reply, after station, function and byte count,
// which the exchange has checked.
const char *registerData(const char *reply)
{
    FrameReader in(reply);
    in.take(ReadReplyHeadLength);
    return in.take(0);
}

} // namespace

bool DriverModbusRtuSlaveOverTcp::requestRegisters(AbstractDeviceInterface *device,
                                                   const QByteArray &prefix, unsigned short address,
                                                   quint64 registers, const char *item, char *reply)
{
    if (!requestFits(address, registers, MaxReadRegisters)) {
        setCommError(QString::asprintf("can't read any %s from %s%d", item, prefix.constData(),
                                       int(address) + 1));
        return false;
    }
    const unsigned char function =
        area_prefix::readsHoldingRegisters(prefix) ? FnReadHoldingRegisters : FnReadInputRegisters;
    const RtuRequest request = ModbusRTUSlaveReadRequest((unsigned char)device->stationId(),
                                                         function, address, (unsigned short)registers);
    return exchange(device, request, reply, 2 * int(registers));
}

QByteArray DriverModbusRtuSlaveOverTcp::registerResult(const char *wire, int count, bool longs,
                                                       int size)
{
    if (count <= 0)
        return QByteArray();
    const int converted = count * (longs ? 4 : 2);
    // While the runtime still holds the last result, writing to it would
    // copy it first: then a new one is started.
    if (lastRegisterResult.isDetached())
        lastRegisterResult.resize(converted);
    else
        lastRegisterResult = QByteArray(converted, Qt::Uninitialized);
    char *out = lastRegisterResult.data();
    longs ? copyFromBigEndianULongArray(wire, count, out) : copyFromBigEndianUShortArray(wire, count, out);
    lastRegisterResult.resize(size);
    return lastRegisterResult;
}

QByteArray DriverModbusRtuSlaveOverTcp::readWords(AbstractDeviceInterface *device,
                                                  const QByteArray &prefix, unsigned short address,
                                                  int count)
{
    char reply[ReplyBufferSize];
    if (!requestRegisters(device, prefix, address, unsignedCount(count), "word", reply))
        return QByteArray();
    return registerResult(registerData(reply), count, false, 2 * count);
}

QByteArray DriverModbusRtuSlaveOverTcp::readDWords(AbstractDeviceInterface *device,
                                                   const QByteArray &prefix, unsigned short address,
                                                   int count, bool highWordFirst)
{
    char reply[ReplyBufferSize];
    if (!requestRegisters(device, prefix, address, 2 * unsignedCount(count), "double word", reply))
        return QByteArray();
    // High word first: each value's four bytes reverse as a whole. Low word
    // first: only the bytes of each register swap.
    const char *data = registerData(reply);
    return highWordFirst ? registerResult(data, count, true, 4 * count)
                         : registerResult(data, 2 * count, false, 4 * count);
}

QByteArray DriverModbusRtuSlaveOverTcp::readBytes(AbstractDeviceInterface *device,
                                                  const QByteArray &prefix, unsigned short address,
                                                  int count)
{
    char reply[ReplyBufferSize];
    const quint64 registers = (unsignedCount(count) + 1) / 2;
    if (!requestRegisters(device, prefix, address, registers, "byte", reply))
        return QByteArray();
    // Byte k is the low byte of register k/2 when k is even, its high byte when odd.
    return registerResult(registerData(reply), int(registers), false, count);
}

QByteArray DriverModbusRtuSlaveOverTcp::readIRHRbits(AbstractDeviceInterface *device,
                                                     const QByteArray &prefix,
                                                     unsigned short address, unsigned char bit,
                                                     int count)
{
    // Registers holding bits bit .. bit+count-1; a count beyond any limit is
    // handed on as too many registers, so readWords refuses it with its text.
    const quint64 words = (bit + unsignedCount(count) + 15) / 16;
    QByteArray bits = readWords(device, prefix, address, int(qMin<quint64>(words, 0x7FFFFFFF)));
    if (bits.isEmpty())
        return bits;
    RightShiftNBits(bits, bit);
    FitBitArray(bits, count);
    clearUnnecessaryBits(bits, count);
    return bits;
}
