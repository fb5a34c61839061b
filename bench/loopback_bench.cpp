// Requests per second over loopback TCP against the simulated slave, for
// four masters in the same run (loopback_masters.h has the first three):
//
//   driver    the plug-in loaded with QPluginLoader, asked through
//             DriverInterface::read / write, over the host's TcpDevice
//   raw       the link's limit: writes the very request bytes the driver
//             sent and reads exactly the length of the reply the driver got,
//             checking nothing, on the driver's own connection (its socket,
//             TCP_NODELAY, blocking), so that both go through the same
//             socket and the same thread of the slave
//   device    the driver's TcpDevice alone, on the same connection: the same
//             bytes, the reply read in the driver's two steps, nothing
//             checked; it splits the driver's time over raw into the
//             device's part and the driver's own
//   pymodbus  pymodbus's own synchronous TCP client with the RTU framer
//             (bench/pymodbus_client.py), the same requests
//
// They take turns within each round, so load from elsewhere on the machine
// falls on all of them alike: driver, raw and device in turns of 250
// requests, pymodbus once per round after them.
//
// Afterwards, latency percentiles of single word reads through the driver
// and reference masters: device and raw as above; raw with one non-blocking
// receive before each request (what the look for late bytes costs when
// TcpDevice makes it); and raw on a connection of its own, to show that
// sharing the driver's socket favours neither.
//
// Everything is written as JSON (--json FILE); scripts/bench.sh makes the
// table from it. The slave runs in this process on a free loopback port and
// stops with it.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "loopback_masters.h"

#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/sim/sim_slave.h"
#include "settings/driver_interface.h"

