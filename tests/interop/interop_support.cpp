#include "interop_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"

namespace {

const QString kPython = QStringLiteral(INTEROP_PYTHON);
constexpr int kWaitMs = 20000; // python and pymodbus load slowly on a busy machine
constexpr int kStopMs = 3000;
// The DI and DO addresses the project database configures; byte reads of DI
// and DO fetch only these.
const char kConfiguredTags[] = "DI1-8,DI11-12,DI20,DI25-40,DO1-4,DO7,DO9-24,2-DI5-12";

QString script(const char *name)
{
    return QDir(QStringLiteral(INTEROP_SCRIPT_DIR)).filePath(QLatin1String(name));
}

// The next line a process prints; empty when none comes in time.
QByteArray nextLine(QProcess &process)
{
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine() && process.state() == QProcess::Running && clock.elapsed() < kWaitMs)
        process.waitForReadyRead(100);
    return process.canReadLine() ? process.readLine().trimmed() : QByteArray();
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    if (process.waitForFinished(kStopMs))
        return;
    process.terminate();
    if (!process.waitForFinished(kStopMs)) {
        process.kill();
        process.waitForFinished(kStopMs);
    }
}

TcpDeviceSettings linkSettings(quint16 port, int station, int retries, int timeoutMs)
{
    TcpDeviceSettings settings;
    settings.port = port;
    settings.stationId = station;
    settings.retryCount = retries;
    settings.responseTimeoutMs = timeoutMs;
    return settings;
}

} // namespace

std::ostream &operator<<(std::ostream &os, const Request &r)
{
    return os << "{fn " << r.function << ", " << r.address << ", " << r.quantity << "}";
}

Link::Link(quint16 port, int station, int retries, int timeoutMs)
    : trace([this](const TraceEntry &entry) {
          auto u8 = [&entry](int i) { return int(quint8(entry.bytes.at(i))); };
          if (entry.direction == TraceDirection::Sent)
              requests.push_back({u8(1), u8(2) << 8 | u8(3), u8(4) << 8 | u8(5)});
      }),
      device(linkSettings(port, station, retries, timeoutMs))
{
    device.setTrace(&trace);
}

PymodbusServer::~PymodbusServer()
{
    stop(m_client);
    stop(m_server);
}

bool PymodbusServer::start(QString *error)
{
    m_server.start(kPython, {script("pymodbus_server.py"), "--stop-on-eof", "--station", "1,2", "--size",
                             QString::number(kTableSize), "--seed", "2024"});
    m_server.waitForStarted(kWaitMs);
    const QByteArray line = nextLine(m_server);
    m_port = line.startsWith("PORT ") ? quint16(line.mid(5).toUInt()) : 0;
    if (m_port == 0) {
        *error = QStringLiteral("no port from pymodbus_server.py: %1")
                     .arg(QString::fromLocal8Bit(line + m_server.readAllStandardError()));
        return false;
    }
    m_client.start(kPython, {script("pymodbus_client.py"), QString::number(m_port), "--lines"});
    if (!m_client.waitForStarted(kWaitMs))
        *error = QStringLiteral("pymodbus client: %1").arg(m_client.errorString());
    return m_client.state() == QProcess::Running;
}

std::vector<int> PymodbusServer::peer(int station, const char *command, int address, const std::vector<int> &args)
{
    QByteArray request = QByteArray::number(station) + ' ' + command + ' ' + QByteArray::number(address);
    for (int arg : args)
        request += ' ' + QByteArray::number(arg);
    m_client.write(request + '\n');
    const QByteArray line = nextLine(m_client);
    const QJsonObject reply = QJsonDocument::fromJson(line).object();
    EXPECT_TRUE(reply.value("ok").toBool())
        << request.toStdString() << ": " << (line + m_client.readAllStandardError()).toStdString();
    std::vector<int> values;
    for (const QJsonValue &value : reply.value("values").toArray())
        values.push_back(value.toInt());
    return values;
}

QString pymodbusMissingReason()
{
    static const QString reason = [] {
        QProcess probe;
        probe.start(kPython, {"-c", "import pymodbus.server, pymodbus.client, pymodbus.framer.rtu_framer"});
        if (probe.waitForFinished(kWaitMs) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return QString();
        stop(probe);
        return QStringLiteral("%1 cannot import pymodbus: install python3-pymodbus to run the interoperability tests")
            .arg(kPython);
    }();
    return reason;
}

DriverInterface *interopDriver(QString *error)
{
    static DriverPlugin plugin;
    static QString loadError;
    // The driver reads the project database once, on its first request.
    static const bool loaded = [] {
        ProjectSetup setup;
        return expandTagList(QLatin1String(kConfiguredTags), &setup.tagAddresses, &loadError)
            && writeProjectDatabase(projectDatabasePath(QCoreApplication::applicationDirPath()), setup, &loadError)
            && plugin.load({QStringLiteral(INTEROP_PLUGIN_PATH)}, &loadError);
    }();
    *error = loadError;
    return loaded ? plugin.driver() : nullptr;
}

QByteArray registerData(const std::vector<int> &registers, bool highWordFirst)
{
    QByteArray bytes;
    for (size_t i = 0; i < registers.size(); ++i) {
        const int value = registers.at(highWordFirst ? i ^ 1 : i);
        bytes.append(char(value & 0xFF)).append(char(value >> 8));
    }
    return bytes;
}

std::vector<int> bitsOf(const QByteArray &bytes, int first, int count)
{
    std::vector<int> bits;
    for (int i = first; i < first + count; ++i)
        bits.push_back(quint8(bytes.at(i / 8)) >> (i % 8) & 1);
    return bits;
}

QByteArray packBits(const std::vector<int> &bits)
{
    QByteArray bytes((int(bits.size()) + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        bytes[int(i / 8)] = char(bytes.at(int(i / 8)) | bits[i] << (i % 8));
    return bytes;
}
