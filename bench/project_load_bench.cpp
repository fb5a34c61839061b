// Time from the gate to a built valid bit address map for a large project:
// 100,000 tag rows on one link, mixed DI, DO, station-prefixed and register
// tags over 32 stations. Each iteration is a new driver, so each one opens
// the database, looks up the link and loads the whole tag table.

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/project_files.h"

namespace {

const int TAG_ROWS = 100000;
const int STATIONS = 32;

// A deterministic mix: a quarter each of DI, DO, station-prefixed bits and
// register tags, numbers spread over the address space.
QString tagAddress(int row)
{
    const int number = int((quint64(row) * 2654435761u) % 65536) + 1;
    const int station = row % STATIONS + 1;
    switch (row % 8) {
    case 0: return QStringLiteral("DI%1").arg(number);
    case 1: return QStringLiteral("DO%1").arg(number);
    case 2: return QStringLiteral("FN5DO%1").arg(number);
    case 3: return QStringLiteral("%1-DI%2").arg(station).arg(number);
    case 4: return QStringLiteral("%1-DO%2").arg(station).arg(number);
    case 5: return QStringLiteral("%1-fn5do%2").arg(station).arg(number);
    case 6: return QStringLiteral("HR%1").arg(number);
    default: return QStringLiteral("%1-IR%2").arg(station).arg(number);
    }
}

bool writeLargeProject()
{
    QStringList tags;
    tags.reserve(TAG_ROWS);
    for (int row = 0; row < TAG_ROWS; ++row)
        tags.append(tagAddress(row));
    return writeProjectDatabase(projectDatabasePath(), projectOnCom2(tags));
}

void BM_ProjectLoad(benchmark::State &state)
{
    for (auto _ : state) {
        DriverModbusRtuSlaveOverTcp driver;
        if (!driver.readDB(QStringLiteral("COM2"))) {
            state.SkipWithError(driver.getLastError().toUtf8().constData());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * TAG_ROWS);
}
BENCHMARK(BM_ProjectLoad)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!writeLargeProject())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeProjectDirectories();
    return 0;
}
