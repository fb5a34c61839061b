#ifndef HOST_TEST_UTIL_H
#define HOST_TEST_UTIL_H

// Frames in the host tests are hex text; CRCs come from the host's own CRC.

#include <QByteArray>
#include <QString>

#include "host/rtu_crc.h"
#include "host/tcp_device.h"

// "01 03 00 63" (blanks optional) -> bytes.
inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The frame of the hex text with its CRC appended.
inline QByteArray rtuFrame(const char *text)
{
    return rtu::withCrc(hexBytes(text));
}

// Bytes as "01 03 02", for readable failures.
inline QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// Sends the request and reads up to maxlen reply bytes in one call.
inline QByteArray exchange(TcpDevice &device, const QByteArray &request, int maxlen)
{
    if (device.writeData(request.constData(), request.size()) != request.size())
        return QByteArray("write failed");
    QByteArray reply(maxlen, '\0');
    reply.resize(qMax(device.readData(reply.data(), maxlen), 0));
    return reply;
}

#endif // HOST_TEST_UTIL_H
