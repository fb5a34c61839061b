// mbrtu_soak: a long run of mixed requests through the driver plug-in against
// the simulated slave, with faults injected into the slave's replies (dropped,
// delayed, corrupted, split, connection closed) at a chosen rate from a seed.
//
// The plug-in is reached as the runtime reaches it: QPluginLoader,
// DriverInterface and a TcpDevice. The slave's data change only through the
// soak's own writes, so a shadow of them (host/soak_model.h) knows the value
// of every read. Each request must either give the right values or fail with
// one of the driver's error texts; a watchdog ends the run when a request does
// not come back. Exit status 0 only when no wrong value was accepted or
// written, no error text was unknown and nothing hung.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <QVector>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <unistd.h>

#include "host/driver_plugin.h"
#include "host/project_db.h"
#include "host/sim_slave.h"
#include "host/soak_model.h"
#include "host/tcp_device.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

using soak::Request;
using soak::Shadow;
using soak::Table;

namespace {

const char kLink[] = "COM2";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kShownProblems = 10; // details printed of each kind of problem

struct Options
{
    qint64 requests = 100000;
    quint64 seed = 1;
    double faultRate = 0.1;
    QVector<sim::FaultKind> faultKinds = {sim::FaultKind::Drop, sim::FaultKind::Delay, sim::FaultKind::Corrupt,
                                          sim::FaultKind::Split, sim::FaultKind::Close};
    int timeoutMs = 100;
    int retries = 1;
    int station = 17;
    qint64 progressEvery = 10000;
    qint64 watchdogMs = 0; // 0: worked out for each request
    qint64 tamperEvery = 0;
};

const char *const kFaultNames[] = {"drop", "delay", "corrupt", "split", "close"};
constexpr int kFaultKinds = 5;

// ---- Options -------------------------------------------------------------------

bool parseOptions(const QCoreApplication &app, Options *options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Soak run of the driver plug-in against the simulated slave with faults injected into its replies."));
    parser.addHelpOption();
    const QCommandLineOption requests(QStringLiteral("requests"), QStringLiteral("Requests to send (100000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of requests, data and faults (1)."),
                                  QStringLiteral("S"));
    const QCommandLineOption rate(QStringLiteral("fault-rate"),
                                  QStringLiteral("Share of the slave's replies that get a fault, 0 to 1 (0.1)."),
                                  QStringLiteral("P"));
    const QCommandLineOption faults(QStringLiteral("faults"),
                                    QStringLiteral("Fault kinds to inject (drop,delay,corrupt,split,close)."),
                                    QStringLiteral("LIST"));
    const QCommandLineOption timeout(QStringLiteral("timeout-ms"),
                                     QStringLiteral("Response time-out of the TCP device (100)."),
                                     QStringLiteral("MS"));
    const QCommandLineOption retries(QStringLiteral("retries"), QStringLiteral("Retry count of the device (1)."),
                                     QStringLiteral("N"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Station id of the slave (17)."),
                                     QStringLiteral("ID"));
    const QCommandLineOption progress(QStringLiteral("progress"),
                                      QStringLiteral("A progress line every N requests, 0 for none (10000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption watchdog(QStringLiteral("watchdog-ms"),
                                      QStringLiteral("Time after which a request counts as hung (worked out from "
                                                     "the time-out, retries and exchanges when not given)."),
                                      QStringLiteral("MS"));
    const QCommandLineOption tamper(QStringLiteral("tamper-every"),
                                    QStringLiteral("Self-check: every N requests change a known register or coil in "
                                                   "the slave behind the soak's back; the run must then fail."),
                                    QStringLiteral("N"));
    parser.addOptions({requests, seed, rate, faults, timeout, retries, station, progress, watchdog, tamper});
    if (!parser.parse(app.arguments())) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }
    const auto integer = [&](const QCommandLineOption &option, qint64 low, qint64 high, qint64 *value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const qint64 parsed = parser.value(option).toLongLong(&ok);
        if (!ok || parsed < low || parsed > high) {
            *error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                         .arg(option.names().first()).arg(low).arg(high);
            return false;
        }
        *value = parsed;
        return true;
    };
    qint64 timeoutMs = options->timeoutMs;
    qint64 retryCount = options->retries;
    qint64 stationId = options->station;
    qint64 seedValue = qint64(options->seed);
    if (!integer(requests, 1, qint64(1) << 40, &options->requests) || !integer(seed, 0, LLONG_MAX, &seedValue)
        || !integer(timeout, 1, 60000, &timeoutMs) || !integer(retries, 0, 100, &retryCount)
        || !integer(station, 1, 247, &stationId) || !integer(progress, 0, LLONG_MAX, &options->progressEvery)
        || !integer(watchdog, 1, LLONG_MAX, &options->watchdogMs)
        || !integer(tamper, 1, LLONG_MAX, &options->tamperEvery))
        return false;
    options->seed = quint64(seedValue);
    options->timeoutMs = int(timeoutMs);
    options->retries = int(retryCount);
    options->station = int(stationId);
    if (parser.isSet(rate)) {
        bool ok = false;
        options->faultRate = parser.value(rate).toDouble(&ok);
        if (!ok || options->faultRate < 0 || options->faultRate > 1) {
            *error = QStringLiteral("--fault-rate takes a number from 0 to 1");
            return false;
        }
    }
    if (parser.isSet(faults)) {
        options->faultKinds.clear();
        for (const QString &name : parser.value(faults).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            int kind = 0;
            while (kind < kFaultKinds && name.trimmed() != QLatin1String(kFaultNames[kind]))
                ++kind;
            if (kind == kFaultKinds) {
                *error = QStringLiteral("unknown fault kind '%1' (drop, delay, corrupt, split, close)").arg(name);
                return false;
            }
            options->faultKinds.append(sim::FaultKind(kind));
        }
        if (options->faultKinds.isEmpty()) {
            *error = QStringLiteral("--faults names no fault kind");
            return false;
        }
    }
    return true;
}

// ---- Faults --------------------------------------------------------------------

// Decides, for each reply of the slave, whether it gets a fault and which.
// Called on the slave's connection threads one call at a time; the counters
// are read by the soak's thread.
class FaultInjector
{
public:
    FaultInjector(quint64 seed, double rate, QVector<sim::FaultKind> kinds, int timeoutMs)
        : m_random(seed), m_rate(rate), m_kinds(std::move(kinds)), m_timeoutMs(timeoutMs)
    {
    }

    bool decide(const QByteArray &reply, sim::Fault *fault)
    {
        ++m_replies;
        if (!std::bernoulli_distribution(m_rate)(m_random))
            return false;
        const sim::FaultKind kind = m_kinds[uniform(0, m_kinds.size() - 1)];
        // Waits range up to twice the time-out: some come in time, some too late.
        const int wait = uniform(1, 2 * m_timeoutMs);
        switch (kind) {
        case sim::FaultKind::Drop:
            *fault = sim::Fault::drop();
            break;
        case sim::FaultKind::Delay:
            *fault = sim::Fault::delay(wait);
            m_lateDelays += wait > m_timeoutMs ? 1 : 0;
            break;
        case sim::FaultKind::Corrupt:
            *fault = sim::Fault::corrupt(uniform(0, reply.size() - 1), uint8_t(uniform(1, 255)));
            break;
        case sim::FaultKind::Split:
            *fault = sim::Fault::split(uniform(1, reply.size() - 1), wait);
            m_lateSplits += wait > m_timeoutMs ? 1 : 0;
            break;
        case sim::FaultKind::Close:
            *fault = sim::Fault::close();
            break;
        }
        ++m_injected[int(kind)];
        ++m_total;
        return true;
    }

    quint64 replies() const { return m_replies; }
    quint64 total() const { return m_total; }
    quint64 injected(int kind) const { return m_injected[kind]; }
    quint64 lateDelays() const { return m_lateDelays; }
    quint64 lateSplits() const { return m_lateSplits; }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::mt19937_64 m_random;
    double m_rate;
    QVector<sim::FaultKind> m_kinds;
    int m_timeoutMs;
    std::atomic<quint64> m_replies{0};
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_injected[kFaultKinds] = {};
    std::atomic<quint64> m_lateDelays{0};
    std::atomic<quint64> m_lateSplits{0};
};

// ---- Watchdog ------------------------------------------------------------------

// Ends the process when a request has not come back by its deadline.
class Watchdog
{
public:
    using OnHang = std::function<void(const QString &what, qint64 elapsedMs)>;

    explicit Watchdog(OnHang onHang) : m_onHang(std::move(onHang)), m_thread(&Watchdog::watch, this) {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void arm(const QString &what, qint64 limitMs)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_what = what;
        m_started = Clock::now();
        m_deadline = m_started + std::chrono::milliseconds(limitMs);
        m_armed = true;
    }

    void disarm()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed = false;
    }

private:
    using Clock = std::chrono::steady_clock;

    void watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            m_wake.wait_for(lock, std::chrono::milliseconds(50));
            if (m_armed && Clock::now() > m_deadline) {
                const qint64 elapsed =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_started).count();
                m_onHang(m_what, elapsed);
                std::fflush(nullptr);
                ::_exit(3);
            }
        }
    }

    OnHang m_onHang;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_armed = false;
    QString m_what;
    Clock::time_point m_started;
    Clock::time_point m_deadline;
    std::thread m_thread;
};

