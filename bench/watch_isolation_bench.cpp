// What one station that never answers costs the others while a project is
// polled as a panel polls it (host/watch/watch_poller.h): two healthy
// stations of the simulated slave behind one connection, each with its tags
// in three block requests, polled every period through the plug-in; then the
// same with a third station in the project that the slave does not serve.
//
// The figure is the poll cycle of the healthy stations: the time from the
// end of one poll of a station to the end of its next, averaged over the
// run, with the silent station against without it, and the longest cycle
// after the silent station's first discovery (which costs the link's
// time-out times its attempts once). The run starts cold, so the back-off's
// first short steps and probes are in it. Prints JSON (--json FILE as well);
// scripts/bench.sh puts it into bench/RESULTS.md.
//
//   watch_isolation_bench [--seconds N] [--period MS] [--timeout MS] [--retries N] [--json FILE]

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/device/station_device.h"
#include "host/device/tcp_device.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/sim/sim_slave.h"
#include "host/watch/watch_poller.h"

namespace {

struct Options
{
    int seconds = 60;
    int periodMs = 100;
    int timeoutMs = 200;
    int retries = 1;
    QString json;
};

[[noreturn]] void fail(const QString &text)
{
    std::fprintf(stderr, "watch_isolation_bench: %s\n", qPrintable(text));
    std::exit(1);
}

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString value = args.value(i + 1);
        bool ok = true;
        if (args[i] == QLatin1String("--seconds"))
            options.seconds = value.toInt(&ok);
        else if (args[i] == QLatin1String("--period"))
            options.periodMs = value.toInt(&ok);
        else if (args[i] == QLatin1String("--timeout"))
            options.timeoutMs = value.toInt(&ok);
        else if (args[i] == QLatin1String("--retries"))
            options.retries = value.toInt(&ok);
        else if (args[i] == QLatin1String("--json"))
            options.json = value;
        else
            fail(QStringLiteral("unknown option %1").arg(args[i]));
        if (!ok || value.isEmpty())
            fail(QStringLiteral("%1 needs a number or a file").arg(args[i]));
        ++i;
    }
    return options;
}

// The tags of one station: 20 words, four floats further up, ten input
// registers: three block requests.
QVector<WatchTag> stationTags(int station)
{
    QVector<WatchTag> tags;
    const auto add = [&](Area area, int number, int registers) {
        WatchTag tag;
        tag.station = station;
        tag.address.area = area;
        tag.address.number = number;
        tag.registers = registers;
        tags.append(tag);
    };
    for (int n = 1; n <= 20; ++n)
        add(Area::HR, n, 1);
    for (int n = 100; n < 108; n += 2)
        add(Area::HR, n, 2);
    for (int n = 1; n <= 10; ++n)
        add(Area::IR, n, 1);
    return tags;
}

struct Cycles
{
    QVector<qint64> intervalsUs; // between the ends of two polls of a healthy station
    qint64 maxAfterDiscoveryUs = 0; // the longest of those that began after the first silence
    int silentRequests = 0;      // requests sent to the silent station (its link's attempts count once)
    int probes = 0;              // of those, probes
};

