// What the gateway costs: one Modbus TCP client's word reads through the
// gateway against the driver alone on the same link, the latency the gateway
// adds (median and 99th percentile), and, with 8 clients at once, the share of
// the time the RTU link is busy (time inside the driver's calls over the wall
// time). Two links: the simulated slave over loopback, where a round trip is
// tens of microseconds and the gateway's own hand-offs weigh most, and the
// same slave pacing its replies as a 19200 baud serial line, as an RTU line
// behind a serial device server does. Everything runs in this process: the
// slave, the gateway (plug-in loaded with QPluginLoader) and the clients, on
// raw sockets. Prints a Markdown section (and writes it with --markdown FILE).

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "host/device/tcp_device.h"
#include "host/gateway/gateway_server.h"
#include "host/link/station_health.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/sim/sim_slave.h"
#include "settings/driver_interface.h"

namespace {

constexpr int kWarmUp = 200;
constexpr int kClients = 8;
const char kWordRead[] = "\x00\x01\x00\x00\x00\x06\x01\x03\x00\x00\x00\x01"; // HR1, one word
constexpr int kWordReadSize = 12;
constexpr int kWordAnswerSize = 11;

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "gateway_bench: %s\n", qPrintable(why));
    std::exit(1);
}

struct Options
{
    int loopbackRequests = 20000;
    int lineRequests = 1000;
    int seconds = 5;
    int lineBaud = 19200;
    QString markdown;
};

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString &name = arguments[i];
        const QString &value = arguments[i + 1];
        if (name == QLatin1String("--loopback-requests"))
            options.loopbackRequests = value.toInt();
        else if (name == QLatin1String("--line-requests"))
            options.lineRequests = value.toInt();
        else if (name == QLatin1String("--seconds"))
            options.seconds = value.toInt();
        else if (name == QLatin1String("--line-baud"))
            options.lineBaud = value.toInt();
        else if (name == QLatin1String("--markdown"))
            options.markdown = value;
        else
            fail(QStringLiteral("unknown option %1 (--loopback-requests N, --line-requests N, --seconds S, "
                                "--line-baud B, --markdown FILE)").arg(name));
    }
    return options;
}

TcpDeviceSettings linkTo(quint16 port)
{
    TcpDeviceSettings settings;
    settings.port = port;
    settings.responseTimeoutMs = 1000;
    return settings;
}

// Request times in microseconds; the rate is requests over their sum.
struct Timing
{
    QVector<qint64> us;
    double rate() const
    {
        qint64 total = 0;
        for (qint64 t : us)
            total += t;
        return total > 0 ? us.size() * 1e6 / double(total) : 0;
    }
};

Timing driverAlone(DriverInterface *driver, quint16 port, int requests)
{
    TcpDevice device(linkTo(port));
    const CommunicatorCommand read(WordData, 1, QStringLiteral("HR1"));
    Timing timing;
    QElapsedTimer timer;
    for (int i = 0; i < kWarmUp + requests; ++i) {
        timer.start();
        const QByteArray data = driver->read(&device, read);
        const qint64 us = timer.nsecsElapsed() / 1000;
        if (driver->hasError() || data.size() != 2)
            fail(QStringLiteral("driver alone: %1").arg(driver->getLastError()));
        if (i >= kWarmUp)
            timing.us.append(us);
    }
    return timing;
}

int connectClient(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        fail(QStringLiteral("cannot connect to the gateway"));
    return fd;
}

// One word read through the gateway; false when the answer is not one.
bool readWord(int fd)
{
    char answer[kWordAnswerSize];
    return ::send(fd, kWordRead, kWordReadSize, MSG_NOSIGNAL) == kWordReadSize
           && ::recv(fd, answer, sizeof answer, MSG_WAITALL) == kWordAnswerSize && answer[7] == 3;
}

Timing oneClient(quint16 port, int requests)
{
    const int fd = connectClient(port);
    Timing timing;
    QElapsedTimer timer;
    for (int i = 0; i < kWarmUp + requests; ++i) {
        timer.start();
        if (!readWord(fd))
            fail(QStringLiteral("one client: no answer"));
        if (i >= kWarmUp)
            timing.us.append(timer.nsecsElapsed() / 1000);
    }
    ::close(fd);
    return timing;
}

struct Busy
{
    double share = 0;  // of the wall time, the link inside the driver's calls
    double rate = 0;   // answers per second, all clients
};

Busy eightClients(const gateway::GatewayServer &server, quint16 port, int seconds)
{
    std::atomic<bool> stop{false};
    std::atomic<long> answers{0};
    std::vector<std::thread> clients;
    std::vector<int> fds;
    for (int i = 0; i < kClients; ++i)
        fds.push_back(connectClient(port));
    const qint64 busyBefore = server.lineBusyUs();
    QElapsedTimer wall;
    wall.start();
    for (int fd : fds)
        clients.emplace_back([fd, &stop, &answers] {
            while (!stop && readWord(fd))
                ++answers;
        });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const qint64 busyUs = server.lineBusyUs() - busyBefore;
    const qint64 wallUs = wall.nsecsElapsed() / 1000;
    const long answered = answers;
    stop = true;
    for (std::thread &client : clients)
        client.join();
    for (int fd : fds)
        ::close(fd);
    return {double(busyUs) / double(wallUs), answered * 1e6 / double(wallUs)};
}

struct LinkFigures
{
    QString link;
    Timing alone, through;
    Busy busy;
};