// ---- Memory ----------------------------------------------------------------------

// A field of /proc/self/status in kB (VmRSS, VmHWM); -1 when unknown.
qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// ---- The run -----------------------------------------------------------------------

struct KindCount
{
    qint64 sent = 0;
    qint64 succeeded = 0;
};

struct Results
{
    qint64 done = 0;
    qint64 reads = 0;
    qint64 readsFailed = 0;
    qint64 writes = 0;
    qint64 writesFailed = 0;
    QMap<QString, KindCount> byKind;
    QMap<QString, qint64> errors;      // final error of each failed request, by key
    qint64 metFault = 0;               // requests during which a fault was injected
    qint64 metFaultSucceeded = 0;
    qint64 bitsChecked = 0;
    qint64 bitsUnknown = 0;
    qint64 wrongValues = 0;            // successful reads with a wrong known bit
    qint64 wrongWrites = 0;            // acknowledged writes the slave does not hold
    qint64 unknownErrors = 0;          // error texts outside the known set
    qint64 inconsistent = 0;           // write's result and hasError disagree
    qint64 tampered = 0;
    qint64 drainWaits = 0;             // writes after which old connections had to finish first
    qint64 notDrained = 0;             // ... and did not in time
    qint64 hangs = 0;
    qint64 rssStartKb = -1;            // after start-up, before the first request
    qint64 rssWarmKb = -1;             // after the warm-up requests
    qint64 rssEndKb = -1;
    // The kernel's high-water mark may lag behind its own RSS figure; the
    // peak reported is the larger of it and every RSS sampled.
    qint64 rssPeakSampledKb = -1;
    qint64 warmUpRequests = 0;
    double seconds = 0;
};

