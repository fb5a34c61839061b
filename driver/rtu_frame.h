#ifndef RTU_FRAME_H
#define RTU_FRAME_H

// The frame layer: Modbus RTU requests (station, function, big-endian fields,
// CRC low byte first), a cursor that writes and reads frame fields front to
// back, the CRC test of replies, and the protocol limits of this driver.

#include <QByteArray>
#include <QVarLengthArray>

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

// Counts arrive as int; a negative one is taken as the huge unsigned number
// it is, so that the limits refuse it.
inline quint64 unsignedCount(int count) { return quint64(quint32(count)); }

// The test every transaction makes before it sends anything: count registers
// or coils from first stay inside the address space and are at most limit.
inline bool requestFits(unsigned short first, quint64 count, int limit)
{
    return first + count <= ModbusAddressSpace && count <= quint64(limit);
}

// ---- Frame sizes ----
const int CrcLength = 2;
// Receive buffer of every transaction; the longest reply is 256 bytes.
const int ReplyBufferSize = 257;
// Length of the first read of every reply: the length of an exception reply.
const int MinReplyLength = 5;
// Station, function and byte count before the data of a function 1 to 4 reply.
const int ReadReplyHeadLength = 3;
// Station, function, start, quantity and byte count: the head of a function
// 15 or 16 request.
const int MultipleWriteHeadLength = 7;
// The most data bytes a byte count can announce.
const int MaxRequestDataLength = 255;
// The longest request whose byte count announces all of its data.
const int MaxRequestLength = MultipleWriteHeadLength + MaxRequestDataLength + CrcLength;

// Writes the fields of a frame front to back into a buffer of known capacity.
// A field that would pass the end is refused: nothing of it is written, the
// writer stays where it was and refuses everything after it.
class FrameWriter
{
public:
    FrameWriter(char *frame, int capacity) : m_begin(frame), m_at(frame), m_end(frame + capacity) {}

    void putByte(unsigned char value)
    {
        if (char *at = room(1))
            *at = char(value);
    }
    // A 16-bit field, high byte first.
    void putWord(unsigned short value)
    {
        if (char *at = room(2)) {
            at[0] = char(value >> 8);
            at[1] = char(value & 0xFF);
        }
    }
    void putBytes(const char *data, int length);
    // Room for length bytes that the caller fills in, where they start; null
    // when they do not fit.
    char *room(int length)
    {
        if (m_refused || length < 0 || length > m_end - m_at) {
            m_refused = true;
            return nullptr;
        }
        char *start = m_at;
        m_at += length;
        return start;
    }
    // The CRC of everything put so far, low byte first.
    void putCrc();
    int length() const { return int(m_at - m_begin); }
    // No field was refused.
    bool fitted() const { return !m_refused; }

private:
    char *m_begin;
    char *m_at;
    char *m_end;
    bool m_refused = false;
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

// A request as a value. Requests up to MaxRequestLength bytes, every one a
// poll sends, are held inside it, so they are built on the stack; only a
// coil write handed more bits than a byte count announces goes to the heap.
struct RtuRequest
{
    QVarLengthArray<char, MaxRequestLength> bytes;
    unsigned char function;

    const char *data() const { return bytes.constData(); }
    int length() const { return bytes.size(); }
};

// Functions 1 to 4: station, function, start address, quantity, CRC (8 bytes).
RtuRequest ModbusRTUSlaveReadRequest(unsigned char station, unsigned char function,
                                     unsigned short address, unsigned short quantity);
// Functions 5 and 6: station, function, address, the value bytes unchanged, CRC.
RtuRequest ModbusRTUSlaveSingleWriteRequest(unsigned char station, unsigned char function,
                                            unsigned short address, const QByteArray &value);

// The frame of a function 15 or 16 request with dataLength bytes of data,
// written up to the data: the byte count is the low 8 bits of dataLength
// and the frame has room for exactly the data and the CRC after it.
FrameWriter ModbusRTUSlaveMultipleWriteHead(RtuRequest &request, unsigned char station,
                                            unsigned char function, unsigned short address,
                                            unsigned short quantity, int dataLength);

// Functions 15 and 16: the head above, then the dataLength bytes of data that
// writeData(char *) puts into the room it is handed, then the CRC. All data go
// out, however many the byte count can announce.
template <typename WriteData>
RtuRequest ModbusRTUSlaveMultipleWriteRequest(unsigned char station, unsigned char function,
                                              unsigned short address, unsigned short quantity,
                                              int dataLength, WriteData &&writeData)
{
    RtuRequest request;
    FrameWriter out = ModbusRTUSlaveMultipleWriteHead(request, station, function, address,
                                                      quantity, dataLength);
    if (char *data = out.room(dataLength))
        writeData(data);
    out.putCrc();
    return request;
}

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
