#include "interop_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <random>

#include "host/driver_plugin.h"
#include "host/project_db.h"
#include "settings/driver_interface.h"

namespace {

const QString kPython = QStringLiteral(INTEROP_PYTHON);
const QString kScriptDir = QStringLiteral(INTEROP_SCRIPT_DIR);
constexpr int kServerStartMs = 20000;  // python and pymodbus load slowly on a busy machine
constexpr int kServerStopMs = 3000;
constexpr int kPeerRunMs = 20000;
constexpr unsigned kMapSeed = 0x5eed2024u;

QString script(const char *name)
{
    return QDir(kScriptDir).filePath(QLatin1String(name));
}

QJsonArray jsonArray(const std::vector<quint16> &values)
{
    QJsonArray array;
    for (quint16 v : values)
        array.append(int(v));
    return array;
}

QJsonArray jsonArray(const std::vector<quint8> &values)
{
    QJsonArray array;
    for (quint8 v : values)
        array.append(int(v));
    return array;
}

QString writeMapFile(const DataMap &map, QString *error)
{
    QJsonObject stations;
    for (const auto &entry : map) {
        QJsonObject tables;
        tables.insert(QStringLiteral("hr"), jsonArray(entry.second.hr));
        tables.insert(QStringLiteral("ir"), jsonArray(entry.second.ir));
        tables.insert(QStringLiteral("co"), jsonArray(entry.second.co));
        tables.insert(QStringLiteral("di"), jsonArray(entry.second.di));
        stations.insert(QString::number(entry.first), tables);
    }
    QJsonObject root;
    root.insert(QStringLiteral("stations"), stations);

    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("interop_map_%1.json").arg(QCoreApplication::applicationPid()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0
        || !file.commit()) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return QString();
    }
    return path;
}

// Closes its standard input, which ends both scripts; then terminate, then kill.
void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    if (process.waitForFinished(kServerStopMs))
        return;
    process.terminate();
    if (process.waitForFinished(kServerStopMs))
        return;
    process.kill();
    process.waitForFinished(kServerStopMs);
}

bool writeInteropProject(QString *error)
{
    ProjectSetup setup;
    setup.link = QStringLiteral("COM2");
    setup.station = kStation1;
    QStringList items;
    for (const TagRange &range : kConfiguredTags) {
        const QString prefix = range.station == setup.station ? QString() : QStringLiteral("%1-").arg(range.station);
        items << QStringLiteral("%1%2%3-%4").arg(prefix, QLatin1String(range.area)).arg(range.first).arg(range.last);
    }
    if (!expandTagList(items.join(QLatin1Char(',')), &setup.tagAddresses, error))
        return false;
    return writeProjectDatabase(projectDatabasePath(QCoreApplication::applicationDirPath()), setup, error);
}

} // namespace

const std::vector<TagRange> kConfiguredTags = {
    {kStation1, "DI", 1, 8},  {kStation1, "DI", 11, 12}, {kStation1, "DI", 20, 20}, {kStation1, "DI", 25, 40},
    {kStation1, "DO", 1, 4},  {kStation1, "DO", 7, 7},   {kStation1, "DO", 9, 24},
    {kStation2, "DI", 5, 12}, {kStation2, "DO", 3, 3},
};

std::set<int> configuredAddresses(int station, const char *area)
{
    std::set<int> addresses;
    for (const TagRange &range : kConfiguredTags) {
        if (range.station == station && qstrcmp(range.area, area) == 0) {
            for (int number = range.first; number <= range.last; ++number)
                addresses.insert(number - 1);
        }
    }
    return addresses;
}

DataMap interopDataMap()
{
    std::mt19937 random(kMapSeed);
    std::uniform_int_distribution<int> word(0, 0xFFFF);
    std::bernoulli_distribution bit(0.5);
    DataMap map;
    for (int station : {kStation1, kStation2}) {
        StationTables &tables = map[station];
        for (int i = 0; i < kTableRegisters; ++i) {
            tables.hr.push_back(quint16(word(random)));
            tables.ir.push_back(quint16(word(random)));
        }
        for (int i = 0; i < kTableBits; ++i) {
            tables.co.push_back(bit(random) ? 1 : 0);
            tables.di.push_back(bit(random) ? 1 : 0);
        }
    }
    return map;
}

QString pymodbusMissingReason()
{
    static const QString reason = [] {
        if (!QFileInfo(kPython).isExecutable())
            return QStringLiteral("%1 is missing: install python3-pymodbus to run the interoperability tests").arg(kPython);
        QProcess probe;
        probe.start(kPython, {QStringLiteral("-c"),
                              QStringLiteral("import pymodbus.server, pymodbus.client, pymodbus.framer.rtu_framer")});
        if (!probe.waitForFinished(kPeerRunMs)) {
            probe.kill();
            probe.waitForFinished();
            return QStringLiteral("%1 hung importing pymodbus").arg(kPython);
        }
        if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return QStringLiteral("%1 cannot import pymodbus: install python3-pymodbus to run the interoperability tests")
                .arg(kPython);
        return QString();
    }();
    return reason;
}