// Up to 32 bytes from offset on, in hexadecimal.
QString hex(const QByteArray &bytes, int offset = 0)
{
    const int shown = 32;
    QString text = offset > 0 ? QStringLiteral("[%1] ").arg(offset) : QString();
    text += QString::fromLatin1(bytes.mid(offset, shown).toHex(' '));
    if (offset > 0 || bytes.size() > offset + shown)
        text += QStringLiteral(" ... (%1 bytes)").arg(bytes.size());
    return text;
}

QString describe(const Request &request)
{
    return QStringLiteral("%1 %2, type %3, count %4")
        .arg(request.kind, request.address)
        .arg(request.dataType)
        .arg(request.count);
}

class Soak
{
public:
    Soak(const Options &options, QTextStream &out)
        : m_options(options), m_out(out), m_faults(options.seed ^ 0x9E3779B97F4A7C15ULL, options.faultRate,
                                                  options.faultKinds, options.timeoutMs)
    {
    }

    int run();

private:
    void presetData();
    bool writeProject(QString *error);
    void runRequest(DriverInterface *driver, TcpDevice &device, Watchdog &watchdog, const Request &request);
    void judgeRead(const Request &request, const QByteArray &data);
    void judgeFailure(const Request &request, const QString &error);
    void checkSlaveAfterWrite(const Request &request);
    void waitForOldConnections(const TcpDevice &device, const Request &request);
    void tamper();
    qint64 watchdogLimitMs(const Request &request) const;
    void problem(qint64 *counter, const QString &what, const QString &detail);
    void printSummary(QTextStream &out, bool hung);

    const Options &m_options;
    QTextStream &m_out;
    Shadow m_shadow;
    soak::Layout m_layout;
    FaultInjector m_faults; // outlives the slave that calls it
    std::unique_ptr<sim::SimSlave> m_slave;
    std::mt19937_64 m_tamperRandom{0};
    Results m_results;
    QElapsedTimer m_clock;
};

