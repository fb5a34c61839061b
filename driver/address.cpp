#include "address.h"

#include <cctype>
#include <utility>

namespace {

const unsigned short MissingNumber = 65535;

bool isDigit(unsigned c) { return c >= '0' && c <= '9'; }

// Letters as the C library's isalpha sees them. ASCII is tested here, since
// every locale agrees on it; only other bytes ask the locale.
bool isLetter(unsigned c)
{
    if (c < 0x80)
        return ((c | 0x20) - 'a') < 26;
    return c < 0x100 && isalpha(int(c)) != 0;
}

// The parts of an address; the prefix is text[0 .. prefixLength).
struct AddressParts
{
    int prefixLength = 0;
    unsigned short number = MissingNumber;
    bool hasBit = false;
    unsigned char bit = 0;
};

// Parses 8-bit text (Unit = unsigned char) or text known to be ASCII, read
// straight from the string's UTF-16 units (Unit = ushort).
template <typename Unit>
AddressParts parseUnits(const Unit *text, int n)
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
    while (isLetter(text[i])) {
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

// What one pass over the UTF-16 text tells: whether it is all ASCII, and
// whether SW appears in it, in any case.
struct TextScan
{
    bool ascii = true;
    bool swapMark = false;
};

TextScan scan(const ushort *text, int n)
{
    TextScan result;
    for (int i = 0; i < n; ++i) {
        if (text[i] >= 0x80) {
            result.ascii = false;
            return result;
        }
        if (i > 0 && (text[i] | 0x20) == 'w' && (text[i - 1] | 0x20) == 's')
            result.swapMark = true;
    }
    return result;
}

// The prefix as a byte array. The area names as usually written share
// static storage, so that a poll's address costs no allocation (allocations
// per request: bench/request_cost_bench.cpp).
template <typename Unit>
QByteArray prefixBytes(const Unit *text, int n)
{
    const auto is = [&](const char *name) {
        for (int i = 0; i < n; ++i) {
            if (text[i] != Unit(name[i]))
                return false;
        }
        return true;
    };
    if (n == 2) {
        if (is("HR"))
            return QByteArrayLiteral("HR");
        if (is("IR"))
            return QByteArrayLiteral("IR");
        if (is("DI"))
            return QByteArrayLiteral("DI");
        if (is("DO"))
            return QByteArrayLiteral("DO");
    } else if (n == 5) {
        if (is("FN5DO"))
            return QByteArrayLiteral("FN5DO");
        if (is("FN6HR"))
            return QByteArrayLiteral("FN6HR");
    }
    QByteArray bytes(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(text[i]);
    return bytes;
}

// An address split into its parts, with its prefix as bytes and whether SW
// appears in it.
struct ParsedAddress
{
    AddressParts parts;
    QByteArray prefix;
    bool swapMark = false;
};

ParsedAddress parse(const QString &address)
{
    ParsedAddress parsed;
    const ushort *units = reinterpret_cast<const ushort *>(address.constData());
    const TextScan text = scan(units, address.size());
    if (text.ascii) {
        // ASCII reads the same from its UTF-16 units as from the bytes of
        // any ASCII-compatible local codec.
        parsed.parts = parseUnits(units, address.size());
        parsed.prefix = prefixBytes(units, parsed.parts.prefixLength);
        parsed.swapMark = text.swapMark;
        return parsed;
    }
    // Anything else converts with the local 8-bit codec and is parsed byte by
    // byte; SW is found with Qt's case folding, which reaches beyond ASCII.
    const QByteArray converted = address.toLocal8Bit();
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(converted.constData());
    parsed.parts = parseUnits(bytes, converted.size());
    parsed.prefix = prefixBytes(bytes, parsed.parts.prefixLength);
    parsed.swapMark = address.indexOf(QLatin1String("SW"), 0, Qt::CaseInsensitive) >= 0;
    return parsed;
}

} // namespace

void ModbusRTUSlaveParseAddress(const QString &address, QByteArray &prefix,
                                unsigned short &number, unsigned char &bit)
{
    const ParsedAddress parsed = parse(address);
    prefix.append(parsed.prefix);
    number = parsed.parts.number;
    if (parsed.parts.hasBit)
        bit = parsed.parts.bit;
}

DeviceAddress ParseDeviceAddress(const QString &address)
{
    ParsedAddress parsed = parse(address);
    DeviceAddress result;
    result.prefix = std::move(parsed.prefix);
    result.number = parsed.parts.number;
    result.bit = parsed.parts.bit;
    result.highWordFirst = parsed.swapMark;
    return result;
}
