#ifndef HOST_WATCH_COMMAND_H
#define HOST_WATCH_COMMAND_H

// mbrtu watch: polls a list of tags as a panel runtime polls them, in block
// requests grouped per station and area, each through the plug-in's read
// (host/watch/watch_poller.h, which also backs off from a station that does
// not answer). --once polls every tag once, prints the table and exits 0
// only when every tag read: the project check before shipping. Without it
// the tags are polled every --period: on a terminal a live view redrawn in
// place (watch_view.h), otherwise a line or JSON record per tag per cycle.

#include <QString>
#include <QTextStream>
#include <QVector>

#include "host/mbrtu/tool_options.h"
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
// blank lines and lines starting with # are skipped. False with
// "LINE: reason" for a bad line.
bool parseWatchTagFile(const QString &text, int defaultStation, QVector<TypedTag> *tags, QString *error);

// The value of one tag from its group's data (words little-endian for
// register areas, bits packed for DI and DO), as text.
QString tagValue(const TypedTag &tag, const TagGroup &group, const QByteArray &data);

int runWatch(const ToolOptions &options, QTextStream &out, QTextStream &err);

#endif // HOST_WATCH_COMMAND_H