void Soak::presetData()
{
    std::mt19937_64 random(m_options.seed ^ 0x5EED5EED5EEDULL);
    const auto word = [&random] { return uint16_t(random() & 0xFFFF); };
    const auto bit = [&random] { return uint8_t(random() & 1); };
    for (int a = 0; a < m_layout.holdingRegisters; ++a)
        m_shadow.holdingRegisters[std::size_t(a)] = word();
    for (int a = 0; a < m_layout.inputRegisters; ++a)
        m_shadow.inputRegisters[std::size_t(a)] = word();
    for (int a = 0; a < m_layout.coils; ++a)
        m_shadow.coils[std::size_t(a)] = bit();
    for (int a = 0; a < m_layout.discreteInputs; ++a)
        m_shadow.discreteInputs[std::size_t(a)] = bit();
    // Configured addresses come in runs of 1 to 40 with gaps of 1 to 20, so
    // that a sparse byte read meets several runs and single addresses.
    const auto configure = [&random](std::vector<uint8_t> &configured, int window) {
        std::uniform_int_distribution<int> run(1, 40);
        std::uniform_int_distribution<int> gap(1, 20);
        for (int a = gap(random); a < window;) {
            const int end = std::min(window, a + run(random));
            for (; a < end; ++a)
                configured[std::size_t(a)] = 1;
            a += gap(random);
        }
    };
    configure(m_shadow.configuredInputs, m_layout.discreteInputs);
    configure(m_shadow.configuredCoils, m_layout.coils);
}

bool Soak::writeProject(QString *error)
{
    ProjectSetup project;
    project.link = QLatin1String(kLink);
    project.station = m_options.station;
    project.nodePort = m_slave->port();
    for (int a = 0; a < sim::kAddressSpace; ++a) {
        if (m_shadow.configuredInputs[std::size_t(a)])
            project.tagAddresses.append(QStringLiteral("DI%1").arg(a + 1));
        if (m_shadow.configuredCoils[std::size_t(a)])
            project.tagAddresses.append(QStringLiteral("DO%1").arg(a + 1));
    }
    // Register tags belong to the project too; they configure no bit address.
    project.tagAddresses.append(QStringLiteral("HR1"));
    project.tagAddresses.append(QStringLiteral("IR1"));
    return writeProjectDatabase(projectDatabasePath(QCoreApplication::applicationDirPath()), project, error);
}

qint64 Soak::watchdogLimitMs(const Request &request) const
{
    if (m_options.watchdogMs > 0)
        return m_options.watchdogMs;
    // Worst case of one exchange: a send, two reads and a reconnect, each to
    // its time-out. Three times the worst case of the whole request, plus
    // ten seconds, is far beyond anything a working driver takes.
    const qint64 exchange = 3 * qint64(m_options.timeoutMs) + kConnectTimeoutMs;
    const qint64 worst = qint64(m_options.retries + 1) * soak::exchangesPerAttempt(request, m_shadow) * exchange;
    return 3 * worst + 10000;
}

void Soak::problem(qint64 *counter, const QString &what, const QString &detail)
{
    ++*counter;
    if (*counter <= kShownProblems)
        m_out << "  " << what << ": " << detail << '\n';
    m_out.flush();
}

void Soak::judgeRead(const Request &request, const QByteArray &data)
{
    const Shadow::Expectation expected = m_shadow.expectRead(request);
    int firstWrong = data.size() != expected.bytes.size() ? 0 : -1;
    for (int i = 0; i < expected.bytes.size(); ++i) {
        const uchar known = uchar(expected.known.at(i));
        m_results.bitsChecked += __builtin_popcount(known);
        m_results.bitsUnknown += 8 - __builtin_popcount(known);
        if (firstWrong < 0 && ((uchar(data.at(i)) ^ uchar(expected.bytes.at(i))) & known))
            firstWrong = i;
    }
    if (firstWrong >= 0) {
        // What the slave holds now tells a driver that delivered wrong bytes
        // from a slave whose data went another way than the shadow.
        Shadow slaveNow = m_shadow;
        m_slave->withData([&slaveNow](sim::SlaveData &data) {
            slaveNow.holdingRegisters = data.holdingRegisters;
            slaveNow.inputRegisters = data.inputRegisters;
            slaveNow.coils = data.coils;
            slaveNow.discreteInputs = data.discreteInputs;
        });
        const QByteArray held = slaveNow.expectRead(request).bytes;
        const int from = firstWrong - firstWrong % 16;
        problem(&m_results.wrongValues, QStringLiteral("WRONG VALUE accepted"),
                QStringLiteral("request #%1 %2\n    got      %3\n    expected %4\n    known    %5\n"
                               "    slave    %6 (%7)")
                    .arg(m_results.done + 1)
                    .arg(describe(request), hex(data, from), hex(expected.bytes, from), hex(expected.known, from),
                         hex(held, from),
                         held == data ? QStringLiteral("the slave holds what was read")
                                      : QStringLiteral("the read differs from the slave")));
    }
}