namespace {

using namespace loopback;

// Requests per turn of one master within a round.
const int kTurnRequests = 250;

struct Options
{
    int rounds = 7;
    int requests = 5000;        // per master, kind and round
    int pythonRequests = 1000;  // per kind and round
    int latencyRuns = 5;
    int latencyRequests = 10000;
    QString python = QStringLiteral("/usr/bin/python3");
    QString pythonScript = QStringLiteral(BENCH_PYMODBUS_SCRIPT);
    QString jsonPath;
    bool withPython = true;
};

// ---- pymodbus ----

// One run of the script for all kinds: requests per second by kind name.
// The script first checks that it builds the very request frames the driver
// sent.
QJsonObject runPython(const Options &options, quint16 port, const std::vector<Kind> &kinds)
{
    QStringList names;
    QStringList arguments{options.pythonScript, QStringLiteral("--port"), QString::number(port),
                          QStringLiteral("--requests"), QString::number(options.pythonRequests)};
    for (const Kind &kind : kinds) {
        names.append(kind.name);
        arguments << QStringLiteral("--expect")
                  << kind.name + QLatin1Char('=') + QString::fromLatin1(kind.request.toHex());
    }
    arguments << QStringLiteral("--kinds") << names.join(QLatin1Char(','));
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(options.python, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(300000))
        fail(QStringLiteral("pymodbus client did not run: %1").arg(process.errorString()));
    const QByteArray output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("pymodbus client failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError())));
    const QJsonDocument document = QJsonDocument::fromJson(output);
    if (!document.isObject())
        fail(QStringLiteral("pymodbus client printed no JSON: %1").arg(QString::fromLocal8Bit(output)));
    return document.object();
}

// ---- results ----

QJsonArray toJson(const std::vector<double> &values)
{
    QJsonArray array;
    for (double value : values)
        array.append(value);
    return array;
}

double percentile(std::vector<double> sorted, double fraction)
{
    std::sort(sorted.begin(), sorted.end());
    const size_t rank = size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

QJsonObject latencySummary(const std::vector<std::vector<double>> &runs)
{
    std::vector<double> p50, p99, max;
    for (const std::vector<double> &run : runs) {
        p50.push_back(percentile(run, 0.50));
        p99.push_back(percentile(run, 0.99));
        max.push_back(*std::max_element(run.begin(), run.end()));
    }
    return QJsonObject{{QStringLiteral("p50_us"), toJson(p50)},
                       {QStringLiteral("p99_us"), toJson(p99)},
                       {QStringLiteral("max_us"), toJson(max)}};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        if (option == QLatin1String("--no-python")) {
            options.withPython = false;
            continue;
        }
        if (i + 1 >= arguments.size())
            fail(QStringLiteral("usage: loopback_bench [--rounds N] [--requests N] [--python-requests N] "
                                "[--latency-runs N] [--latency-requests N] [--python PATH] "
                                "[--python-script PATH] [--no-python] [--json FILE]"));
        const QString value = arguments[++i];
        if (option == QLatin1String("--rounds"))
            options.rounds = value.toInt();
        else if (option == QLatin1String("--requests"))
            options.requests = value.toInt();
        else if (option == QLatin1String("--python-requests"))
            options.pythonRequests = value.toInt();
        else if (option == QLatin1String("--latency-runs"))
            options.latencyRuns = value.toInt();
        else if (option == QLatin1String("--latency-requests"))
            options.latencyRequests = value.toInt();
        else if (option == QLatin1String("--python"))
            options.python = value;
        else if (option == QLatin1String("--python-script"))
            options.pythonScript = value;
        else if (option == QLatin1String("--json"))
            options.jsonPath = value;
        else
            fail(QStringLiteral("unknown option %1").arg(option));
    }
    if (options.rounds < 1 || options.requests < 1 || options.pythonRequests < 1
        || options.latencyRuns < 1 || options.latencyRequests < 1)
        fail(QStringLiteral("counts must be positive"));
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());

    // The simulated slave: registers holding their own address.
    sim::SimSlave slave;
    QString error;
    if (!slave.start(&error))
        fail(QStringLiteral("slave: %1").arg(error));
    slave.withData([](sim::SlaveData &data) {
        for (int i = 0; i < sim::kAddressSpace; ++i)
            data.holdingRegisters[size_t(i)] = uint16_t(i);
        return 0;
    });
    const quint16 port = slave.port();

    // The project database the driver's gate reads on its first request.
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString databasePath = projectDatabasePath(appDir);
    ProjectSetup project;
    project.nodePort = port;
    if (!writeProjectDatabase(databasePath, project, &error))
        fail(QStringLiteral("project database: %1").arg(error));

    DriverPlugin plugin;
    if (!plugin.load({QStringLiteral(BENCH_PLUGIN_FILE)}, &error))
        fail(error);

    QByteArray words(2 * 123, '\0');
    for (int i = 0; i < words.size(); ++i)
        words[i] = char(i * 7 + 1);
    std::vector<Kind> kinds;
    kinds.push_back(Kind{QStringLiteral("read_word"), QStringLiteral("word read (fn 3, 1 register)"),
                         CommunicatorCommand(2, 1, QStringLiteral("HR1")), QByteArray(), 2});
    kinds.push_back(Kind{QStringLiteral("read_125_words"), QStringLiteral("125-word read (fn 3)"),
                         CommunicatorCommand(2, 125, QStringLiteral("HR1")), QByteArray(), 250});
    kinds.push_back(Kind{QStringLiteral("write_123_words"), QStringLiteral("123-word write (fn 16)"),
                         CommunicatorCommand(2, 123, QStringLiteral("HR1")), words, 0});

    // Each kind's frames as the driver sends and gets them; the raw masters
    // must get the same reply before the write changes the registers.
    DriverMaster driver(plugin.driver(), port);
    driver.capture(kinds[0]);
    // The driver's device is connected now; raw shares its socket.
    const int driverSocket = driver.device().socketDescriptor();
    RawMaster raw = RawMaster::onSocket(driverSocket);
    RawMaster rawOwn(port);
    for (size_t k = 0; k < kinds.size(); ++k) {
        if (k > 0)
            driver.capture(kinds[k]);
        raw.verify(kinds[k]);
        rawOwn.verify(kinds[k]);
    }

    // Warm-up of the C++ masters: connections, caches, the slave's threads.
    DeviceMaster device(driver.device());
    for (Kind &kind : kinds) {
        driver.run(kind, 500);
        raw.run(kind, 500);
        device.run(kind, 500);
        rawOwn.run(kind, 500);
    }

    for (int round = 0; round < options.rounds; ++round) {
        for (Kind &kind : kinds) {
            // Short turns, so that a burst of load from elsewhere falls on
            // all masters alike; who goes first rotates.
            double total[3] = {0, 0, 0};
            int done = 0;
            for (int turn = 0; done < options.requests; ++turn) {
                const int n = qMin(kTurnRequests, options.requests - done);
                double seconds[3];
                for (int i = 0; i < 3; ++i) {
                    const int master = (turn + round + i) % 3;
                    seconds[master] = master == 0 ? driver.run(kind, n)
                                      : master == 1 ? raw.run(kind, n)
                                                    : device.run(kind, n);
                    total[master] += seconds[master];
                }
                kind.turnRatios.push_back(seconds[1] / seconds[0]);
                kind.deviceTurnRatios.push_back(seconds[1] / seconds[2]);
                done += n;
            }
            kind.driverRate.push_back(options.requests / total[0]);
            kind.rawRate.push_back(options.requests / total[1]);
            kind.deviceRate.push_back(options.requests / total[2]);
        }
        if (options.withPython) {
            const QJsonObject rates = runPython(options, port, kinds);
            for (Kind &kind : kinds)
                kind.pythonRate.push_back(rates.value(kind.name).toDouble());
        }
        std::fprintf(stderr, "round %d/%d done\n", round + 1, options.rounds);
    }

    // Latency of single word reads: each run has every master in turn, the
    // order rotating from run to run.
    const Kind &word = kinds[0];
    const int latencyRequests = options.latencyRequests;
    const std::vector<std::pair<QString, std::function<std::vector<double>()>>> latencyMasters = {
        {QStringLiteral("driver"), [&] { return driver.latencies(word, latencyRequests); }},
        {QStringLiteral("device"), [&] { return device.latencies(word, latencyRequests); }},
        {QStringLiteral("raw_look"), [&] { return raw.latencies(word, latencyRequests, true); }},
        {QStringLiteral("raw"), [&] { return raw.latencies(word, latencyRequests, false); }},
        {QStringLiteral("raw_own"), [&] { return rawOwn.latencies(word, latencyRequests, false); }},
    };
    std::vector<std::vector<std::vector<double>>> latencyRuns(latencyMasters.size());
    for (int run = 0; run < options.latencyRuns; ++run) {
        for (size_t i = 0; i < latencyMasters.size(); ++i) {
            const size_t m = (i + size_t(run)) % latencyMasters.size();
            latencyRuns[m].push_back(latencyMasters[m].second());
        }
    }

    // Raw's numbers hold only if the driver kept its connection throughout.
    if (driver.device().socketDescriptor() != driverSocket || driver.device().connectCount() != 1)
        fail(QStringLiteral("the driver's device reconnected during the run"));

    QJsonArray throughput;
    for (const Kind &kind : kinds) {
        std::vector<double> ratios, pythonRatios;
        for (size_t r = 0; r < kind.rawRate.size(); ++r) {
            ratios.push_back(kind.driverRate[r] / kind.rawRate[r]);
            if (r < kind.pythonRate.size())
                pythonRatios.push_back(kind.pythonRate[r] / kind.rawRate[r]);
        }
        throughput.append(QJsonObject{
            {QStringLiteral("kind"), kind.name},
            {QStringLiteral("label"), kind.label},
            {QStringLiteral("request_bytes"), kind.request.size()},
            {QStringLiteral("reply_bytes"), kind.reply.size()},
            {QStringLiteral("driver_rps"), toJson(kind.driverRate)},
            {QStringLiteral("raw_rps"), toJson(kind.rawRate)},
            {QStringLiteral("pymodbus_rps"), toJson(kind.pythonRate)},
            {QStringLiteral("driver_over_raw"), toJson(ratios)},
            {QStringLiteral("turn_requests"), kTurnRequests},
            {QStringLiteral("driver_over_raw_turns"), toJson(kind.turnRatios)},
            {QStringLiteral("device_rps"), toJson(kind.deviceRate)},
            {QStringLiteral("device_over_raw_turns"), toJson(kind.deviceTurnRatios)},
            {QStringLiteral("pymodbus_over_raw"), toJson(pythonRatios)}});
        std::printf("%-30s driver %7.0f/s  raw %7.0f/s  ratio %.3f  (device alone: %7.0f/s, %.3f of raw)",
                    qPrintable(kind.label), median(kind.driverRate), median(kind.rawRate),
                    median(kind.turnRatios), median(kind.deviceRate), median(kind.deviceTurnRatios));
        if (!pythonRatios.empty())
            std::printf("  pymodbus %7.0f/s  ratio %.3f", median(kind.pythonRate), median(pythonRatios));
        std::printf("\n");
    }
    QJsonObject latency{{QStringLiteral("runs"), options.latencyRuns},
                        {QStringLiteral("requests_per_run"), options.latencyRequests}};
    for (size_t m = 0; m < latencyMasters.size(); ++m) {
        const QJsonObject summary = latencySummary(latencyRuns[m]);
        latency.insert(latencyMasters[m].first, summary);
        std::vector<double> p50, p99, max;
        for (const QJsonValue &value : summary.value(QStringLiteral("p50_us")).toArray())
            p50.push_back(value.toDouble());
        for (const QJsonValue &value : summary.value(QStringLiteral("p99_us")).toArray())
            p99.push_back(value.toDouble());
        for (const QJsonValue &value : summary.value(QStringLiteral("max_us")).toArray())
            max.push_back(value.toDouble());
        std::printf("word read latency, %-8s p50 %6.2f us  p99 %6.1f us  max %7.1f us\n",
                    qPrintable(latencyMasters[m].first), median(p50), median(p99), median(max));
    }

    const sim::SlaveStats stats = slave.stats();
    slave.stop();
    QFile::remove(databasePath);
    QDir(appDir).rmpath(QStringLiteral("compile/database"));

    const QJsonObject result{
        {QStringLiteral("rounds"), options.rounds},
        {QStringLiteral("requests_per_run"), options.requests},
        {QStringLiteral("python_requests_per_run"), options.withPython ? options.pythonRequests : 0},
        {QStringLiteral("throughput"), throughput},
        {QStringLiteral("latency"), latency},
        {QStringLiteral("slave_requests"), double(stats.requests)},
        {QStringLiteral("slave_discarded"), double(stats.discarded)}};
    if (!options.jsonPath.isEmpty()) {
        QFile file(options.jsonPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail(QStringLiteral("cannot write %1").arg(options.jsonPath));
        file.write(QJsonDocument(result).toJson());
    }
    return 0;
}