// Polls the stations for the run's length, the way mbrtu watch does, and
// notes when each healthy station's poll began.
Cycles pollFor(const Options &options, DriverInterface *driver, quint16 port, const QVector<int> &stations,
               const QVector<int> &healthy)
{
    QVector<WatchTag> tags;
    for (int station : stations)
        tags += stationTags(station);
    WatchPoller poller(driver, tags, options.periodMs, options.timeoutMs);
    // One connection for all stations, as mbrtu watch has it.
    TcpDeviceSettings settings;
    settings.port = port;
    settings.retryCount = options.retries;
    settings.responseTimeoutMs = options.timeoutMs;
    TcpDevice link(settings);
    std::map<int, StationDevice> devices;
    for (int station : stations)
        poller.setDevice(station, &devices.emplace(station, StationDevice(&link, station)).first->second);

    Cycles cycles;
    poller.setProbeMode([&link, &cycles](int timeoutMs) {
        link.setProbeTimeoutMs(timeoutMs);
        cycles.probes += timeoutMs > 0 ? 1 : 0;
    });
    std::map<int, qint64> lastEndUs;
    qint64 discoveredUs = -1; // when the silent station's first silence ended
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < options.seconds * 1000LL) {
        poller.pollCycle({}, [&](int station) {
            const qint64 endUs = clock.nsecsElapsed() / 1000;
            if (!healthy.contains(station)) {
                if (discoveredUs < 0)
                    discoveredUs = endUs;
                return;
            }
            if (lastEndUs.count(station)) {
                const qint64 intervalUs = endUs - lastEndUs[station];
                cycles.intervalsUs.append(intervalUs);
                if (discoveredUs >= 0 && lastEndUs[station] >= discoveredUs)
                    cycles.maxAfterDiscoveryUs = qMax(cycles.maxAfterDiscoveryUs, intervalUs);
            }
            lastEndUs[station] = endUs;
        });
        QThread::msleep(quint64(poller.msUntilNextCycle()));
    }
    for (int station : stations) {
        if (!healthy.contains(station))
            cycles.silentRequests += poller.figures(station).failures;
    }
    return cycles;
}

QJsonObject figures(const Cycles &cycles)
{
    qint64 total = 0;
    for (qint64 us : cycles.intervalsUs)
        total += us;
    const double mean = cycles.intervalsUs.isEmpty() ? 0 : double(total) / cycles.intervalsUs.size();
    return QJsonObject{{QStringLiteral("cycles"), cycles.intervalsUs.size()},
                       {QStringLiteral("mean_ms"), mean / 1000.0},
                       {QStringLiteral("median_ms"), nearestRankPercentile(cycles.intervalsUs, 50) / 1000.0},
                       {QStringLiteral("p99_ms"), nearestRankPercentile(cycles.intervalsUs, 99) / 1000.0},
                       {QStringLiteral("max_ms"), nearestRankPercentile(cycles.intervalsUs, 100) / 1000.0},
                       {QStringLiteral("max_after_discovery_ms"), cycles.maxAfterDiscoveryUs / 1000.0},
                       {QStringLiteral("silent_requests"), cycles.silentRequests},
                       {QStringLiteral("probes"), cycles.probes}};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());

    sim::SlaveConfig config;
    config.stations = sim::makeStationSet({1, 2});
    sim::SimSlave slave(config);
    QString error;
    if (!slave.start(&error))
        fail(QStringLiteral("slave: %1").arg(error));

    const QString databasePath = projectDatabasePath(QCoreApplication::applicationDirPath());
    ProjectSetup project;
    project.nodePort = slave.port();
    if (!writeProjectDatabase(databasePath, project, &error))
        fail(QStringLiteral("project database: %1").arg(error));
    DriverPlugin plugin;
    if (!plugin.load({QStringLiteral(BENCH_PLUGIN_FILE)}, &error))
        fail(error);

    const QVector<int> healthy{1, 2};
    const Cycles alone = pollFor(options, plugin.driver(), slave.port(), healthy, healthy);
    const Cycles withSilent = pollFor(options, plugin.driver(), slave.port(), {1, 2, 3}, healthy);
    const QJsonObject without = figures(alone);
    const QJsonObject with = figures(withSilent);

    const QJsonObject result{
        {QStringLiteral("seconds"), options.seconds},
        {QStringLiteral("period_ms"), options.periodMs},
        {QStringLiteral("timeout_ms"), options.timeoutMs},
        {QStringLiteral("retries"), options.retries},
        {QStringLiteral("requests_per_station"), 3},
        {QStringLiteral("without_silent"), without},
        {QStringLiteral("with_silent"), with},
        {QStringLiteral("ratio"), with[QStringLiteral("mean_ms")].toDouble() / without[QStringLiteral("mean_ms")].toDouble()}};
    const QByteArray text = QJsonDocument(result).toJson();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (!options.json.isEmpty()) {
        QFile file(options.json);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            fail(QStringLiteral("cannot write %1").arg(options.json));
    }
    QFile::remove(databasePath);
    return 0;
}
