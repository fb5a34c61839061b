#ifndef HOST_SIM_MAP_H
#define HOST_SIM_MAP_H

// The simulated slave's initial values from a CSV text, one value a line:
// "area,address,value" for every served station, "station,area,address,value"
// for that station only. Areas HR, IR, DO (coils) and DI (discrete inputs),
// in either case; addresses 1-based as mbrtu's (HR1 is protocol address 0);
// values decimal or 0x hex, 0 or 1 for bits. Blank lines and lines starting
// with # are skipped.

#include <QString>
#include <QVector>
#include <cstdint>

#include "host/sim/sim_slave_core.h"

namespace sim {

enum class MapArea { HoldingRegisters, InputRegisters, Coils, DiscreteInputs };

constexpr int kEveryStation = -1;

struct MapEntry
{
    int station = kEveryStation;
    MapArea area = MapArea::HoldingRegisters;
    int index = 0; // zero-based protocol address
    uint16_t value = 0;
};

struct ParsedMap
{
    QVector<MapEntry> entries;
    int errorLine = 0; // 1-based number of the first bad line; 0 when every line is good
    QString error;     // why that line is bad
};

// Reads every line of text, stopping at the first bad one. A line that names
// a station must name one of served.
ParsedMap parseSlaveMap(const QString &text, const StationSet &served);

// Sets the values of the entries that apply to station (every station's and
// its own) in data, in their order: a later line wins.
void applySlaveMap(const QVector<MapEntry> &entries, int station, SlaveData &data);

} // namespace sim

#endif // HOST_SIM_MAP_H
