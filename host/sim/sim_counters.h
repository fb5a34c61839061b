#ifndef HOST_SIM_COUNTERS_H
#define HOST_SIM_COUNTERS_H

// Registers of the simulated slave that count up while it runs, so that a
// master polling them sees values change: each goes up by one every period,
// wrapping from 65535 to 0, from its start value. The ticks are counted from
// the time the slave started and added when a request comes, so that the
// slave needs no thread of its own for them and every read sees the value of
// its moment.

#include <QString>
#include <QVector>
#include <cstdint>

#include "host/sim/sim_map.h"
#include "host/sim/sim_slave_core.h"

namespace sim {

constexpr int kDefaultCountEveryMs = 1000;

// A run of holding or input registers that count up, in one station or
// (kEveryStation) in every served station.
struct CounterRun
{
    int station = kEveryStation;
    MapArea area = MapArea::HoldingRegisters;
    int first = 0; // zero-based protocol addresses, first <= last
    int last = 0;
};

// "HR10,2-IR5,HR1-4": [STATION-]AREA FIRST[-LAST] per item, areas HR and IR
// in either case, addresses from 1 as mbrtu's. False with the reason, naming
// the bad item, for the first item that is not one.
bool parseCounterRuns(const QString &text, QVector<CounterRun> *runs, QString *error);

// Empty when every run that names a station names a served one, else the reason.
QString checkCounterStations(const QVector<CounterRun> &runs, const StationSet &served);

// Adds ticks, modulo 65536, to every register of the runs that apply to station.
void addCounterTicks(const QVector<CounterRun> &runs, int station, uint64_t ticks, SlaveData &data);

// The runs with their period and the ticks already added.
class CountUp
{
public:
    CountUp() = default;
    CountUp(QVector<CounterRun> runs, int periodMs);

    // Brings every served station's counting registers to elapsedMs after the
    // start: adds the whole periods passed since the last call. Time that
    // goes back adds nothing.
    void advance(int64_t elapsedMs, StationTables &tables);
    bool isEmpty() const { return m_runs.isEmpty(); }

private:
    QVector<CounterRun> m_runs;
    int m_periodMs = kDefaultCountEveryMs;
    int64_t m_ticksAdded = 0;
};

} // namespace sim

#endif // HOST_SIM_COUNTERS_H
