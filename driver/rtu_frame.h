#ifndef RTU_FRAME_H
#define RTU_FRAME_H

// The frame layer: Modbus RTU requests (station, function, big-endian fields,
// CRC low byte first), a cursor that writes and reads frame fields front to
// back, the CRC test of replies, and the protocol limits of this driver.

#include <QByteArray>

#include "../tools/modbus_crc.h"

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

// ---- Limits ----
// Register and coil numbers are 16 bits wide: a request may reach up to here.
const quint64 ModbusAddressSpace = 65536;
// Registers per function 3/4 request.
const int MaxReadRegisters = 125;
// Bits per function 1/2 request: 2008 bits fill 251 data bytes, a 256-byte
// reply, the most the receive buffer holds.
const int MaxReadBits = 2008;
// Registers per function 16 request.
const int MaxWriteRegisters = 123;
// Coils per function 15 request.
const int MaxWriteCoils = 1976;

// ---- Frame sizes ----
const int CrcLength = 2;
// Receive buffer of every transaction; the longest reply is 256 bytes.
const int ReplyBufferSize = 257;
// Length of the first read of every reply: the length of an exception reply.
const int MinReplyLength = 5;
// Station, function and byte count before the data of a function 1 to 4 reply.
const int ReadReplyHeadLength = 3;
// The most data bytes a byte count can announce.
const int MaxRequestDataLength = 255;
// Station, function, start, quantity and byte count, the data, the CRC.
const int MaxRequestLength = 7 + MaxRequestDataLength + CrcLength;

// Writes the fields of a frame front to back.
class FrameWriter
{
public:
    explicit FrameWriter(char *frame) : m_begin(frame), m_at(frame) {}

    void putByte(unsigned char value) { *m_at++ = char(value); }
    // A 16-bit field, high byte first.
    void putWord(unsigned short value)
    {
        putByte((unsigned char)(value >> 8));
        putByte((unsigned char)(value & 0xFF));
    }
    void putBytes(const char *data, int length);
    // Room for length bytes that the caller fills in; where they start.
    char *reserve(int length)
    {
        char *start = m_at;
        m_at += length;
        return start;
    }
    // The CRC of everything put so far, low byte first; the frame's length.
    int putCrc();
    int length() const { return int(m_at - m_begin); }

private:
    char *m_begin;
    char *m_at;
};

// Takes the fields of a received frame front to back.
class FrameReader
{
public:
    explicit FrameReader(const char *frame) : m_at(reinterpret_cast<const unsigned char *>(frame)) {}

    unsigned char takeByte() { return *m_at++; }
    // A 16-bit field, high byte first.
    unsigned short takeWord()
    {
        const unsigned short high = takeByte();
        return (unsigned short)((high << 8) | takeByte());
    }
    // The next length bytes.
    const char *take(int length)
    {
        const char *start = reinterpret_cast<const char *>(m_at);
        m_at += length;
        return start;
    }

private:
    const unsigned char *m_at;
};

// A request as a value with room for the longest one: every poll builds one,
// so it lives on the stack.
struct RtuRequest
{
    char bytes[MaxRequestLength];
    int length;
    unsigned char function;
};

// Functions 1 to 4: station, function, start address, quantity, CRC (8 bytes).
RtuRequest ModbusRTUSlaveReadRequest(unsigned char station, unsigned char function,
                                     unsigned short address, unsigned short quantity);
// Functions 5 and 6: station, function, address, the value bytes unchanged, CRC.
RtuRequest ModbusRTUSlaveSingleWriteRequest(unsigned char station, unsigned char function,
                                            unsigned short address, const QByteArray &value);
// Functions 15 and 16: station, function, start, quantity, byte count (the
// low 8 bits of dataLength, at most MaxRequestDataLength); the returned writer
// stands where the caller puts the data, then closes the request with
// `request.length = writer.putCrc()`.
FrameWriter ModbusRTUSlaveMultipleWriteHead(RtuRequest &request, unsigned char station,
                                            unsigned char function, unsigned short address,
                                            unsigned short quantity, int dataLength);

// The same frames as byte arrays.
QByteArray ModbusRTUSlaveBuildReadDevicesRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, unsigned short quantity);
// Function 16: the data copied unchanged after the byte count.
QByteArray ModbusRTUSlaveBuildFn16Request(unsigned char station, unsigned short address,
                                          unsigned short count, const QByteArray &data);

// The frame layer's CRC routine, the Modbus CRC-16 of the support library.
inline unsigned short ModbusRTUSlaveCRC16(const unsigned char *data, unsigned short length)
{
    return ModbusCrc16(data, length);
}

// True when the last two of length bytes are the CRC of the bytes before them.
bool ModbusRTUSlaveCheckCRC(unsigned char *frame, unsigned int length);

#endif // RTU_FRAME_H