PymodbusServer::~PymodbusServer()
{
    stop();
}

bool PymodbusServer::start(const DataMap &map, QString *error)
{
    m_mapFile = writeMapFile(map, error);
    if (m_mapFile.isEmpty())
        return false;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(kPython, {script("pymodbus_server.py"), m_mapFile, QStringLiteral("--stop-on-eof"),
                               QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                               QStringLiteral("0")});
    if (!m_process->waitForStarted(kServerStartMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(kPython, m_process->errorString());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray seen;
    while (!seen.contains('\n')) {
        const qint64 left = kServerStartMs - clock.elapsed();
        if (left <= 0 || m_process->state() != QProcess::Running) {
            m_process->waitForReadyRead(100);
            *error = QStringLiteral("pymodbus server did not report its port; it said: %1")
                         .arg(QString::fromLocal8Bit(m_process->readAllStandardError()));
            stop();
            return false;
        }
        m_process->waitForReadyRead(int(qMin<qint64>(left, 500)));
        seen += m_process->readAllStandardOutput();
    }
    const QByteArray line = seen.left(seen.indexOf('\n')).trimmed();
    bool ok = false;
    if (line.startsWith("PORT "))
        m_port = quint16(line.mid(5).toUInt(&ok));
    if (!ok || m_port == 0) {
        *error = QStringLiteral("unexpected first line from the pymodbus server: %1").arg(QString::fromLatin1(line));
        stop();
        return false;
    }
    return true;
}

void PymodbusServer::stop()
{
    for (std::unique_ptr<QProcess> *process : {&m_client, &m_process}) {
        if (*process) {
            stopProcess(**process);
            process->reset();
        }
    }
    if (!m_mapFile.isEmpty()) {
        QFile::remove(m_mapFile);
        m_mapFile.clear();
    }
    m_port = 0;
}

PeerReply PymodbusServer::peer(int station, const QStringList &command)
{
    PeerReply reply;
    if (!m_client && m_port != 0) {
        m_client = std::make_unique<QProcess>();
        m_client->start(kPython, {script("pymodbus_client.py"), QString::number(m_port), QStringLiteral("--lines")});
        if (!m_client->waitForStarted(kPeerRunMs)) {
            reply.error = QStringLiteral("cannot start the pymodbus client: %1").arg(m_client->errorString());
            m_client.reset();
            return reply;
        }
    }
    if (!m_client) {
        reply.error = QStringLiteral("no pymodbus server running");
        return reply;
    }
    const QString request = QString::number(station) + QLatin1Char(' ') + command.join(QLatin1Char(' '));
    m_client->write(request.toLatin1() + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!m_client->canReadLine()) {
        const qint64 left = kPeerRunMs - clock.elapsed();
        if (left <= 0 || m_client->state() != QProcess::Running) {
            reply.error = QStringLiteral("pymodbus client gave no answer to '%1': %2")
                              .arg(request, QString::fromLocal8Bit(m_client->readAllStandardError()));
            stopProcess(*m_client);
            m_client.reset();
            return reply;
        }
        m_client->waitForReadyRead(int(qMin<qint64>(left, 500)));
    }
    const QByteArray line = m_client->readLine();
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    if (object.isEmpty()) {
        reply.error = QStringLiteral("pymodbus client said: %1").arg(QString::fromLocal8Bit(line));
        return reply;
    }
    reply.ok = object.value(QStringLiteral("ok")).toBool();
    reply.exception = object.value(QStringLiteral("exception")).toInt();
    reply.error = object.value(QStringLiteral("error")).toString();
    for (const QJsonValue &value : object.value(QStringLiteral("values")).toArray())
        reply.values.push_back(value.toInt());
    return reply;
}

PeerReply peerRead(PymodbusServer &server, int station, const char *table, int address, int count)
{
    return server.peer(station, {QStringLiteral("read-%1").arg(QLatin1String(table)), QString::number(address),
                                 QString::number(count)});
}

// pymodbus's client, like the protocol, writes at most 123 registers or
// 1968 coils a request: longer runs go in pieces.
constexpr size_t kPeerRegistersPerWrite = 100;
constexpr size_t kPeerCoilsPerWrite = 1000;

PeerReply peerWriteRegisters(PymodbusServer &server, int station, int address, const std::vector<quint16> &values)
{
    PeerReply reply;
    for (size_t first = 0; first < values.size(); first += kPeerRegistersPerWrite) {
        QStringList command{QStringLiteral("write-hr"), QString::number(address + int(first))};
        for (size_t i = first; i < qMin(values.size(), first + kPeerRegistersPerWrite); ++i)
            command << QString::number(values[i]);
        reply = server.peer(station, command);
        if (!reply.ok)
            break;
    }
    return reply;
}

PeerReply peerWriteCoils(PymodbusServer &server, int station, int address, const std::vector<quint8> &bits)
{
    PeerReply reply;
    for (size_t first = 0; first < bits.size(); first += kPeerCoilsPerWrite) {
        QStringList command{QStringLiteral("write-co"), QString::number(address + int(first))};
        for (size_t i = first; i < qMin(bits.size(), first + kPeerCoilsPerWrite); ++i)
            command << QString::number(bits[i]);
        reply = server.peer(station, command);
        if (!reply.ok)
            break;
    }
    return reply;
}

DriverInterface *interopDriver(QString *error)
{
    static DriverPlugin plugin;
    static QString loadError;
    static const bool loaded = [] {
        // Written before the driver's first request, which reads it once.
        return writeInteropProject(&loadError)
            && plugin.load({QStringLiteral(INTEROP_PLUGIN_PATH)}, &loadError);
    }();
    if (!loaded) {
        *error = loadError;
        return nullptr;
    }
    return plugin.driver();
}

Link::Link(const TcpDeviceSettings &settings)
    : trace([this](const TraceEntry &entry) { entries.push_back(entry); }), device(settings)
{
    device.setTrace(&trace);
}

Link::~Link()
{
    device.setTrace(nullptr);
}

std::vector<QByteArray> Link::sentFrames() const
{
    std::vector<QByteArray> frames;
    for (const TraceEntry &entry : entries) {
        if (entry.direction == TraceDirection::Sent)
            frames.push_back(entry.bytes);
    }
    return frames;
}

TcpDeviceSettings linkSettings(quint16 port, int station, int retries, int timeoutMs)
{
    TcpDeviceSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.stationId = station;
    settings.retryCount = retries;
    settings.delayMs = 0;
    settings.responseTimeoutMs = timeoutMs;
    settings.connectTimeoutMs = 2000;
    settings.deviceString = QStringLiteral("COM2");
    return settings;
}

QByteArray wordsLE(const std::vector<quint16> &table, int start, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const quint16 v = table.at(size_t(start + i));
        bytes.append(char(v & 0xFF)).append(char(v >> 8));
    }
    return bytes;
}

QByteArray dwordsLE(const std::vector<quint16> &table, int start, int count, bool highWordFirst)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const quint32 first = table.at(size_t(start + 2 * i));
        const quint32 second = table.at(size_t(start + 2 * i + 1));
        const quint32 v = highWordFirst ? (first << 16 | second) : (second << 16 | first);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((v >> shift) & 0xFF));
    }
    return bytes;
}

