// Registers that count up: reading their list and adding the ticks that
// passed.

#include "host/sim/sim_counters.h"

#include <QRegularExpression>
#include <QStringList>

namespace sim {
namespace {

constexpr int kMaxStation = 255;
constexpr uint64_t kRegisterValues = 65536;

struct RegisterArea
{
    const char *name;
    MapArea area;
};

const RegisterArea kCountingAreas[] = {
    {"HR", MapArea::HoldingRegisters},
    {"IR", MapArea::InputRegisters},
};

const RegisterArea *findCountingArea(const QString &name)
{
    for (const RegisterArea &area : kCountingAreas) {
        if (name.compare(QLatin1String(area.name), Qt::CaseInsensitive) == 0)
            return &area;
    }
    return nullptr;
}

// A decimal number within min..max; false too for one too long for an int.
bool readBounded(const QString &text, int min, int max, int *value)
{
    bool ok = false;
    const int parsed = text.toInt(&ok, 10);
    if (!ok || parsed < min || parsed > max)
        return false;
    *value = parsed;
    return true;
}

// Empty when item is one run, else the reason naming it.
QString readRun(const QString &item, CounterRun *run)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:([0-9]+)-)?([A-Za-z][A-Za-z0-9]*?)([0-9]+)(?:-([0-9]+))?$"));
    const QRegularExpressionMatch match = pattern.match(item);
    if (!match.hasMatch())
        return QStringLiteral("cannot read '%1': expected [STATION-]HR|IR FIRST[-LAST], as in HR10, 2-IR5 or HR1-4")
            .arg(item);
    if (match.capturedLength(1) > 0 && !readBounded(match.captured(1), 0, kMaxStation, &run->station))
        return QStringLiteral("'%1': station must be 0 to %2").arg(item).arg(kMaxStation);
    const RegisterArea *area = findCountingArea(match.captured(2));
    if (!area)
        return QStringLiteral("'%1': only holding (HR) and input (IR) registers count up").arg(item);
    run->area = area->area;
    int first = 0;
    int last = 0;
    if (!readBounded(match.captured(3), 1, kAddressSpace, &first))
        return QStringLiteral("'%1': addresses go from 1 to %2").arg(item).arg(kAddressSpace);
    if (match.capturedLength(4) == 0)
        last = first;
    else if (!readBounded(match.captured(4), first, kAddressSpace, &last))
        return QStringLiteral("'%1': the range must run upwards and end at %2 at most").arg(item).arg(kAddressSpace);
    run->first = first - 1;
    run->last = last - 1;
    return QString();
}

std::vector<uint16_t> &registersOf(MapArea area, SlaveData &data)
{
    return area == MapArea::InputRegisters ? data.inputRegisters : data.holdingRegisters;
}

} // namespace

bool parseCounterRuns(const QString &text, QVector<CounterRun> *runs, QString *error)
{
    runs->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        CounterRun run;
        *error = readRun(item.trimmed(), &run);
        if (!error->isEmpty())
            return false;
        runs->append(run);
    }
    return true;
}

QString checkCounterStations(const QVector<CounterRun> &runs, const StationSet &served)
{
    for (const CounterRun &run : runs) {
        if (run.station != kEveryStation && !served.test(std::size_t(run.station)))
            return QStringLiteral("station %1 is not served").arg(run.station);
    }
    return QString();
}

void addCounterTicks(const QVector<CounterRun> &runs, int station, uint64_t ticks, SlaveData &data)
{
    const auto step = uint16_t(ticks % kRegisterValues);
    if (step == 0)
        return;
    for (const CounterRun &run : runs) {
        if (run.station != kEveryStation && run.station != station)
            continue;
        std::vector<uint16_t> &registers = registersOf(run.area, data);
        for (int index = run.first; index <= run.last; ++index)
            registers[std::size_t(index)] = uint16_t(registers[std::size_t(index)] + step);
    }
}

CountUp::CountUp(QVector<CounterRun> runs, int periodMs)
    : m_runs(std::move(runs)),
      m_periodMs(periodMs > 0 ? periodMs : kDefaultCountEveryMs)
{
}

void CountUp::advance(int64_t elapsedMs, StationTables &tables)
{
    const int64_t ticks = elapsedMs / m_periodMs;
    if (m_runs.isEmpty() || ticks <= m_ticksAdded)
        return;
    const auto passed = uint64_t(ticks - m_ticksAdded);
    m_ticksAdded = ticks;
    for (int station = 0; station < int(kStationCount); ++station) {
        if (SlaveData *data = tables.find(station))
            addCounterTicks(m_runs, station, passed, *data);
    }
}

} // namespace sim
