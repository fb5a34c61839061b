// mbrtu simulate and mbrtu proxy: the simulated slave on TCP or a serial
// line, and the fault proxy in front of any slave, each running until SIGINT
// or SIGTERM.

#include "host/mbrtu/tool_commands.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <csignal>
#include <cstdio>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/mbrtu/tool_session.h"
#include "host/sim/fault_proxy.h"
#include "host/sim/sim_map.h"
#include "host/sim/sim_slave.h"

namespace {

// A map file larger than this is refused rather than read into memory: every
// table of one station takes some 4 MB of lines.
constexpr qint64 kMaxMapFileBytes = 64 * 1024 * 1024;

// Prints the lines of one event together: the slave's connection threads
// trace at the same time.
void printTraceLines(const QStringList &lines)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    for (const QString &line : lines)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The request the simulated slave takes up, then its reply.
void printSlaveTrace(const QByteArray &request, const QByteArray &reply)
{
    const QDateTime now = QDateTime::currentDateTime();
    printTraceLines({formatTraceEntry(TraceEntry{TraceDirection::Received, now, request}),
                     reply.isEmpty() ? now.toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral(" (no reply)")
                                     : formatTraceEntry(TraceEntry{TraceDirection::Sent, now, reply})});
}

// Input the simulated slave throws away or ignores, with the reason.
void printDiscardTrace(const QByteArray &bytes, sim::DiscardReason reason)
{
    const TraceEntry entry{TraceDirection::Received, QDateTime::currentDateTime(), bytes};
    printTraceLines({QStringLiteral("%1 (%2)").arg(formatTraceEntry(entry), sim::discardNote(bytes, reason))});
}

// Blocks the stop signals before any thread starts, so that waitForStop()
// takes them.
sigset_t blockStopSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return stopSignals;
}

void waitForStop(const sigset_t &stopSignals)
{
    int signal = 0;
    sigwait(&stopSignals, &signal);
}

// The fault source of simulate and proxy, or null when faults are off.
std::unique_ptr<sim::FaultInjector> faultInjectorFor(const ToolOptions &options)
{
    if (!options.faultsOn)
        return nullptr;
    sim::FaultInjector::Plan plan;
    plan.seed = options.seed;
    plan.rate = options.faultRate;
    plan.kinds = options.faultKinds;
    plan.lateMs = options.lateMs > 0 ? options.lateMs : kDefaultLateMs;
    plan.maxWaitMs = plan.lateMs;
    return std::make_unique<sim::FaultInjector>(plan);
}

QString faultPlanText(const sim::FaultInjector &faults)
{
    QStringList kinds;
    for (sim::FaultKind kind : faults.plan().kinds)
        kinds.append(QLatin1String(sim::faultName(kind)));
    return QStringLiteral("faults in %1 of the replies (%2), seed %3, late replies after %4 ms")
        .arg(faults.plan().rate)
        .arg(kinds.join(QLatin1Char(',')))
        .arg(faults.plan().seed)
        .arg(faults.plan().lateMs);
}

QString stationList(const QList<int> &stations)
{
    QStringList texts;
    for (int station : stations)
        texts.append(QString::number(station));
    return texts.join(QLatin1Char(','));
}

// The period of --count-every, or the default.
int countPeriodMs(const ToolOptions &options)
{
    return options.countEveryMs > 0 ? options.countEveryMs : sim::kDefaultCountEveryMs;
}

// What simulate does beyond a plain slave, for its start-up lines.
QStringList gatewayLines(const ToolOptions &options, const sim::FaultInjector *faults)
{
    QStringList lines;
    if (options.gateway)
        lines.append(QStringLiteral("gateway: exception 0x0B for stations not served"));
    if (!options.unreachable.isEmpty())
        lines.append(QStringLiteral("gateway: exception 0x0A for station(s) %1").arg(stationList(options.unreachable)));
    if (options.echo)
        lines.append(QStringLiteral("every request echoed before its reply"));
    if (options.lineBaud > 0)
        lines.append(QStringLiteral("replies paced at %1 baud, %2 bits a byte").arg(options.lineBaud).arg(options.lineBits));
    if (!options.countUp.isEmpty())
        lines.append(QStringLiteral("counting up by one every %1 ms: %2").arg(countPeriodMs(options)).arg(options.countUpText));
    if (faults)
        lines.append(faultPlanText(*faults));
    return lines;
}

