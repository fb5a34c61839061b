#ifndef AREA_PREFIX_H
#define AREA_PREFIX_H

// Area prefixes of device addresses (HR, FN6HR, DO, ...) compared without
// regard to the case of ASCII letters, and the areas the reads tell apart.
// Every request routes on its prefix, so the comparisons are done here in
// place.

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

// The areas of the reads. Bit reads and the choice of function go by the
// leading letters (DOX reads coils); byte reads compare whole prefixes.

// Coils: read with function 1, every other bit area with function 2.
inline bool readsCoils(const QByteArray &prefix)
{
    return startsWith(prefix, "DO") || startsWith(prefix, "FN5DO");
}
// Holding registers: read with function 3, every other area with function 4.
inline bool readsHoldingRegisters(const QByteArray &prefix)
{
    return startsWith(prefix, "HR") || startsWith(prefix, "FN6HR");
}
// Bit reads of coils and discrete inputs; other bits lie in registers.
inline bool readsCoilOrInputBits(const QByteArray &prefix)
{
    return readsCoils(prefix) || startsWith(prefix, "DI");
}
// Byte reads of registers, two bytes a register.
inline bool isRegisterArea(const QByteArray &prefix)
{
    return is(prefix, "HR") || is(prefix, "FN6HR") || is(prefix, "IR");
}
// Byte reads of discrete inputs; any other prefix reads coils byte-wise.
inline bool isDiscreteInputArea(const QByteArray &prefix) { return is(prefix, "DI"); }

} // namespace area_prefix

#endif // AREA_PREFIX_H