LinkFigures measure(DriverInterface *driver, const QString &link, int baud, int requests, int seconds)
{
    sim::SlaveConfig config;
    config.line = sim::SerialLine{baud, 11};
    sim::SimSlave slave(config);
    QString error;
    if (!slave.start(&error))
        fail(QStringLiteral("slave: %1").arg(error));
    LinkFigures figures;
    figures.link = link;
    figures.alone = driverAlone(driver, slave.port(), requests);

    gateway::GatewaySetup setup;
    setup.config.listenPort = 0;
    setup.log = [](const QString &) {};
    setup.link.driver = driver;
    setup.link.makeLink = [&slave] { return std::make_unique<TcpDevice>(linkTo(slave.port())); };
    setup.link.classify = [](const QString &, const QString &) { return gateway::LinkFailure(); };
    gateway::GatewayServer server(setup);
    if (!server.start(&error))
        fail(QStringLiteral("gateway: %1").arg(error));
    figures.through = oneClient(server.port(), requests);
    figures.busy = eightClients(server, server.port(), seconds);
    server.stop();
    if (server.stats().answered(gateway::AnswerKind::Ok) != server.stats().requests.load())
        fail(QStringLiteral("%1: not every request was answered ok").arg(link));
    return figures;
}

QString row(const LinkFigures &f)
{
    const auto ms = [](qint64 us) { return QString::number(double(us) / 1000.0, 'f', 3); };
    const auto pair = [&ms](const Timing &a, const Timing &b, double p) {
        return QStringLiteral("%1 / %2").arg(ms(nearestRankPercentile(a.us, p)), ms(nearestRankPercentile(b.us, p)));
    };
    const auto added = [&ms, &f](double p) {
        return ms(nearestRankPercentile(f.through.us, p) - nearestRankPercentile(f.alone.us, p));
    };
    return QStringLiteral("| %1 | %2 | %3 | **%4** | %5 | %6 | %7 / %8 | %9 | **%10** |\n")
        .arg(f.link)
        .arg(f.alone.rate(), 0, 'f', 0)
        .arg(f.through.rate(), 0, 'f', 0)
        .arg(f.through.rate() / f.alone.rate(), 0, 'f', 3)
        .arg(pair(f.alone, f.through, 50), pair(f.alone, f.through, 99), added(50), added(99))
        .arg(f.busy.rate, 0, 'f', 0)
        .arg(f.busy.share, 0, 'f', 3);
}

QString goalsLine(const LinkFigures &f)
{
    const double ratio = f.through.rate() / f.alone.rate();
    const auto verdict = [](bool met) { return met ? QStringLiteral("met") : QStringLiteral("not met"); };
    return QStringLiteral("- %1: one client at %2 of the driver's rate (goal 0.9: %3); link busy %4 of the time with "
                          "%5 clients (goal 0.95: %6).\n")
        .arg(f.link)
        .arg(ratio, 0, 'f', 3)
        .arg(verdict(ratio >= 0.9))
        .arg(f.busy.share, 0, 'f', 3)
        .arg(kClients)
        .arg(verdict(f.busy.share >= 0.95));
}

// The system's load average over the last minute, as /proc/loadavg has it.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 0)
                                          : QStringLiteral("unknown");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    const QString databasePath = projectDatabasePath(QCoreApplication::applicationDirPath());
    ProjectSetup project;
    QString error;
    if (!writeProjectDatabase(databasePath, project, &error))
        fail(QStringLiteral("project database: %1").arg(error));
    DriverPlugin plugin;
    if (!plugin.load({QStringLiteral(BENCH_PLUGIN_FILE)}, &error))
        fail(error);

    const QString loadBefore = loadAverage();
    QList<LinkFigures> links;
    links.append(measure(plugin.driver(), QStringLiteral("loopback"), 0, options.loopbackRequests, options.seconds));
    links.append(measure(plugin.driver(), QStringLiteral("%1 baud line").arg(options.lineBaud), options.lineBaud,
                         options.lineRequests, options.seconds));
    QFile::remove(databasePath);

    QString text;
    QTextStream out(&text);
    out << "## Gateway: Modbus TCP clients through `mbrtu gateway`\n\n"
        << "Word reads (function 3, one register) of the simulated slave, in one process (bench/gateway_bench.cpp): "
        << "*driver alone* calls `DriverInterface::read` over a `TcpDevice`, one request at a time; *one client* "
        << "sends the same read as a Modbus TCP request through the gateway (client session, fair queue, the "
        << "link's worker, the same driver) and waits for each answer. Added latency: the client's median "
        << "(99th percentile) time minus the driver's; where the line's own jitter is larger than what the "
        << "gateway adds, the difference of the 99th percentiles can come out below zero. On loopback a round "
        << "trip takes microseconds and the gateway's hand-offs between threads (client session to the link's "
        << "worker and back, each a wake-up) weigh most; on a line at serial speed they vanish. With " << kClients << " clients reading back to back, "
        << "*link busy* is the time inside the driver's calls over the wall time (goals: one client at least "
        << "0.9 of the driver's rate, link busy at least 0.95). " << options.loopbackRequests
        << " requests on loopback, " << options.lineRequests << " on the paced line (replies sent at "
        << options.lineBaud << " baud, 11 bits a byte), after " << kWarmUp << " to warm up; " << options.seconds
        << " s with " << kClients << " clients.\n\n"
        << "| link | driver alone req/s | one client req/s | **one client / driver** | median ms, driver / client "
        << "| p99 ms, driver / client | added ms, median / p99 | " << kClients << " clients req/s | **link busy** |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const LinkFigures &figures : links)
        out << row(figures);
    out << '\n';
    for (const LinkFigures &figures : links)
        out << goalsLine(figures);
    out << "- load average (1 min) before the run " << loadBefore << ", after " << loadAverage() << "; "
        << QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << " UTC.\n";
    out.flush();
    std::fputs(qPrintable(text), stdout);
    if (!options.markdown.isEmpty()) {
        QFile file(options.markdown);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            fail(QStringLiteral("cannot write %1").arg(options.markdown));
    }
    return 0;
}