// One line per proxy event, from the sessions' threads.
void printProxyTrace(int session, sim::ProxyEvent event, const QByteArray &bytes, const QString &note)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString hexBytes = QString::fromLatin1(bytes.toHex(' ').toUpper());
    QString text;
    switch (event) {
    case sim::ProxyEvent::Connected:
        text = QStringLiteral("connected to the slave");
        break;
    case sim::ProxyEvent::SlaveUnreachable:
        text = QStringLiteral("cannot reach the slave: %1").arg(note);
        break;
    case sim::ProxyEvent::Request:
        text = QStringLiteral("-> %1").arg(hexBytes);
        break;
    case sim::ProxyEvent::Reply:
        text = QStringLiteral("<- %1").arg(hexBytes) + (note.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(note));
        break;
    case sim::ProxyEvent::PassedAsIs:
        text = QStringLiteral("<- %1 (not a reply, passed on)").arg(hexBytes);
        break;
    case sim::ProxyEvent::Closed:
        text = QStringLiteral("closed");
        break;
    }
    std::printf("%s #%d %s\n", qPrintable(now), session, qPrintable(text));
    std::fflush(stdout);
}

// Something to read besides zeros: every input register holds its own
// zero-based address and every odd-numbered discrete input is on.
void fillStartPattern(sim::SlaveData &data)
{
    for (int i = 0; i < sim::kAddressSpace; ++i) {
        data.inputRegisters[std::size_t(i)] = uint16_t(i);
        data.discreteInputs[std::size_t(i)] = uint8_t(i % 2 == 0);
    }
}

// The entries of --map (none without it), read before anything is served;
// false, with the reason on err, for a file that cannot be read or a bad line.
bool loadMap(const ToolOptions &options, const sim::StationSet &served, QVector<sim::MapEntry> *entries,
             QTextStream &err)
{
    if (options.mapFile.isEmpty())
        return true;
    QFile file(options.mapFile);
    if (!file.open(QIODevice::ReadOnly)) {
        err << QStringLiteral("mbrtu: cannot read %1: %2\n").arg(options.mapFile, file.errorString());
        return false;
    }
    const QByteArray text = file.read(kMaxMapFileBytes + 1);
    if (text.size() > kMaxMapFileBytes) {
        err << QStringLiteral("mbrtu: %1: larger than %2 bytes\n").arg(options.mapFile).arg(kMaxMapFileBytes);
        return false;
    }
    const sim::ParsedMap map = sim::parseSlaveMap(QString::fromUtf8(text), served);
    if (map.errorLine > 0) {
        err << QStringLiteral("mbrtu: %1:%2: %3\n").arg(options.mapFile).arg(map.errorLine).arg(map.error);
        return false;
    }
    *entries = map.entries;
    return true;
}

// "9600 8E1"
QString lineFormat(const ToolOptions &options)
{
    return QStringLiteral("%1 %2%3%4").arg(options.baud).arg(options.dataBits).arg(QLatin1Char(options.parity)).arg(options.stopBits);
}

// Starts serving TCP, or the serial line of --serial.
bool startSlave(const ToolOptions &options, sim::SimSlave &slave, QTextStream &err)
{
    QString error;
    if (options.serialPort.isEmpty()) {
        if (slave.start(&error))
            return true;
        err << QStringLiteral("mbrtu: cannot listen on %1:%2: %3\n").arg(options.host).arg(options.port).arg(error);
        return false;
    }
    sim::SerialPortSettings port;
    port.path = options.serialPort.toStdString();
    port.baud = options.baud;
    port.parity = options.parity;
    port.dataBits = options.dataBits;
    port.stopBits = options.stopBits;
    if (slave.startSerial(port, &error))
        return true;
    err << QStringLiteral("mbrtu: cannot open the serial port: %1\n").arg(error);
    return false;
}

} // namespace

