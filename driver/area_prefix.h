#ifndef AREA_PREFIX_H
#define AREA_PREFIX_H

// Area prefixes of device addresses (HR, FN6HR, DO, ...) compared without
// regard to the case of ASCII letters. Every request routes on its prefix,
// so the comparisons are done here in place.

#include <QByteArray>

namespace area_prefix {

inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; }

// The length of area when prefix begins with it; -1 when it does not.
inline int matchedLength(const QByteArray &prefix, const char *area)
{
    const char *text = prefix.constData();
    const int size = prefix.size();
    int i = 0;
    for (; area[i] != '\0'; ++i) {
        if (i >= size || lowerAscii(text[i]) != lowerAscii(area[i]))
            return -1;
    }
    return i;
}

// True when prefix begins with area.
inline bool startsWith(const QByteArray &prefix, const char *area)
{
    return matchedLength(prefix, area) >= 0;
}

// True when prefix is area, whole.
inline bool is(const QByteArray &prefix, const char *area)
{
    return matchedLength(prefix, area) == prefix.size();
}

} // namespace area_prefix

#endif // AREA_PREFIX_H
