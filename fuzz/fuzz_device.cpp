#include "fuzz_device.h"

#include <cstring>

// The receive buffer of every transaction and the longest RTU frame.
static const int ReceiveBufferSize = 257, MaxFrameSize = 256;
// The bits of the control byte of a read (fuzz_device.h).
static const uint8_t Link = 0x03, AllAsked = 0x80, Header = 0x40, Exception = 0x20, Seal = 0x10;

int FuzzDevice::readData(char *data, int maxlen)
{
    FUZZ_CHECK(data != nullptr && maxlen >= 0, "readData of %d bytes into %p", maxlen, static_cast<void *>(data));
    if (m_replyBuffer == nullptr)
        m_replyBuffer = data;
    const long offset = long(data - m_replyBuffer);
    FUZZ_CHECK(offset >= 0 && offset + maxlen <= ReceiveBufferSize,
               "readData of %d bytes at offset %ld of the %d-byte receive buffer", maxlen, offset, ReceiveBufferSize);
    memset(data, 0xA5, size_t(maxlen));

    const uint8_t control = m_input.byte();
    if ((control & Link) == 0x03) // the link fails
        return -1;
    if ((control & Link) == 0x02) // nothing came
        return 0;
    const int count = qMin((control & AllAsked) ? maxlen : int(m_input.byte()), maxlen);
    QByteArray bytes = m_input.take(size_t(count));
    bytes.append(count - bytes.size(), '\0');
    if ((control & Header) && m_reply.isEmpty()) { // as many of the station and the function code as fit
        const char function = char((m_request.size() > 1 ? m_request.at(1) : 0) | ((control & Exception) ? 0x80 : 0));
        bytes.replace(0, qMin(count, 2), QByteArray(1, char(stationId())).append(function).left(count));
    }
    memcpy(data, bytes.constData(), size_t(count));
    m_reply += bytes;
    // The reply's last two bytes become its CRC. When this read brought only
    // one of them, the other is patched where the previous read put it; the
    // driver checks those bytes only with the CRC, after this read.
    const int n = m_reply.size();
    if ((control & Seal) && n >= 2 && data + count == m_replyBuffer + n) {
        m_reply = withCrc(m_reply.left(n - 2));
        memcpy(m_replyBuffer + n - 2, m_reply.constData() + n - 2, 2);
    }
    return count;
}

int FuzzDevice::writeData(const char *data, int len)
{
    FUZZ_CHECK(data != nullptr && len >= 4 && len <= MaxFrameSize, "a request of %d bytes (an RTU frame holds 4 to %d)",
               len, MaxFrameSize);
    m_request = QByteArray(data, len);
    const unsigned char station = m_request.at(0), function = m_request.at(1);
    FUZZ_CHECK(withCrc(m_request.chopped(2)) == m_request, "a request with a wrong CRC");
    FUZZ_CHECK(station == (unsigned char)stationId(), "a request for station %u to station %d", station, stationId());
    FUZZ_CHECK(QByteArray("\x01\x02\x03\x04\x05\x06\x0F\x10").contains(char(function)),
               "a request with function code %u", function);
    // A new request: what is left of the last reply is gone.
    m_reply.clear();
    m_replyBuffer = nullptr;
    return ++m_writes == m_failingWrite ? len - 1 : len;
}
