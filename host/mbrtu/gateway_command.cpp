#include "host/mbrtu/gateway_command.h"

#include <QDateTime>
#include <QStringList>
#include <csignal>
#include <mutex>

#include "host/device/frame_trace.h"
#include "host/gateway/gateway_server.h"
#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_session.h"

namespace {

using gateway::FailureKind;

// A time in milliseconds, from 1 ms to an hour.
QString readMs(const QString &option, const QString &text, int *value)
{
    return readNumber(option, text, 1, kMaxOptionMilliseconds, value);
}

const OptionRule kGatewayOptions[] = {
    {"--listen", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) {
         return gateway::parseListen(v, &o.gatewayConfig.listenAddress, &o.gatewayConfig.listenPort);
     }},
    {"--max-clients", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) {
         return readNumber(QStringLiteral("--max-clients"), v, 1, gateway::kMaxClientsLimit, &o.gatewayConfig.maxClients);
     }},
    {"--allow", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) { return gateway::parseAllowList(v, &o.gatewayConfig.allow); }},
    {"--read-only", false, kGatewayCommandBit,
     [](ToolOptions &o, const QString &) {
         o.gatewayConfig.readOnly = true;
         return QString();
     }},
    {"--idle-timeout", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) { return readMs(QStringLiteral("--idle-timeout"), v, &o.gatewayConfig.idleTimeoutMs); }},
    {"--deadline", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) { return readMs(QStringLiteral("--deadline"), v, &o.gatewayConfig.deadlineMs); }},
    {"--status-every", true, kGatewayCommandBit,
     [](ToolOptions &o, const QString &v) { return readMs(QStringLiteral("--status-every"), v, &o.gatewayConfig.statusEveryMs); }},
};

// How the kinds of failure mbrtu tells apart reach a client.
struct KindRule
{
    const char *kind;
    FailureKind failure;
};
const KindRule kFailureKinds[] = {
    {"exception", FailureKind::Exception}, {"timeout", FailureKind::NoReply}, {"interrupted", FailureKind::NoReply},
    {"crc", FailureKind::BadReply},        {"frame", FailureKind::BadReply},  {"link", FailureKind::LinkDown},
};

// Lines from every thread, one at a time, each with the time.
class GatewayLog
{
public:
    explicit GatewayLog(QTextStream &out) : m_out(out) {}
    void line(const QString &text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_out << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) << ' ' << text << '\n';
        m_out.flush();
    }

private:
    std::mutex m_mutex;
    QTextStream &m_out;
};

QString stationsText(const QVector<int> &stations)
{
    QStringList texts;
    for (int station : stations)
        texts.append(QString::number(station));
    return texts.isEmpty() ? QStringLiteral("none") : texts.join(QLatin1Char(','));
}

sigset_t stopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    return stopSet;
}

// Waits for SIGINT or SIGTERM, printing a status line every period.
void serveUntilStopped(const gateway::GatewayServer &server, int statusEveryMs, GatewayLog &log)
{
    const sigset_t stopSet = stopSignals();
    quint64 requestsBefore = 0;
    for (;;) {
        const timespec period = {statusEveryMs / 1000, long(statusEveryMs % 1000) * 1000000L};
        if (sigtimedwait(&stopSet, nullptr, &period) >= 0)
            return;
        if (errno == EINTR)
            continue;
        const gateway::GatewayStats &stats = server.stats();
        const quint64 requests = stats.requests.load();
        log.line(QStringLiteral("status: %1 client(s), %2 requests/s; answers: %3; backed off: %4")
                     .arg(stats.clients.load())
                     .arg(double(requests - requestsBefore) * 1000.0 / statusEveryMs, 0, 'f', 1)
                     .arg(stats.answersText(), stationsText(server.backedOffStations())));
        requestsBefore = requests;
    }
}

} // namespace

const OptionRule *findGatewayOption(const QString &name)
{
    for (const OptionRule &rule : kGatewayOptions) {
        if (name == QLatin1String(rule.name))
            return &rule;
    }
    return nullptr;
}

