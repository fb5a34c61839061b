// Pieces of address texts: the leading symbol and the trailing number.

#include "tools.h"

#include <cctype>

namespace {

bool startsNumber(char c, int base)
{
    switch (base) {
    case 10:
        return c >= '0' && c <= '9';
    case 16:
        return isxdigit((unsigned char)c);
    case 8:
        return c >= '0' && c <= '7';
    default:
        return false;
    }
}

} // namespace

QByteArray ExtractPrefixSymbol(const QByteArray &text)
{
    int end = 0;
    while (end < text.size() && (isalpha((unsigned char)text.at(end)) || text.at(end) == '_'))
        ++end;
    return text.left(end);
}

QByteArray ExtractPrefixSymbol(const QString &text)
{
    return ExtractPrefixSymbol(text.toLocal8Bit());
}

int ExtractPLCDeviceAddress(const QByteArray &text, int base)
{
    if (base != 10 && base != 16 && base != 8)
        return -1;
    for (int i = 0; i < text.size(); ++i) {
        if (startsNumber(text.at(i), base))
            return text.mid(i).toInt(nullptr, base); // 0 when the rest does not convert
    }
    return 0;
}

int ExtractPLCDeviceAddress(const QString &text, int base)
{
    return ExtractPLCDeviceAddress(text.toLocal8Bit(), base);
}