int runSimulate(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    const sigset_t stopSignals = blockStopSignals();
    sim::SlaveConfig config;
    config.bindAddress = options.host.toStdString();
    config.port = quint16(options.port);
    config.stations.reset();
    QStringList stationTexts;
    for (int station : options.stations) {
        config.stations.set(std::size_t(station));
        stationTexts.append(QString::number(station));
    }
    config.gateway.answerForAbsent = options.gateway;
    for (int station : options.unreachable)
        config.gateway.unreachable.set(std::size_t(station));
    config.echo = options.echo;
    config.line = sim::SerialLine{options.lineBaud, options.lineBits};
    config.counters = options.countUp;
    config.countEveryMs = countPeriodMs(options);
    QVector<sim::MapEntry> map;
    if (!loadMap(options, config.stations, &map, err))
        return kExitFailure;
    const std::unique_ptr<sim::FaultInjector> faults = faultInjectorFor(options);
    sim::SimSlave slave(config);
    if (options.trace) {
        slave.setMonitor(printSlaveTrace);
        slave.setDiscardMonitor(printDiscardTrace);
    }
    if (faults)
        slave.setFaultSource([&faults](const QByteArray &reply, sim::Fault *fault) { return faults->decide(reply, fault); });
    for (int station : options.stations) {
        slave.withStationData(station, [&map, station](sim::SlaveData &data) {
            fillStartPattern(data);
            sim::applySlaveMap(map, station, data);
        });
    }
    if (!startSlave(options, slave, err))
        return kExitFailure;
    const QString where = options.serialPort.isEmpty()
                              ? QStringLiteral("listening on %1:%2").arg(options.host).arg(slave.port())
                              : QStringLiteral("on serial port %1 (%2)").arg(options.serialPort, lineFormat(options));
    out << QStringLiteral("simulated slave %1, station(s) %2; stop with Ctrl-C\n")
               .arg(where, stationTexts.join(QLatin1Char(',')));
    for (const QString &line : gatewayLines(options, faults.get()))
        out << "  " << line << '\n';
    out.flush();
    waitForStop(stopSignals);
    const sim::SlaveStats stats = slave.stats();
    slave.stop();
    out << QStringLiteral("stopped: %1 %2, %3 request(s), %4 replies, %5 discarded\n")
               .arg(stats.connections)
               .arg(options.serialPort.isEmpty() ? QStringLiteral("connection(s)") : QStringLiteral("opening(s) of the port"))
               .arg(stats.requests)
               .arg(stats.replies)
               .arg(stats.discarded);
    if (faults)
        out << "faults injected: " << faults->summary() << '\n';
    return kExitSuccess;
}

int runProxy(const ToolOptions &options, QTextStream &out, QTextStream &err)
{
    const sigset_t stopSignals = blockStopSignals();
    sim::ProxyConfig config;
    config.bindAddress = options.host.toStdString();
    config.port = quint16(options.listenPort);
    config.slaveHost = options.slaveHost;
    config.slavePort = quint16(options.slavePort);
    const std::unique_ptr<sim::FaultInjector> faults = faultInjectorFor(options);
    sim::FaultProxy proxy(config);
    if (options.trace)
        proxy.setMonitor(printProxyTrace);
    if (faults)
        proxy.setFaultSource([&faults](const QByteArray &reply, sim::Fault *fault) { return faults->decide(reply, fault); });
    QString error;
    if (!proxy.start(&error)) {
        err << QStringLiteral("mbrtu: cannot start the proxy on %1:%2 for %3:%4: %5\n")
                   .arg(options.host)
                   .arg(options.listenPort)
                   .arg(options.slaveHost)
                   .arg(options.slavePort)
                   .arg(error);
        return kExitFailure;
    }
    out << QStringLiteral("proxy listening on %1:%2 for the slave at %3:%4; stop with Ctrl-C\n")
               .arg(options.host)
               .arg(proxy.port())
               .arg(options.slaveHost)
               .arg(options.slavePort);
    out << "  " << (faults ? faultPlanText(*faults) : QStringLiteral("no faults")) << '\n';
    out.flush();
    waitForStop(stopSignals);
    proxy.stop();
    const sim::ProxyStats stats = proxy.stats();
    out << QStringLiteral("stopped: %1 connection(s) (%2 could not reach the slave), %3 replies, %4 piece(s) passed "
                          "on as they were\n")
               .arg(stats.connections)
               .arg(stats.slaveFailures)
               .arg(stats.replies)
               .arg(stats.passedAsIs);
    if (faults)
        out << "faults injected: " << faults->summary() << '\n';
    return kExitSuccess;
}
