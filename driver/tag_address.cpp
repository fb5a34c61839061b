// Tag addresses of the project as DI and DO bits of stations. The station-
// prefixed form is scanned by hand rather than with a regular expression:
// loading a large project spends most of its time here, and the scan below
// accepts exactly what the case-insensitive pattern
// "^(\d+)-((?:FN5)?DO|DI)(\d+)" accepts, with the same digits (QChar::isDigit)
// and the same case rule (both sides lowered, character by character).

#include "tag_address.h"

#include "../tools/tools.h"

namespace {

const int DECIMAL = 10;
// FN5DO17 is read from its DO17 part.
const int FN5_LENGTH = 3;

unsigned short zeroBased(int number) { return (unsigned short)(number - 1); }

TagBit bitOf(TagBitArea area, unsigned char station, int number)
{
    TagBit bit;
    bit.area = area;
    bit.station = station;
    bit.address = zeroBased(number);
    return bit;
}

// True when text holds `lower` at position at, each character compared in
// lower case.
bool matchesAt(const QString &text, int at, const char *lower)
{
    for (int k = 0; lower[k] != '\0'; ++k) {
        if (at + k >= text.size() || text.at(at + k).toLower() != QLatin1Char(lower[k]))
            return false;
    }
    return true;
}

int endOfDigits(const QString &text, int at)
{
    while (at < text.size() && text.at(at).isDigit())
        ++at;
    return at;
}

// Length of the area at position at: FN5DO, DO or DI in any case; 0 for none.
int areaLengthAt(const QString &text, int at)
{
    if (matchesAt(text, at, "fn5do"))
        return 5;
    return matchesAt(text, at, "do") || matchesAt(text, at, "di") ? 2 : 0;
}

// The area counts as DI when its upper-case form begins with DI.
bool isInputArea(const QString &text, int at)
{
    return text.at(at).toUpper() == QLatin1Char('D') && text.at(at + 1).toUpper() == QLatin1Char('I');
}

TagBit stationPrefixedBit(const QString &text)
{
    const int stationEnd = endOfDigits(text, 0);
    if (stationEnd == 0 || !matchesAt(text, stationEnd, "-"))
        return TagBit();
    const int areaStart = stationEnd + 1;
    const int areaLength = areaLengthAt(text, areaStart);
    const int numberStart = areaStart + areaLength;
    const int numberEnd = endOfDigits(text, numberStart);
    if (areaLength == 0 || numberEnd == numberStart)
        return TagBit();
    const unsigned char station = (unsigned char)text.leftRef(stationEnd).toUInt();
    const int number = text.midRef(numberStart, numberEnd - numberStart).toInt();
    return bitOf(isInputArea(text, areaStart) ? TagBitArea::DI : TagBitArea::DO, station, number);
}

} // namespace

TagBit ModbusRTUSlaveClassifyTagAddress(const QString &text, unsigned char defaultStation)
{
    if (text.startsWith(QLatin1String("FN5DO"), Qt::CaseInsensitive))
        return bitOf(TagBitArea::DO, defaultStation,
                     ExtractPLCDeviceAddress(text.mid(FN5_LENGTH), DECIMAL));
    if (text.startsWith(QLatin1String("DI"), Qt::CaseInsensitive))
        return bitOf(TagBitArea::DI, defaultStation, ExtractPLCDeviceAddress(text, DECIMAL));
    if (text.startsWith(QLatin1String("DO"), Qt::CaseInsensitive))
        return bitOf(TagBitArea::DO, defaultStation, ExtractPLCDeviceAddress(text, DECIMAL));
    return stationPrefixedBit(text);
}