void Soak::judgeFailure(const Request &request, const QString &error)
{
    const soak::ErrorVerdict verdict = soak::judgeError(error, request, m_options.station);
    ++m_results.errors[verdict.known ? verdict.key : QStringLiteral("(unknown) ") + verdict.key];
    if (!verdict.known) {
        problem(&m_results.unknownErrors, QStringLiteral("UNKNOWN ERROR TEXT"),
                QStringLiteral("request #%1 %2: \"%3\"").arg(m_results.done + 1).arg(describe(request), error));
    }
}

void Soak::checkSlaveAfterWrite(const Request &request)
{
    // Every register or coil the write touched must hold what the shadow
    // knows of it: the written bits and, in registers, the bits kept.
    std::set<int> addresses;
    const int bits = soak::dataBits(request);
    for (int i = 0; i < bits; ++i) {
        soak::Target target;
        if (soak::targetOf(request, m_shadow, i, &target))
            addresses.insert(target.address);
    }
    QStringList differences;
    m_slave->withData([&](sim::SlaveData &data) {
        for (int a : addresses) {
            const std::size_t i = std::size_t(a);
            if (request.table == Table::HoldingRegisters) {
                const uint16_t known = m_shadow.knownMask(a);
                if ((data.holdingRegisters[i] ^ m_shadow.holdingRegisters[i]) & known)
                    differences.append(QStringLiteral("HR%1 holds %2, expected %3 (known bits %4)")
                                           .arg(a + 1)
                                           .arg(data.holdingRegisters[i], 4, 16, QLatin1Char('0'))
                                           .arg(m_shadow.holdingRegisters[i], 4, 16, QLatin1Char('0'))
                                           .arg(known, 4, 16, QLatin1Char('0')));
            } else if (data.coils[i] != m_shadow.coils[i]) {
                differences.append(QStringLiteral("coil %1 is %2, expected %3")
                                       .arg(a + 1)
                                       .arg(data.coils[i])
                                       .arg(m_shadow.coils[i]));
            }
        }
    });
    if (!differences.isEmpty()) {
        problem(&m_results.wrongWrites, QStringLiteral("WRONG VALUE written"),
                QStringLiteral("request #%1 %2, data %3: %4")
                    .arg(m_results.done + 1)
                    .arg(describe(request), hex(request.data), differences.mid(0, 4).join(QStringLiteral("; "))));
    }
}

