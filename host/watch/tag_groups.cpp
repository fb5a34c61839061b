#include "host/watch/tag_groups.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace {

// FN6HR and FN5DO name how the tag is written, not another table: reads of
// them are reads of HR and DO, so they share requests with those.
Area readArea(Area area)
{
    switch (area) {
    case Area::FN6HR:
        return Area::HR;
    case Area::FN5DO:
        return Area::DO;
    default:
        return area;
    }
}

// Registers or bits the tag's value takes: a bit inside a register needs
// that one register whatever its tag says.
int widthOf(const WatchTag &tag)
{
    return tag.address.bit >= 0 ? 1 : std::max(1, tag.registers);
}

// Whether the group can also read [first, end) of the station's area: the
// registers or bits skipped to reach it are at most maxGap, and the request
// grown to cover it stays within the block limit of its area. Tags come in
// address order, so first is never before the group's start.
bool joins(const TagGroup &group, int station, Area area, int first, int end, const GroupLimits &limits)
{
    if (group.station != station || group.area != area)
        return false;
    const int groupEnd = group.first + group.count;
    const int gap = first - groupEnd; // negative when the tag overlaps what the group reads
    const int limit = isRegisterArea(area) ? limits.maxRegisters : limits.maxBits;
    return gap <= limits.maxGap && std::max(end, groupEnd) - group.first <= limit;
}

} // namespace

QVector<TagGroup> groupTags(const QVector<WatchTag> &tags, const GroupLimits &limits)
{
    // Tags in station, area and address order; the stable sort keeps the
    // project's order among tags at the same address.
    QVector<int> order(tags.size());
    std::iota(order.begin(), order.end(), 0);
    const auto key = [&tags](int index) {
        const WatchTag &tag = tags.at(index);
        return std::make_tuple(tag.station, readArea(tag.address.area), tag.address.number);
    };
    std::stable_sort(order.begin(), order.end(), [&key](int a, int b) { return key(a) < key(b); });

    // Each tag joins the request before it when it can, else starts one.
    QVector<TagGroup> groups;
    for (const int index : order) {
        const WatchTag &tag = tags.at(index);
        const Area area = readArea(tag.address.area);
        const int first = tag.address.number;
        const int end = first + widthOf(tag); // one past its last register or bit
        if (!groups.isEmpty() && joins(groups.last(), tag.station, area, first, end, limits)) {
            TagGroup &group = groups.last();
            group.count = std::max(group.count, end - group.first);
        } else {
            groups.append(TagGroup{tag.station, area, first, end - first, {}});
        }
        groups.last().tags.append(index);
    }
    return groups;
}
