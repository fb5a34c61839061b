#ifndef HOST_TEST_UTIL_H
#define HOST_TEST_UTIL_H

// Frames in the host tests are hex text; CRCs come from the host's own CRC.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <vector>

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

// A text that must be refused with an error that contains the reason.
struct Refusal
{
    const char *text;
    const char *reason;
};

// accepts(text, &error) -> bool is the parser under test.
template <typename Accepts>
void expectRefusals(const std::vector<Refusal> &cases, Accepts accepts)
{
    for (const Refusal &c : cases) {
        QString error;
        EXPECT_FALSE(accepts(QLatin1String(c.text), &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.text << " gave: " << error.toStdString();
    }
}

#endif // HOST_TEST_UTIL_H
