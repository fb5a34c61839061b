#ifndef TAG_ADDRESS_H
#define TAG_ADDRESS_H

#include <QString>

// What one tag address of the project contributes to the valid bit address
// map: a DI or DO bit of a station, or nothing.
enum class TagBitArea { None, DI, DO };

struct TagBit
{
    TagBitArea area = TagBitArea::None;
    unsigned char station = 0;
    unsigned short address = 0; // zero-based: the tag's number minus 1, modulo 65536
};

// Classifies a tag address by the first rule that applies, prefixes without
// regard to case:
//   FN5DOn, DIn, DOn   bit n - 1 of the default station (n read from the first
//                      digit on; 0, so address 65535, when that is no number)
//   s-DIn, s-DOn, s-FN5DOn
//                      bit n - 1 of station s (low 8 bits), the shape of
//                      "^(\d+)-((?:FN5)?DO|DI)(\d+)" matched case-insensitively
//   anything else      nothing (register tags such as HR10 or 1-HR5)
TagBit ModbusRTUSlaveClassifyTagAddress(const QString &text, unsigned char defaultStation);

#endif // TAG_ADDRESS_H
