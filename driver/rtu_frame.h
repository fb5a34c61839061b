#ifndef RTU_FRAME_H
#define RTU_FRAME_H

// The frame layer: Modbus RTU requests (station, function, big-endian fields,
// CRC low byte first) and the CRC test of replies.

#include <QByteArray>

// Standard Modbus CRC-16 over length bytes; its low-order byte is the first
// CRC byte on the wire.
unsigned short ModbusRTUSlaveCRC16(const unsigned char *data, unsigned short length);
// Appends the CRC of every byte of the frame, in wire order.
void ModbusRTUSlaveAppendCRC(QByteArray &frame);

// A read request as a value: every poll builds one, so it lives on the stack.
struct RtuReadRequest
{
    static constexpr int Length = 8;
    char bytes[Length];
};

// 8 bytes: station, function (1 to 4), start address, quantity, CRC.
RtuReadRequest ModbusRTUSlaveReadRequestFrame(unsigned char station, unsigned char function,
                                              unsigned short address, unsigned short quantity);
// The same frame as a byte array.
QByteArray ModbusRTUSlaveBuildReadDevicesRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, unsigned short quantity);
// Functions 15 and 16: station, function, start, quantity, byte count, then
// the data from here on.
const int MultipleWriteHeaderLength = 7;

// A multiple-write request as a value, with room for as many data bytes as
// the byte count can announce: a register write builds one per request, so
// it lives on the stack.
struct RtuWriteRequest
{
    static constexpr int MaxDataLength = 255;
    static constexpr int MaxLength = MultipleWriteHeaderLength + MaxDataLength + 2;
    char bytes[MaxLength];
    int length;

    char *data() { return bytes + MultipleWriteHeaderLength; }
};
// The head of a function-15 or -16 request with room for dataLength data
// bytes (at most MaxDataLength), which the caller writes at data() before
// sealing.
void ModbusRTUSlaveMultipleWriteFrame(RtuWriteRequest &frame, unsigned char station,
                                      unsigned char function, unsigned short address,
                                      unsigned short quantity, int dataLength);
// Writes the CRC of the request's data and head after them.
void ModbusRTUSlaveSealFrame(RtuWriteRequest &frame);
// Function 16: station, 0x10, start, register count, byte count, data, CRC.
QByteArray ModbusRTUSlaveBuildFn16Request(unsigned char station, unsigned short address,
                                          unsigned short count, const QByteArray &data);
// Functions 15 and 16: station, function, start, quantity, byte count (low 8
// bits of the data size), the data unchanged, CRC.
QByteArray ModbusRTUSlaveBuildMultipleWriteRequest(unsigned char station, unsigned char function,
                                                   unsigned short address, unsigned short quantity,
                                                   const QByteArray &data);
// Functions 5 and 6: station, function, address, the value bytes unchanged, CRC.
QByteArray ModbusRTUSlaveBuildSingleWriteRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, const QByteArray &value);

// True when the last two of length bytes are the CRC of the bytes before them.
bool ModbusRTUSlaveCheckCRC(unsigned char *frame, unsigned int length);

// Function codes this driver speaks.
enum ModbusFunction : unsigned char {
    FnReadCoils = 0x01,
    FnReadDiscreteInputs = 0x02,
    FnReadHoldingRegisters = 0x03,
    FnReadInputRegisters = 0x04,
    FnWriteSingleCoil = 0x05,
    FnWriteSingleRegister = 0x06,
    FnWriteMultipleCoils = 0x0F,
    FnWriteMultipleRegisters = 0x10,
    FnExceptionFlag = 0x80
};

// Register and coil numbers are 16 bits wide: a request may reach up to here.
const quint64 ModbusAddressSpace = 65536;

// Receive buffer of every transaction; the longest reply is 256 bytes.
const int ReplyBufferSize = 257;
// Length of the first read of every reply: the length of an exception reply.
const int MinReplyLength = 5;

#endif // RTU_FRAME_H
