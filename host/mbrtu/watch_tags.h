#ifndef HOST_WATCH_TAGS_H
#define HOST_WATCH_TAGS_H

// The tags mbrtu watch polls: from --tags ("HR100:float32:CDAB,IR7:int16,
// DI1-16,2-HR5") or a CSV file of name, address and type, each with the
// type its value is read as; and a tag's value from its request's data.

#include <QByteArray>
#include <QString>
#include <QVector>

#include "host/mbrtu/value_types.h"
#include "host/watch/tag_groups.h"

// A tag with the type its value is read as.
struct TypedTag
{
    WatchTag tag;
    bool bit = false;          // a coil, an input or a bit inside a register
    NumberType type = NumberType::UInt16;
    ByteOrder order = ByteOrder::ABCD;
};

// "HR100:float32:CDAB,IR7:int16,DI1-16,2-HR5": [STATION-]ADDRESS[-LAST]
// [:TYPE[:ORDER]] per item, a run of addresses giving one tag each; registers
// default to uint16, DI and DO are bits. False with the reason for a bad item.
bool parseWatchTags(const QString &text, int defaultStation, QVector<TypedTag> *tags, QString *error);

// CSV lines "name,address[,type]" (type as in --tags, e.g. float32:CDAB);
// blank lines, lines starting with # and a header line (its second field
// "address") are skipped. False with "LINE: reason" for a bad line.
bool parseWatchTagFile(const QString &text, int defaultStation, QVector<TypedTag> *tags, QString *error);

// The value of one tag from its group's data (words little-endian for
// register areas, bits packed for DI and DO), as text.
QString tagValue(const TypedTag &tag, const TagGroup &group, const QByteArray &data);

#endif // HOST_WATCH_TAGS_H
