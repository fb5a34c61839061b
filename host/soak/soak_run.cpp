#include "host/soak/soak_run.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "host/device/tcp_device.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/process_memory.h"
#include "host/runtime/project_db.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

namespace soak {

namespace {

const char kLink[] = "COM2";
constexpr int kConnectTimeoutMs = 1000;

Layout layoutFor(const Options &options)
{
    Layout layout;
    if (options.firstAddress >= 0) {
        const int size = options.lastAddress - options.firstAddress + 1;
        layout = Layout{options.firstAddress, size, size, size, size};
    }
    return layout;
}

} // namespace

Soak::Soak(const Options &options, QTextStream &out)
    : m_options(options),
      m_out(out),
      m_shadow(!options.externalSlave()),
      m_layout(layoutFor(options)),
      m_faults(sim::FaultInjector::Plan{options.seed ^ 0x9E3779B97F4A7C15ULL, options.faultRate,
                                        options.proxy() ? options.proxyFaultKinds : options.faultKinds,
                                        2 * options.timeoutMs, 2 * options.timeoutMs, options.timeoutMs})
{
}

void Soak::presetData()
{
    std::mt19937_64 random(m_options.seed ^ 0x5EED5EED5EEDULL);
    const auto word = [&random] { return uint16_t(random() & 0xFFFF); };
    const auto bit = [&random] { return uint8_t(random() & 1); };
    const std::size_t first = std::size_t(m_layout.first);
    for (int a = 0; a < m_layout.holdingRegisters; ++a)
        m_shadow.holdingRegisters[first + std::size_t(a)] = word();
    for (int a = 0; a < m_layout.inputRegisters; ++a)
        m_shadow.inputRegisters[first + std::size_t(a)] = word();
    for (int a = 0; a < m_layout.coils; ++a)
        m_shadow.coils[first + std::size_t(a)] = bit();
    for (int a = 0; a < m_layout.discreteInputs; ++a)
        m_shadow.discreteInputs[first + std::size_t(a)] = bit();
    // Configured addresses come in runs of 1 to 40 with gaps of 1 to 20, so
    // that a sparse byte read meets several runs and single addresses.
    const auto configure = [&random, this](std::vector<uint8_t> &configured, int window) {
        std::uniform_int_distribution<int> run(1, 40);
        std::uniform_int_distribution<int> gap(1, 20);
        window += m_layout.first;
        for (int a = m_layout.first + gap(random); a < window;) {
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
    project.nodeIp = linkHost();
    project.nodePort = linkPort();
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
        if (acknowledged && m_slave)
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

bool Soak::startSlave(QString *error)
{
    if (!m_options.externalSlave()) {
        sim::SlaveConfig config;
        config.stations = sim::makeStationSet({m_options.station});
        m_slave = std::make_unique<sim::SimSlave>(config);
        m_slave->withData([this](sim::SlaveData &data) {
            data.holdingRegisters = m_shadow.holdingRegisters;
            data.inputRegisters = m_shadow.inputRegisters;
            data.coils = m_shadow.coils;
            data.discreteInputs = m_shadow.discreteInputs;
        });
        if (!m_slave->start(error)) {
            *error = QStringLiteral("cannot start the simulated slave: ") + *error;
            return false;
        }
    }
    if (m_options.proxy()) {
        sim::ProxyConfig config;
        config.slaveHost = m_slave ? QStringLiteral("127.0.0.1") : m_options.slaveHost;
        config.slavePort = m_slave ? m_slave->port() : uint16_t(m_options.slavePort);
        config.connectTimeoutMs = kConnectTimeoutMs;
        m_proxy = std::make_unique<sim::FaultProxy>(config);
        if (!m_proxy->start(error)) {
            *error = QStringLiteral("cannot start the fault proxy: ") + *error;
            return false;
        }
    }
    return true;
}

QString Soak::linkHost() const
{
    return m_proxy || m_slave ? QStringLiteral("127.0.0.1") : m_options.slaveHost;
}

uint16_t Soak::linkPort() const
{
    return m_proxy ? m_proxy->port() : m_slave ? m_slave->port() : uint16_t(m_options.slavePort);
}

int Soak::run()
{
    presetData();
    QString error;
    if (!startSlave(&error)) {
        m_out << "mbrtu_soak: " << error << '\n';
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
    settings.host = linkHost();
    settings.port = linkPort();
    settings.stationId = m_options.station;
    settings.retryCount = m_options.retries;
    settings.responseTimeoutMs = m_options.timeoutMs;
    settings.connectTimeoutMs = kConnectTimeoutMs;
    settings.deviceString = QLatin1String(kLink);
    TcpDevice device(settings);

    QStringList kinds;
    for (sim::FaultKind kind : m_faults.plan().kinds)
        kinds.append(QLatin1String(sim::faultName(kind)));
    const QString slaveText = m_slave ? QStringLiteral("simulated slave on 127.0.0.1:%1").arg(m_slave->port())
                                      : QStringLiteral("external slave on %1:%2, values checked against the soak's "
                                                       "acknowledged writes")
                                            .arg(m_options.slaveHost).arg(m_options.slavePort);
    const QString faultsText = m_proxy ? QStringLiteral("by the fault proxy on 127.0.0.1:%1").arg(m_proxy->port())
                               : m_slave ? QStringLiteral("by the simulated slave")
                                         : QStringLiteral("none: no proxy in front of the slave");
    m_out << "mbrtu_soak: " << driver->name() << ' ' << driver->getVersionNumber() << " from " << plugin.fileName()
          << "\n  seed " << m_options.seed << ", " << m_options.requests << " requests, fault rate "
          << m_options.faultRate << " of the replies (" << kinds.join(QStringLiteral(", ")) << "), time-out "
          << m_options.timeoutMs << " ms, " << m_options.retries << " retries, station " << m_options.station
          << "\n  " << slaveText << "; faults injected " << faultsText << "; addresses from "
          << m_layout.first << '\n';
    m_out.flush();

    m_tamperRandom.seed(m_options.seed ^ 0x7A3BE4ULL);
    const auto faultSource = [this](const QByteArray &reply, sim::Fault *fault) { return m_faults.decide(reply, fault); };
    if (m_proxy)
        m_proxy->setFaultSource(faultSource);
    else if (m_slave)
        m_slave->setFaultSource(faultSource);
    Watchdog watchdog([this](const QString &what, qint64 elapsedMs) {
        ++m_results.hangs;
        m_out << "  HANG: " << what << " has not come back after " << elapsedMs << " ms\n";
        m_results.seconds = m_clock.elapsed() / 1000.0;
        printSummary(m_out, m_results, m_faults, m_slave.get(), m_proxy.get(), true);
        m_out.flush();
    });

    soak::RequestGenerator generator(m_options.seed, m_layout);
    m_results.warmUpRequests = std::min<qint64>(1000, std::max<qint64>(1, m_options.requests / 10));
    m_results.rssStartKb = processStatusKb("VmRSS");
    m_clock.start();
    for (qint64 n = 0; n < m_options.requests; ++n) {
        if (m_options.tamperEvery > 0 && n > 0 && n % m_options.tamperEvery == 0)
            tamper();
        runRequest(driver, device, watchdog, generator.next());
        if (m_results.done == m_results.warmUpRequests) {
            m_results.rssWarmKb = processStatusKb("VmRSS");
            m_results.rssPeakSampledKb = std::max(m_results.rssPeakSampledKb, m_results.rssWarmKb);
        }
        if (m_options.progressEvery > 0 && m_results.done % m_options.progressEvery == 0) {
            const double seconds = m_clock.elapsed() / 1000.0;
            const qint64 rss = processStatusKb("VmRSS");
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
    m_results.rssEndKb = processStatusKb("VmRSS");
    if (m_proxy)
        m_proxy->setFaultSource(nullptr);
    if (m_slave)
        m_slave->setFaultSource(nullptr);
    device.close();
    if (m_proxy)
        m_proxy->stop();
    if (m_slave)
        m_slave->stop();
    printSummary(m_out, m_results, m_faults, m_slave.get(), m_proxy.get(), false);
    const bool passed = m_results.wrongValues == 0 && m_results.wrongWrites == 0 && m_results.unknownErrors == 0
                        && m_results.inconsistent == 0 && m_results.notDrained == 0 && m_results.hangs == 0
                        && m_results.succeeded() > 0;
    return passed ? 0 : 1;
}

} // namespace soak
