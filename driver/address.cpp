#include "address.h"

#include <cctype>
#include <cstring>

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

// Letters as the C library's isalpha sees them. ASCII bytes are tested
// here, since every locale agrees on them; only other bytes ask the locale.
bool isLetter(unsigned char c)
{
    if (c < 0x80)
        return unsigned((c | 0x20) - 'a') < 26;
    return isalpha(c) != 0;
}

// The parts of an address; the prefix is text[0 .. prefixLength).
struct AddressParts
{
    int prefixLength = 0;
    unsigned short number = MissingNumber;
    bool hasBit = false;
    unsigned char bit = 0;
};

AddressParts parseEightBit(const char *text, int n)
{
    AddressParts parts;
    int i = 0;

    // FN5DO and FN6HR: the function part is taken whole, whatever it says.
    if (n > 0 && (text[0] | 0x20) == 'f') {
        parts.prefixLength = qMin(3, n);
        i = 3;
    }
    if (i >= n)
        return parts;
    while (isLetter((unsigned char)text[i])) {
        parts.prefixLength = ++i;
        if (i == n)
            return parts;
    }

    if (isDigit(text[i])) {
        quint32 value = 0;
        while (i < n && isDigit(text[i]))
            value = 10 * value + quint32(text[i++] - '0');
        parts.number = (unsigned short)(value - 1);
        if (i == n)
            return parts;
    }

    if (text[i] != '.')
        return parts;
    unsigned char index = 0;
    for (++i; i < n && isDigit(text[i]); ++i)
        index = (unsigned char)(10 * index + (text[i] - '0'));
    parts.hasBit = true;
    parts.bit = index;
    return parts;
}

// The prefix as a byte array. The area names as usually written share
// static storage, so that a poll's address costs no allocation.
QByteArray prefixBytes(const char *text, int n)
{
    static const QByteArray usual[] = {
        QByteArrayLiteral("HR"), QByteArrayLiteral("IR"),    QByteArrayLiteral("DI"),
        QByteArrayLiteral("DO"), QByteArrayLiteral("FN5DO"), QByteArrayLiteral("FN6HR"),
    };
    for (const QByteArray &name : usual) {
        if (name.size() == n && memcmp(name.constData(), text, size_t(n)) == 0)
            return name;
    }
    return QByteArray(text, n);
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
    const AddressParts parts = parseEightBit(text.data(), text.size());
    prefix.append(text.data(), parts.prefixLength);
    number = parts.number;
    if (parts.hasBit)
        bit = parts.bit;
}

DeviceAddress ParseDeviceAddress(const QString &address)
{
    DeviceAddress parsed;
    const EightBitText text(address);
    const AddressParts parts = parseEightBit(text.data(), text.size());
    parsed.prefix = prefixBytes(text.data(), parts.prefixLength);
    parsed.number = parts.number;
    parsed.bit = parts.bit;
    parsed.highWordFirst = containsSW(address, text);
    return parsed;
}
