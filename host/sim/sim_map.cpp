// Parsing the simulated slave's map of initial values: each line checked on
// its own, so that a mistake comes with its line number and reason.

#include "host/sim/sim_map.h"

#include <QStringList>

namespace sim {
namespace {

constexpr QLatin1Char kSeparator(',');
constexpr QLatin1Char kCommentMark('#');
constexpr int kFieldsForAll = 3;     // area, address, value
constexpr int kFieldsForOne = 4;     // station first
constexpr int kMaxStation = 255;
constexpr int kMaxRegisterValue = 0xFFFF;
constexpr int kMaxBitValue = 1;

struct AreaName
{
    const char *name;
    MapArea area;
    int maxValue;
};

const AreaName kAreas[] = {
    {"HR", MapArea::HoldingRegisters, kMaxRegisterValue},
    {"IR", MapArea::InputRegisters, kMaxRegisterValue},
    {"DO", MapArea::Coils, kMaxBitValue},
    {"DI", MapArea::DiscreteInputs, kMaxBitValue},
};

const AreaName *findArea(const QString &text)
{
    for (const AreaName &area : kAreas) {
        if (text.compare(QLatin1String(area.name), Qt::CaseInsensitive) == 0)
            return &area;
    }
    return nullptr;
}

// A decimal or 0x hex number within min..max.
bool readNumber(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qlonglong parsed = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (!ok || parsed < min || parsed > max)
        return false;
    *value = int(parsed);
    return true;
}

QString valueRange(const AreaName &area)
{
    return area.maxValue == kMaxBitValue ? QStringLiteral("0 or 1") : QStringLiteral("0 to %1").arg(area.maxValue);
}

// Empty when the fields of one line make an entry, else the reason.
QString readEntry(const QStringList &fields, const StationSet &served, MapEntry *entry)
{
    if (fields.size() != kFieldsForAll && fields.size() != kFieldsForOne)
        return QStringLiteral("expected area,address,value or station,area,address,value, not %1 field(s)")
            .arg(fields.size());
    const int first = fields.size() - kFieldsForAll;
    if (fields.size() == kFieldsForOne) {
        if (!readNumber(fields[0], 0, kMaxStation, &entry->station))
            return QStringLiteral("station must be 0 to %1, not '%2'").arg(kMaxStation).arg(fields[0]);
        if (!served.test(std::size_t(entry->station)))
            return QStringLiteral("station %1 is not served").arg(entry->station);
    }
    const AreaName *area = findArea(fields[first]);
    if (!area)
        return QStringLiteral("unknown area '%1' (HR, IR, DO or DI)").arg(fields[first]);
    entry->area = area->area;
    int address = 0;
    if (!readNumber(fields[first + 1], 1, kAddressSpace, &address))
        return QStringLiteral("address must be 1 to %1, not '%2'").arg(kAddressSpace).arg(fields[first + 1]);
    entry->index = address - 1;
    int value = 0;
    if (!readNumber(fields[first + 2], 0, area->maxValue, &value))
        return QStringLiteral("%1 value must be %2, not '%3'").arg(QLatin1String(area->name), valueRange(*area), fields[first + 2]);
    entry->value = uint16_t(value);
    return QString();
}

} // namespace

ParsedMap parseSlaveMap(const QString &text, const StationSet &served)
{
    ParsedMap map;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(kCommentMark))
            continue;
        QStringList fields = line.split(kSeparator);
        for (QString &field : fields)
            field = field.trimmed();
        MapEntry entry;
        map.error = readEntry(fields, served, &entry);
        if (!map.error.isEmpty()) {
            map.errorLine = i + 1;
            return map;
        }
        map.entries.append(entry);
    }
    return map;
}

void applySlaveMap(const QVector<MapEntry> &entries, int station, SlaveData &data)
{
    for (const MapEntry &entry : entries) {
        if (entry.station != kEveryStation && entry.station != station)
            continue;
        const auto index = std::size_t(entry.index);
        switch (entry.area) {
        case MapArea::HoldingRegisters:
            data.holdingRegisters[index] = entry.value;
            break;
        case MapArea::InputRegisters:
            data.inputRegisters[index] = entry.value;
            break;
        case MapArea::Coils:
            data.coils[index] = uint8_t(entry.value);
            break;
        case MapArea::DiscreteInputs:
            data.discreteInputs[index] = uint8_t(entry.value);
            break;
        }
    }
}

} // namespace sim
