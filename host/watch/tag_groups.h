#ifndef HOST_WATCH_TAG_GROUPS_H
#define HOST_WATCH_TAG_GROUPS_H

// The block requests that poll a project's tags, as the panel runtime reads
// them: tags of one station and one area that lie close together are read in
// one request, up to the block size the driver takes. Pure functions, no I/O
// and no driver calls: the caller passes the driver's block sizes in
// GroupLimits.

#include <QString>
#include <QVector>

#include "host/runtime/device_address.h"

// A tag of the project: where its value lies and how much of the area it takes.
struct WatchTag
{
    QString name;
    DeviceAddress address;
    int station = 1;
    // Registers the value takes: 1 for int16/word, 2 for 32-bit, 4 for
    // 64-bit values; for DI/DO, bits (1 for a bit). A bit inside a register
    // (HR5.3) takes its register.
    int registers = 1;
};

// One block request: it reads count registers or bits of one area from first on.
struct TagGroup
{
    int station = 1;
    Area area = Area::HR; // HR, IR, DO or DI: FN6HR is read as HR, FN5DO as DO
    int first = 1;        // one-based address number where the request starts
    int count = 0;        // registers or bits the request reads
    QVector<int> tags;    // indexes into the tag list, in address order
};

struct GroupLimits
{
    int maxRegisters = 125; // registers one read request takes (functions 3 and 4)
    int maxBits = 2000;     // bits one read request takes (functions 1 and 2)
    int maxGap = 10;        // largest run of unused registers/bits a request reads across to join two tags
};

// The requests that read every tag, ordered by station, area and address.
// A request never reads more than the limit of its area nor across more than
// maxGap unused registers or bits; a value wider than one register is never
// split between requests, and tags at the same address share one.
QVector<TagGroup> groupTags(const QVector<WatchTag> &tags, const GroupLimits &limits);

#endif // HOST_WATCH_TAG_GROUPS_H