QString checkGatewayOptions(const ToolOptions &options)
{
    if (options.gatewayConfig.listenPort < 0)
        return QStringLiteral("gateway needs --listen [ADDRESS:]PORT");
    if (options.json)
        return QStringLiteral("--json does not go with gateway");
    if (options.station == 0 || options.station > gateway::kHighestStation)
        return QStringLiteral("--station names the station of unit id 255: 1 to %1").arg(gateway::kHighestStation);
    return QString();
}

gateway::LinkFailure gatewayFailureFor(const QString &driverError, const QString &deviceError)
{
    const FailureInfo info = explainFailure(driverError, deviceError, 0);
    gateway::LinkFailure failure;
    failure.kind = FailureKind::Refused;
    if (deviceError.contains(QLatin1String("echo"))) {
        failure.kind = FailureKind::BadReply;
        return failure;
    }
    for (const KindRule &rule : kFailureKinds) {
        if (info.kind == QLatin1String(rule.kind))
            failure.kind = rule.failure;
    }
    if (failure.kind == FailureKind::Exception && info.exceptionCode < 0)
        failure.kind = FailureKind::Refused;
    failure.exceptionCode = info.exceptionCode;
    return failure;
}

int runGateway(const ToolOptions &given, QTextStream &out, QTextStream &err)
{
    // Blocked before any thread starts, so that only the wait below takes them.
    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);

    DriverPlugin plugin;
    LinkDefaults defaults;
    if (!prepareDriver(given, &plugin, &defaults, err))
        return kExitFailure;
    const ToolOptions options = withStoredAddress(given, defaults);
    const LinkChoice link = linkChoiceFor(options, defaults);
    GatewayLog log(out);
    FrameTrace trace([&log](const TraceEntry &entry) { log.line(QStringLiteral("RTU ") + formatTraceEntry(entry)); });

    gateway::GatewaySetup setup;
    setup.config = options.gatewayConfig;
    setup.timeoutMs = link.timeoutMs;
    setup.retries = link.retries;
    setup.delayMs = int(link.delayMs);
    setup.trace = options.trace;
    setup.log = [&log](const QString &line) { log.line(line); };
    setup.link.driver = plugin.driver();
    setup.link.defaultStation = link.station;
    setup.link.classify = gatewayFailureFor;
    setup.link.makeLink = [&options, &link, &trace] {
        return makeDevice(options, link, options.trace ? &trace : nullptr, [](qint64) { return true; });
    };
    setup.link.afterRequest = [&trace] { trace.flush(); };
    gateway::GatewayServer server(setup);
    QString error;
    if (!server.start(&error)) {
        err << QStringLiteral("mbrtu: cannot listen on %1:%2: %3\n")
                   .arg(options.gatewayConfig.listenAddress)
                   .arg(options.gatewayConfig.listenPort)
                   .arg(error);
        return kExitFailure;
    }
    log.line(QStringLiteral("gateway listening on %1:%2 for the link %3; unit id 255 is station %4; up to %5 client(s)%6%7, "
                            "deadline %8 ms; stop with Ctrl-C")
                 .arg(options.gatewayConfig.listenAddress)
                 .arg(server.port())
                 .arg(linkText(options))
                 .arg(link.station)
                 .arg(options.gatewayConfig.maxClients)
                 .arg(options.gatewayConfig.allow.isEmpty() ? QString() : QStringLiteral(", --allow in force"))
                 .arg(options.gatewayConfig.readOnly ? QStringLiteral(", read-only") : QString())
                 .arg(server.deadlineMs()));
    serveUntilStopped(server, options.gatewayConfig.statusEveryMs, log);
    log.line(QStringLiteral("stopping: no new clients; the request on the line finishes"));
    server.stop();
    const gateway::GatewayStats &stats = server.stats();
    log.line(QStringLiteral("stopped: %1 client(s) served, %2 refused, %3 request(s); answers: %4")
                 .arg(stats.connected.load())
                 .arg(stats.refusedClients.load())
                 .arg(stats.requests.load())
                 .arg(stats.answersText()));
    return kExitSuccess;
}
