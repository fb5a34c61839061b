#include "fuzz_device.h"

#include <cstring>

#include "fuzz_support.h"

namespace {

// The receive buffer of every transaction and the longest RTU frame.
const int ReceiveBufferSize = 257;
const int MaxFrameSize = 256;

enum Control : uint8_t {
    LinkMask = 0x03,
    LinkFails = 0x03,
    NothingCame = 0x02,
    AllAsked = 0x80,
    Header = 0x40,
    Exception = 0x20,
    Seal = 0x10
};

bool knownFunction(unsigned char function)
{
    switch (function) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 15: case 16:
        return true;
    default:
        return false;
    }
}

} // namespace

FuzzDevice::FuzzDevice(FuzzInput &input, int station)
    : m_input(input), m_station(station),
      m_setting(new DeviceSetting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 1, 0))
{
}

FuzzDevice::~FuzzDevice() = default;

int FuzzDevice::readData(char *data, int maxlen)
{
    FUZZ_CHECK(data != nullptr, "readData into no buffer");
    FUZZ_CHECK(maxlen >= 0, "readData asked for %d bytes", maxlen);
    if (m_replyBuffer == nullptr)
        m_replyBuffer = data;
    const long offset = long(data - m_replyBuffer);
    FUZZ_CHECK(offset >= 0 && offset + maxlen <= ReceiveBufferSize,
               "readData of %d bytes at offset %ld of the %d-byte receive buffer", maxlen, offset,
               ReceiveBufferSize);
    memset(data, 0xA5, size_t(maxlen));

    const uint8_t control = m_input.byte();
    if ((control & LinkMask) == LinkFails)
        return -1;
    if ((control & LinkMask) == NothingCame)
        return 0;

    int count = (control & AllAsked) ? maxlen : m_input.byte();
    if (count > maxlen)
        count = maxlen;
    QByteArray bytes = m_input.take(size_t(count));
    bytes.append(count - bytes.size(), '\0');

    if ((control & Header) && m_reply.isEmpty()) {
        if (count > 0)
            bytes[0] = char(m_station);
        if (count > 1) {
            const unsigned char function = m_request.size() > 1 ? (unsigned char)m_request.at(1) : 0;
            bytes[1] = char((control & Exception) ? function | 0x80 : function);
        }
    }
    memcpy(data, bytes.constData(), size_t(count));
    m_reply += bytes;
    // The reply's last two bytes become its CRC. When this read brought only
    // one of them, the other is patched where the previous read put it; the
    // driver checks those bytes only with the CRC, after this read.
    const int n = m_reply.size();
    if ((control & Seal) && n >= 2 && data + count == m_replyBuffer + n) {
        const unsigned short crc = bitwiseCrc16(m_reply.constData(), n - 2);
        m_reply[n - 2] = char(crc & 0xFF);
        m_reply[n - 1] = char(crc >> 8);
        memcpy(m_replyBuffer + n - 2, m_reply.constData() + n - 2, 2);
    }
    return count;
}

int FuzzDevice::writeData(const char *data, int len)
{
    FUZZ_CHECK(data != nullptr && len >= 4, "a request of %d bytes", len);
    FUZZ_CHECK(len <= MaxFrameSize, "a request of %d bytes, more than an RTU frame holds", len);
    const QByteArray request(data, len);
    FUZZ_CHECK(hasValidCrc(request), "a request with a wrong CRC");
    FUZZ_CHECK((unsigned char)request.at(0) == (unsigned char)m_station,
               "a request for station %u from the device of station %d",
               (unsigned char)request.at(0), m_station);
    FUZZ_CHECK(knownFunction((unsigned char)request.at(1)), "a request with function code %u",
               (unsigned char)request.at(1));

    // A new request: what is left of the last reply is gone.
    m_request = request;
    m_reply.clear();
    m_replyBuffer = nullptr;
    ++m_writes;
    return m_writes == m_failingWrite ? len - 1 : len;
}

bool FuzzDevice::open()
{
    if (m_openFails)
        return false;
    m_open = true;
    return true;
}

void FuzzDevice::close() { m_open = false; }

DeviceSetting *FuzzDevice::deviceSetting() const { return m_setting.get(); }

QString FuzzDevice::errorString() const { return QStringLiteral("fuzz link failed"); }
