#include "rtu_frame.h"

#include <cstring>

void FrameWriter::putBytes(const char *data, int length)
{
    memcpy(reserve(length), data, size_t(length));
}

int FrameWriter::putCrc()
{
    const unsigned short crc =
        ModbusRTUSlaveCRC16(reinterpret_cast<const unsigned char *>(m_begin), (unsigned short)length());
    putByte((unsigned char)(crc & 0xFF));
    putByte((unsigned char)(crc >> 8));
    return length();
}

namespace {

// Station, function and the first 16-bit field: every request begins so.
FrameWriter requestHead(RtuRequest &request, unsigned char station, unsigned char function,
                        unsigned short address)
{
    request.function = function;
    FrameWriter out(request.bytes);
    out.putByte(station);
    out.putByte(function);
    out.putWord(address);
    return out;
}

} // namespace

RtuRequest ModbusRTUSlaveReadRequest(unsigned char station, unsigned char function,
                                     unsigned short address, unsigned short quantity)
{
    RtuRequest request;
    FrameWriter out = requestHead(request, station, function, address);
    out.putWord(quantity);
    request.length = out.putCrc();
    return request;
}

RtuRequest ModbusRTUSlaveSingleWriteRequest(unsigned char station, unsigned char function,
                                            unsigned short address, const QByteArray &value)
{
    Q_ASSERT(value.size() <= MaxRequestDataLength);
    RtuRequest request;
    FrameWriter out = requestHead(request, station, function, address);
    out.putBytes(value.constData(), value.size());
    request.length = out.putCrc();
    return request;
}

FrameWriter ModbusRTUSlaveMultipleWriteHead(RtuRequest &request, unsigned char station,
                                            unsigned char function, unsigned short address,
                                            unsigned short quantity, int dataLength)
{
    Q_ASSERT(dataLength >= 0 && dataLength <= MaxRequestDataLength);
    FrameWriter out = requestHead(request, station, function, address);
    out.putWord(quantity);
    out.putByte((unsigned char)(dataLength & 0xFF));
    return out;
}

QByteArray ModbusRTUSlaveBuildReadDevicesRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, unsigned short quantity)
{
    const RtuRequest request = ModbusRTUSlaveReadRequest(station, function, address, quantity);
    return QByteArray(request.bytes, request.length);
}

QByteArray ModbusRTUSlaveBuildFn16Request(unsigned char station, unsigned short address,
                                          unsigned short count, const QByteArray &data)
{
    // The byte count keeps the low 8 bits of the data length; the data go
    // out whole, so the frame is built in a byte array of its own size.
    QByteArray frame(7 + data.size() + CrcLength, Qt::Uninitialized);
    FrameWriter out(frame.data());
    out.putByte(station);
    out.putByte(FnWriteMultipleRegisters);
    out.putWord(address);
    out.putWord(count);
    out.putByte((unsigned char)(data.size() & 0xFF));
    out.putBytes(data.constData(), data.size());
    out.putCrc();
    return frame;
}

bool ModbusRTUSlaveCheckCRC(unsigned char *frame, unsigned int length)
{
    if (length < CrcLength)
        return false;
    const unsigned int dataLength = length - CrcLength;
    const unsigned short crc = ModbusRTUSlaveCRC16(frame, (unsigned short)dataLength);
    FrameReader trailer(reinterpret_cast<const char *>(frame + dataLength));
    return trailer.takeByte() == (crc & 0xFF) && trailer.takeByte() == (crc >> 8);
}