QByteArray registerBytes(const std::vector<quint16> &table, int start, int count)
{
    QByteArray bytes;
    for (int k = 0; k < count; ++k) {
        const quint16 v = table.at(size_t(start + k / 2));
        bytes.append(char(k % 2 == 0 ? v & 0xFF : v >> 8));
    }
    return bytes;
}

QByteArray registerBits(const std::vector<quint16> &table, int start, int bitOffset, int count)
{
    std::vector<quint8> bits;
    for (int i = 0; i < count; ++i) {
        const int j = bitOffset + i;
        bits.push_back(quint8((table.at(size_t(start + j / 16)) >> (j % 16)) & 1));
    }
    return packBits(bits);
}

QByteArray packBits(const std::vector<quint8> &bits)
{
    QByteArray bytes(int((bits.size() + 7) / 8), '\0');
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i])
            bytes[int(i / 8)] = char(quint8(bytes[int(i / 8)]) | (1u << (i % 8)));
    }
    return bytes;
}

std::vector<quint8> unpackBits(const QByteArray &bytes, int count)
{
    std::vector<quint8> bits;
    for (int i = 0; i < count; ++i)
        bits.push_back(quint8((quint8(bytes.at(i / 8)) >> (i % 8)) & 1));
    return bits;
}

std::vector<quint16> slice(const std::vector<quint16> &table, int start, int count)
{
    return std::vector<quint16>(table.begin() + start, table.begin() + start + count);
}

std::vector<quint8> slice(const std::vector<quint8> &table, int start, int count)
{
    return std::vector<quint8>(table.begin() + start, table.begin() + start + count);
}

RequestHead requestHead(const QByteArray &frame)
{
    auto u8 = [&frame](int i) { return int(quint8(frame.at(i))); };
    return {u8(0), u8(1), u8(2) << 8 | u8(3), u8(4) << 8 | u8(5)};
}
