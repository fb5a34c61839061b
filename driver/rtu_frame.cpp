#include "rtu_frame.h"

#include <cstring>

void FrameWriter::putBytes(const char *data, int length)
{
    if (char *at = room(length))
        memcpy(at, data, size_t(length));
}

void FrameWriter::putCrc()
{
    const unsigned short crc =
        ModbusRTUSlaveCRC16(reinterpret_cast<const unsigned char *>(m_begin), (unsigned short)length());
    putByte((unsigned char)(crc & 0xFF));
    putByte((unsigned char)(crc >> 8));
}

namespace {

// Station, function and the first 16-bit field of a request of frameLength
// bytes: every request begins so.
FrameWriter requestHead(RtuRequest &request, int frameLength, unsigned char station,
                        unsigned char function, unsigned short address)
{
    request.function = function;
    request.bytes.resize(frameLength);
    FrameWriter out(request.bytes.data(), frameLength);
    out.putByte(station);
    out.putByte(function);
    out.putWord(address);
    return out;
}

// Station, function, address: what a request has before its second field.
const int RequestHeadLength = 4;

} // namespace

RtuRequest ModbusRTUSlaveReadRequest(unsigned char station, unsigned char function,
                                     unsigned short address, unsigned short quantity)
{
    RtuRequest request;
    FrameWriter out = requestHead(request, RequestHeadLength + 2 + CrcLength, station, function, address);
    out.putWord(quantity);
    out.putCrc();
    return request;
}

RtuRequest ModbusRTUSlaveSingleWriteRequest(unsigned char station, unsigned char function,
                                            unsigned short address, const QByteArray &value)
{
    RtuRequest request;
    FrameWriter out = requestHead(request, RequestHeadLength + value.size() + CrcLength, station,
                                  function, address);
    out.putBytes(value.constData(), value.size());
    out.putCrc();
    return request;
}

FrameWriter ModbusRTUSlaveMultipleWriteHead(RtuRequest &request, unsigned char station,
                                            unsigned char function, unsigned short address,
                                            unsigned short quantity, int dataLength)
{
    FrameWriter out = requestHead(request, MultipleWriteHeadLength + dataLength + CrcLength,
                                  station, function, address);
    out.putWord(quantity);
    out.putByte((unsigned char)(dataLength & 0xFF));
    return out;
}

QByteArray ModbusRTUSlaveBuildReadDevicesRequest(unsigned char station, unsigned char function,
                                                 unsigned short address, unsigned short quantity)
{
    const RtuRequest request = ModbusRTUSlaveReadRequest(station, function, address, quantity);
    return QByteArray(request.data(), request.length());
}

QByteArray ModbusRTUSlaveBuildFn16Request(unsigned char station, unsigned short address,
                                          unsigned short count, const QByteArray &data)
{
    const RtuRequest request = ModbusRTUSlaveMultipleWriteRequest(
        station, FnWriteMultipleRegisters, address, count, data.size(),
        [&data](char *out) { memcpy(out, data.constData(), size_t(data.size())); });
    return QByteArray(request.data(), request.length());
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