// A request the driver gave up on may still sit unread in the slave's end of
// a connection the driver has closed; the slave serves it when that
// connection's thread gets to it, possibly after later requests on a new
// connection (a slow slave, or a short time-out on a loaded machine). A write
// landing so late would overwrite what a later write put there, so after each
// write the soak lets every connection but the device's current one finish
// before it trusts the shadow again: the slave has accepted every connection
// the device made, and no other is still open.
void Soak::waitForOldConnections(const TcpDevice &device, const Request &request)
{
    const auto drained = [this, &device] {
        return m_slave->stats().connections == quint64(device.connectCount())
               && m_slave->openConnections() <= (device.isOpen() ? 1 : 0);
    };
    if (drained())
        return;
    ++m_results.drainWaits;
    QElapsedTimer waited;
    waited.start();
    const qint64 limitMs = 10000 + 4 * qint64(m_options.timeoutMs);
    while (!drained()) {
        if (waited.elapsed() > limitMs) {
            problem(&m_results.notDrained, QStringLiteral("OLD CONNECTIONS NOT FINISHED"),
                    QStringLiteral("after request #%1 %2: %3 of %4 connections still open after %5 ms")
                        .arg(m_results.done + 1)
                        .arg(describe(request))
                        .arg(m_slave->openConnections())
                        .arg(m_slave->stats().connections)
                        .arg(waited.elapsed()));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Soak::tamper()
{
    // Changes one bit the shadow knows, in the slave only.
    const bool coil = m_tamperRandom() & 1;
    const int address = int(m_tamperRandom() % uint64_t(coil ? m_layout.coils : m_layout.holdingRegisters));
    const int bit = int(m_tamperRandom() % 16);
    m_slave->withData([&](sim::SlaveData &data) {
        if (coil)
            data.coils[std::size_t(address)] ^= 1;
        else
            data.holdingRegisters[std::size_t(address)] ^= uint16_t(1u << bit);
    });
    ++m_results.tampered;
}

void Soak::runRequest(DriverInterface *driver, TcpDevice &device, Watchdog &watchdog, const Request &request)
{
    const CommunicatorCommand command(request.dataType, request.count, request.address);
    const quint64 faultsBefore = m_faults.total();
    watchdog.arm(QStringLiteral("request #%1 %2").arg(m_results.done + 1).arg(describe(request)),
                 watchdogLimitMs(request));
    QByteArray data;
    bool written = false;
    if (request.write)
        written = driver->write(&device, command, request.data);
    else
        data = driver->read(&device, command);
    const bool failed = driver->hasError();
    const QString error = failed ? driver->getLastError() : QString();
    watchdog.disarm();

    const bool metFault = m_faults.total() != faultsBefore;
    m_results.metFault += metFault ? 1 : 0;
    m_results.metFaultSucceeded += metFault && !failed ? 1 : 0;
    KindCount &kind = m_results.byKind[request.kind];
    ++kind.sent;
    kind.succeeded += failed ? 0 : 1;
    if (request.write) {
        ++m_results.writes;
        m_results.writesFailed += failed ? 1 : 0;
        if (written == failed) {
            problem(&m_results.inconsistent, QStringLiteral("INCONSISTENT RESULT"),
                    QStringLiteral("request #%1 %2: write returned %3 with hasError %4")
                        .arg(m_results.done + 1).arg(describe(request)).arg(written).arg(failed));
        }
        waitForOldConnections(device, request);
        const bool acknowledged = written && !failed;
        m_shadow.applyWrite(request, acknowledged);
        if (acknowledged)
            checkSlaveAfterWrite(request);
    } else {
        ++m_results.reads;
        m_results.readsFailed += failed ? 1 : 0;
        if (!failed)
            judgeRead(request, data);
    }
    if (failed)
        judgeFailure(request, error);
    ++m_results.done;
}

int Soak::run()
{
    presetData();
    sim::SlaveConfig config;
    config.stations = sim::makeStationSet({m_options.station});
    m_slave = std::make_unique<sim::SimSlave>(config);
    m_slave->withData([this](sim::SlaveData &data) {
        data.holdingRegisters = m_shadow.holdingRegisters;
        data.inputRegisters = m_shadow.inputRegisters;
        data.coils = m_shadow.coils;
        data.discreteInputs = m_shadow.discreteInputs;
    });
    QString error;
    if (!m_slave->start(&error)) {
        m_out << "mbrtu_soak: cannot start the simulated slave: " << error << '\n';
        return 1;
    }
    if (!writeProject(&error)) {
        m_out << "mbrtu_soak: cannot write the project database: " << error << '\n';
        return 1;
    }
    DriverPlugin plugin;
    if (!plugin.load(pluginSearchDirs(QString(), qEnvironmentVariable(kPluginDirEnvironment),
                                      QCoreApplication::applicationDirPath()),
                     &error)) {
        m_out << "mbrtu_soak: " << error << '\n';
        return 1;
    }
    DriverInterface *driver = plugin.driver();

    TcpDeviceSettings settings;
    settings.port = m_slave->port();
    settings.stationId = m_options.station;
    settings.retryCount = m_options.retries;
    settings.responseTimeoutMs = m_options.timeoutMs;
    settings.connectTimeoutMs = kConnectTimeoutMs;
    settings.deviceString = QLatin1String(kLink);
    TcpDevice device(settings);

    QStringList kinds;
    for (sim::FaultKind kind : m_options.faultKinds)
        kinds.append(QLatin1String(kFaultNames[int(kind)]));
    m_out << "mbrtu_soak: " << driver->name() << ' ' << driver->getVersionNumber() << " from " << plugin.fileName()
          << "\n  seed " << m_options.seed << ", " << m_options.requests << " requests, fault rate "
          << m_options.faultRate << " of the replies (" << kinds.join(QStringLiteral(", ")) << "), time-out "
          << m_options.timeoutMs << " ms, " << m_options.retries << " retries, station " << m_options.station
          << ", slave on 127.0.0.1:" << m_slave->port() << '\n';
    m_out.flush();

    m_tamperRandom.seed(m_options.seed ^ 0x7A3BE4ULL);
    m_slave->setFaultSource(
        [this](const QByteArray &reply, sim::Fault *fault) { return m_faults.decide(reply, fault); });
    Watchdog watchdog([this](const QString &what, qint64 elapsedMs) {
        ++m_results.hangs;
        m_out << "  HANG: " << what << " has not come back after " << elapsedMs << " ms\n";
        m_results.seconds = m_clock.elapsed() / 1000.0;
        printSummary(m_out, true);
        m_out.flush();
    });

    soak::RequestGenerator generator(m_options.seed, m_layout);
    m_results.warmUpRequests = std::min<qint64>(1000, std::max<qint64>(1, m_options.requests / 10));
    m_results.rssStartKb = statusKb("VmRSS");
    m_clock.start();
    for (qint64 n = 0; n < m_options.requests; ++n) {
        if (m_options.tamperEvery > 0 && n > 0 && n % m_options.tamperEvery == 0)
            tamper();
        runRequest(driver, device, watchdog, generator.next());
        if (m_results.done == m_results.warmUpRequests) {
            m_results.rssWarmKb = statusKb("VmRSS");
            m_results.rssPeakSampledKb = std::max(m_results.rssPeakSampledKb, m_results.rssWarmKb);
        }
        if (m_options.progressEvery > 0 && m_results.done % m_options.progressEvery == 0) {
            const double seconds = m_clock.elapsed() / 1000.0;
            const qint64 rss = statusKb("VmRSS");
            m_results.rssPeakSampledKb = std::max(m_results.rssPeakSampledKb, rss);
            m_out << QStringLiteral("  %1 requests, %2 s, %3 failed, %4 faults injected, wrong values %5, RSS %6 kB\n")
                         .arg(m_results.done)
                         .arg(seconds, 0, 'f', 1)
                         .arg(m_results.readsFailed + m_results.writesFailed)
                         .arg(m_faults.total())
                         .arg(m_results.wrongValues + m_results.wrongWrites)
                         .arg(rss);
            m_out.flush();
        }
    }
    m_results.seconds = m_clock.elapsed() / 1000.0;
    m_results.rssEndKb = statusKb("VmRSS");
    m_slave->setFaultSource(nullptr);
    device.close();
    m_slave->stop();
    printSummary(m_out, false);
    const bool passed = m_results.wrongValues == 0 && m_results.wrongWrites == 0 && m_results.unknownErrors == 0
                        && m_results.inconsistent == 0 && m_results.notDrained == 0 && m_results.hangs == 0;
    return passed ? 0 : 1;
}

void Soak::printSummary(QTextStream &out, bool hung)
{
    const Results &r = m_results;
    const auto line = [&out](const char *label, const QString &text) {
        out << QStringLiteral("%1 %2\n").arg(QLatin1String(label), -24).arg(text);
    };
    out << "\nsummary" << (hung ? " (the run hung)" : "") << '\n';
    line("requests", QStringLiteral("%1 in %2 s, %3 requests/s")
                         .arg(r.done)
                         .arg(r.seconds, 0, 'f', 1)
                         .arg(r.seconds > 0 ? r.done / r.seconds : 0.0, 0, 'f', 1));
    line("  reads", QStringLiteral("%1, %2 failed").arg(r.reads).arg(r.readsFailed));
    line("  writes", QStringLiteral("%1, %2 failed").arg(r.writes).arg(r.writesFailed));
    out << QStringLiteral("  %1 %2 %3\n")
               .arg(QStringLiteral("by kind"), -28)
               .arg(QStringLiteral("sent"), 6)
               .arg(QStringLiteral("succeeded"), 10);
    for (auto it = r.byKind.constBegin(); it != r.byKind.constEnd(); ++it)
        out << QStringLiteral("    %1 %2 %3\n").arg(it.key(), -26).arg(it->sent, 6).arg(it->succeeded, 10);
    QStringList injected;
    for (int kind = 0; kind < kFaultKinds; ++kind) {
        QString text = QStringLiteral("%1 %2").arg(QLatin1String(kFaultNames[kind])).arg(m_faults.injected(kind));
        if (kind == int(sim::FaultKind::Delay))
            text += QStringLiteral(" (%1 beyond the time-out)").arg(m_faults.lateDelays());
        if (kind == int(sim::FaultKind::Split))
            text += QStringLiteral(" (%1 with a pause beyond the time-out)").arg(m_faults.lateSplits());
        injected.append(text);
    }
    line("faults injected", QStringLiteral("%1 into %2 replies: %3")
                                .arg(m_faults.total())
                                .arg(m_faults.replies())
                                .arg(injected.join(QStringLiteral(", "))));
    line("requests meeting faults", QStringLiteral("%1, of which %2 succeeded all the same")
                                        .arg(r.metFault).arg(r.metFaultSucceeded));
    if (m_slave) {
        const sim::SlaveStats stats = m_slave->stats();
        line("slave", QStringLiteral("%1 requests, %2 replies sent whole, %3 connections, %4 frames discarded")
                          .arg(stats.requests).arg(stats.replies).arg(stats.connections).arg(stats.discarded));
    }
    out << "errors by text (final error of each failed request, without the request description)\n";
    if (r.errors.isEmpty())
        out << "    none\n";
    QVector<QPair<qint64, QString>> errors;
    for (auto it = r.errors.constBegin(); it != r.errors.constEnd(); ++it)
        errors.append(qMakePair(it.value(), it.key()));
    std::sort(errors.begin(), errors.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &error : errors)
        out << QStringLiteral("    %1  %2\n").arg(error.first, 8).arg(error.second);
    line("values checked",
         QStringLiteral("%1 bits of successful reads; %2 bits unknown after failed writes, not checked")
             .arg(r.bitsChecked)
             .arg(r.bitsUnknown));
    if (r.tampered > 0)
        line("tampered", QStringLiteral("%1 bits changed in the slave behind the soak's back").arg(r.tampered));
    line("after writes", QStringLiteral("%1 times the slave's old connections had to finish first%2")
                             .arg(r.drainWaits)
                             .arg(r.notDrained ? QStringLiteral(", %1 times they did not").arg(r.notDrained)
                                               : QString()));
    line("wrong values accepted", QString::number(r.wrongValues));
    line("wrong values written", QString::number(r.wrongWrites));
    line("unknown error texts", QString::number(r.unknownErrors));
    line("inconsistent results", QString::number(r.inconsistent));
    line("hangs", QString::number(r.hangs));
    const qint64 end = r.rssEndKb >= 0 ? r.rssEndKb : statusKb("VmRSS");
    const qint64 peak = std::max({statusKb("VmHWM"), r.rssPeakSampledKb, end});
    if (r.rssWarmKb < 0) {
        line("memory", QStringLiteral("RSS %1 kB before the first request, %2 kB now, peak %3 kB")
                           .arg(r.rssStartKb).arg(end).arg(peak));
    } else {
        line("memory", QStringLiteral("RSS %1 kB before the first request, %2 kB after %3 requests, %4 kB at the end "
                                      "(%5%6 kB since then), peak %7 kB")
                           .arg(r.rssStartKb)
                           .arg(r.rssWarmKb)
                           .arg(r.warmUpRequests)
                           .arg(end)
                           .arg(end - r.rssWarmKb >= 0 ? QStringLiteral("+") : QString())
                           .arg(end - r.rssWarmKb)
                           .arg(peak));
    }
    const bool passed = !hung && r.wrongValues == 0 && r.wrongWrites == 0 && r.unknownErrors == 0
                        && r.inconsistent == 0 && r.notDrained == 0;
    line("result", passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    Options options;
    QString error;
    if (!parseOptions(app, &options, &error)) {
        QTextStream(stderr) << "mbrtu_soak: " << error << "\nTry --help.\n";
        return 2;
    }
    Soak soak(options, out);
    return soak.run();
}
