#include "address.h"

#include <cctype>

namespace {

const unsigned short MissingNumber = 65535;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The address as 8-bit text. Text of ASCII characters only, the usual case,
// is copied into a buffer on the stack, which is what every ASCII-compatible
// local codec would give; anything else converts with the local 8-bit codec.
class EightBitText
{
public:
    explicit EightBitText(const QString &text)
    {
        const int n = text.size();
        const QChar *chars = text.constData();
        m_ascii = n <= int(sizeof m_buffer);
        for (int i = 0; m_ascii && i < n; ++i)
            m_ascii = chars[i].unicode() < 0x80;
        if (m_ascii) {
            for (int i = 0; i < n; ++i)
                m_buffer[i] = char(chars[i].unicode());
            m_data = m_buffer;
            m_size = n;
        } else {
            m_converted = text.toLocal8Bit();
            m_data = m_converted.constData();
            m_size = m_converted.size();
        }
    }

    const char *data() const { return m_data; }
    int size() const { return m_size; }
    bool ascii() const { return m_ascii; }

private:
    char m_buffer[64];
    QByteArray m_converted;
    const char *m_data = nullptr;
    int m_size = 0;
    bool m_ascii = false;
};

void parseEightBit(const char *text, int n, QByteArray &prefix, unsigned short &number,
                   unsigned char &bit)
{
    int i = 0;

    // FN5DO and FN6HR: the function part is taken whole, whatever it says.
    int prefixEnd = 0;
    if (n > 0 && toupper((unsigned char)text[0]) == 'F') {
        prefixEnd = qMin(3, n);
        i = 3;
    }
    if (i >= n) {
        prefix.append(text, prefixEnd);
        number = MissingNumber;
        return;
    }
    while (isalpha((unsigned char)text[i])) {
        prefixEnd = ++i;
        if (i == n) {
            prefix.append(text, prefixEnd);
            number = MissingNumber;
            return;
        }
    }
    prefix.append(text, prefixEnd);

    if (!isDigit(text[i])) {
        number = MissingNumber;
    } else {
        quint32 value = 0;
        while (i < n && isDigit(text[i]))
            value = 10 * value + quint32(text[i++] - '0');
        number = (unsigned short)(value - 1);
        if (i == n)
            return;
    }

    if (text[i] != '.')
        return;
    unsigned char index = 0;
    for (++i; i < n && isDigit(text[i]); ++i)
        index = (unsigned char)(10 * index + (text[i] - '0'));
    bit = index;
}

// SW anywhere, in any case. For ASCII text a plain scan; otherwise Qt's
// case-insensitive search, whose case folding reaches beyond ASCII.
bool containsSW(const QString &address, const EightBitText &text)
{
    if (!text.ascii())
        return address.indexOf(QLatin1String("SW"), 0, Qt::CaseInsensitive) >= 0;
    const char *data = text.data();
    for (int i = 0; i + 1 < text.size(); ++i) {
        if ((data[i] | 0x20) == 's' && (data[i + 1] | 0x20) == 'w')
            return true;
    }
    return false;
}

} // namespace

void ModbusRTUSlaveParseAddress(const QString &address, QByteArray &prefix,
                                unsigned short &number, unsigned char &bit)
{
    const EightBitText text(address);
    parseEightBit(text.data(), text.size(), prefix, number, bit);
}

DeviceAddress ParseDeviceAddress(const QString &address)
{
    DeviceAddress parsed;
    const EightBitText text(address);
    parseEightBit(text.data(), text.size(), parsed.prefix, parsed.number, parsed.bit);
    parsed.highWordFirst = containsSW(address, text);
    return parsed;
}
