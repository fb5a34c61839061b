#include "host/mbrtu/tool_session.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <unistd.h>
#include <memory>

#include "host/mbrtu/record_fields.h"
#include "host/mbrtu/request_plan.h"
#include "host/runtime/runtime_values.h"
#include "settings/driver_interface.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int signal)
{
    g_stop = signal;
}

// A wait longer than this shows its attempt on a terminal.
constexpr int kShowProgressAfterMs = 1000;

// How long the device listens after a broadcast: nothing comes, but the
// driver reads all the same.
constexpr int kBroadcastWaitMs = 1;

int pick(int given, int fallback)
{
    return given >= 0 ? given : fallback;
}

// The driver's text for a DI or DO byte read on a station without tags.
bool isUnconfiguredStationError(const QString &error)
{
    return error.startsWith(QLatin1String("invalid address "));
}

// The device's texts for an echo that was wrong or did not come.
bool isEchoError(const QString &error)
{
    return error == QLatin1String("no echo of the request") || error == QLatin1String("echo did not match the request");
}

} // namespace

void installStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleep ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested()
{
    return g_stop != 0;
}

int stopSignal()
{
    return int(g_stop);
}

QString linkText(const ToolOptions &options)
{
    if (options.serialPort.isEmpty())
        return QStringLiteral("%1:%2").arg(options.host).arg(options.port);
    return QStringLiteral("%1 %2 %3%4%5")
        .arg(options.serialPort)
        .arg(options.baud)
        .arg(options.dataBits)
        .arg(QLatin1Char(options.parity))
        .arg(options.stopBits);
}

QString linkLine(const ToolOptions &options, const QString &stations)
{
    const QString stored = options.addressStoredFor.isEmpty()
                               ? QString()
                               : QStringLiteral(" (stored in the project for %1)").arg(options.addressStoredFor);
    return QStringLiteral("link %1%2, %3").arg(linkText(options), stored, stations);
}

bool sleepUnlessStopped(int ms)
{
    timespec left = {ms / 1000, long(ms % 1000) * 1000000L};
    while (!g_stop && nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
    return !g_stop;
}


LinkDefaults driverLinkDefaults(DriverInterface *driver)
{
    LinkDefaults defaults;
    const std::unique_ptr<DriverSetting> timing(driver->getDefaultDriverSetting());
    const std::unique_ptr<DeviceSetting> device(driver->getDefaultSerialDeviceSetting());
    if (timing) {
        defaults.station = timing->stationid;
        defaults.retries = timing->retry;
        defaults.delayMs = timing->delay;
        defaults.timeoutMs = timing->timeout;
    }
    if (device && !device->deviceString.isEmpty())
        defaults.link = device->deviceString;
    return defaults;
}

LinkChoice linkChoiceFor(const ToolOptions &options, const LinkDefaults &defaults)
{
    LinkChoice link;
    link.station = pick(options.station, defaults.station);
    // A broadcast goes out once: no slave answers it.
    link.retries = link.station == 0 ? 0 : pick(options.retries, defaults.retries);
    link.delayMs = (unsigned long)pick(options.delayMs, defaults.delayMs);
    link.timeoutMs = pick(options.timeoutMs, defaults.timeoutMs);
    link.deviceString = options.link.isEmpty() ? defaults.link : options.link;
    return link;
}

TcpDeviceSettings tcpDeviceSettingsFor(const ToolOptions &options, const LinkChoice &link)
{
    TcpDeviceSettings settings;
    settings.host = options.host;
    settings.port = quint16(options.port);
    settings.stationId = link.station;
    settings.retryCount = link.retries;
    settings.delayMs = link.delayMs;
    settings.responseTimeoutMs = link.station == 0 ? kBroadcastWaitMs : link.timeoutMs;
    settings.connectTimeoutMs = link.timeoutMs;
    settings.deviceString = link.deviceString;
    settings.echo = options.echo;
    return settings;
}

SerialDeviceSettings serialDeviceSettingsFor(const ToolOptions &options, const LinkChoice &link)
{
    SerialDeviceSettings settings;
    settings.portName = options.serialPort;
    settings.baudRate = options.baud;
    settings.parity = options.parity;
    settings.dataBits = options.dataBits;
    settings.stopBits = options.stopBits;
    settings.stationId = link.station;
    settings.retryCount = link.retries;
    settings.delayMs = link.delayMs;
    settings.responseTimeoutMs = link.station == 0 ? kBroadcastWaitMs : link.timeoutMs;
    settings.deviceString = link.deviceString;
    settings.echo = options.echo;
    return settings;
}

std::unique_ptr<HostDevice> makeDevice(const ToolOptions &options, const LinkChoice &link, FrameTrace *trace,
                                       const WaitObserver &observer)
{
    std::unique_ptr<HostDevice> device;
    if (options.serialPort.isEmpty())
        device = std::make_unique<TcpDevice>(tcpDeviceSettingsFor(options, link));
    else
        device = std::make_unique<SerialDevice>(serialDeviceSettingsFor(options, link));
    device->setTrace(trace);
    device->setWaitObserver(observer);
    return device;
}

ToolSession::ToolSession(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
                         QTextStream &out, QTextStream &err)
    : m_options(options),
      m_driver(driver),
      m_out(out),
      m_err(err),
      m_link(linkChoiceFor(options, defaults)),
      m_trace([this](const TraceEntry &entry) {
          // Frames go beside the values, or to stderr when stdout carries JSON or CSV.
          QTextStream &stream = m_options.json || m_options.csv ? m_err : m_out;
          stream << formatTraceEntry(entry) << '\n';
          stream.flush();
      }),
      m_device(makeDevice(options, m_link, options.trace ? &m_trace : nullptr,
                          [this](qint64 waitedMs) { return watchWait(waitedMs); })),
      m_broadcast(m_link.station == 0)
{
    installStopHandlers();
}

bool ToolSession::watchWait(qint64 waitedMs)
{
    if (stopRequested())
        return false;
    if (waitedMs < kShowProgressAfterMs || !::isatty(STDERR_FILENO))
        return true;
    const int attempt = m_device->requestsSent() - m_sentBefore;
    m_err << QStringLiteral("\rmbrtu: waiting for station %1: attempt %2 of %3, %4 s\033[K")
                 .arg(m_link.station)
                 .arg(qMax(attempt, 1))
                 .arg(m_link.retries + 1)
                 .arg(double(waitedMs) / 1000.0, 0, 'f', 1);
    m_err.flush();
    m_progressShown = true;
    return true;
}

void ToolSession::clearProgress()
{
    if (!m_progressShown)
        return;
    m_err << "\r\033[K";
    m_err.flush();
    m_progressShown = false;
}

RequestOutcome ToolSession::readOnce()
{
    RequestOutcome outcome;
    outcome.time = QDateTime::currentDateTimeUtc();
    QElapsedTimer timer;
    timer.start();
    m_sentBefore = m_device->requestsSent();
    for (const ReadPiece &piece : splitRead(m_options.address, m_options.type, driverCount(m_options))) {
        const QByteArray data = m_driver->read(m_device.get(), CommunicatorCommand(m_options.type, piece.count,
                                                                                  piece.address.text));
        if (m_driver->hasError())
            break;
        outcome.data += data;
    }
    m_trace.flush();
    clearProgress();
    outcome.elapsedUs = timer.nsecsElapsed() / 1000;
    outcome.ok = !m_driver->hasError();
    if (!outcome.ok)
        explain(&outcome);
    return outcome;
}

void ToolSession::explain(RequestOutcome *outcome) const
{
    outcome->error = m_driver->getLastError();
    const QString deviceError = m_device->errorString();
    outcome->failure = explainFailure(outcome->error, deviceError, m_link.timeoutMs, m_device->replyHead());
    // A link that could not be opened leaves the transport's bare words.
    if (!m_device->isOpen() && outcome->error == deviceError && outcome->failure.kind != QLatin1String("interrupted")) {
        outcome->error += m_options.serialPort.isEmpty()
                              ? QStringLiteral(" (slave at %1:%2)").arg(m_options.host).arg(m_options.port)
                              : QStringLiteral(" (serial port %1)").arg(m_options.serialPort);
    }
}

RunTally ToolSession::tallyOf(const RequestOutcome &outcome)
{
    RunTally tally;
    tally.succeeded = outcome.ok ? 1 : 0;
    tally.stopped = !outcome.ok && isStoppedKind(outcome.failure.kind) ? 1 : 0;
    tally.failed = outcome.ok || tally.stopped ? 0 : 1;
    tally.stopSignal = stopSignal();
    return tally;
}

RunTally ToolSession::read()
{
    if (m_options.pollMs == 0) {
        const RequestOutcome outcome = readOnce();
        if (!outcome.ok)
            printFailure(outcome);
        else
            printValues(outcome, 0);
        return tallyOf(outcome);
    }
    PollStats stats;
    int poll = 0;
    do {
        const RequestOutcome outcome = readOnce();
        if (!outcome.ok && stopRequested()) {
            stats.addStopped(); // cut short by the stop signal: neither good nor failed
            break;
        }
        ++poll;
        if (outcome.ok)
            stats.addGood(outcome.elapsedUs);
        else
            stats.addFailed(outcome.failure.kind);
        printPoll(poll, outcome, stats);
    } while (!stopRequested() && (m_options.polls == 0 || poll < m_options.polls)
             && sleepUnlessStopped(m_options.pollMs));
    // The summary goes beside the values, or to stderr when stdout carries JSON or CSV.
    QTextStream &summary = m_options.json || m_options.csv ? m_err : m_out;
    summary << stats.summary();
    summary.flush();
    RunTally tally;
    tally.succeeded = stats.good();
    tally.failed = stats.failed();
    tally.stopped = stats.stopped();
    tally.stopSignal = stopSignal();
    return tally;
}

RunTally ToolSession::write()
{
    RequestOutcome outcome;
    outcome.time = QDateTime::currentDateTimeUtc();
    const CommunicatorCommand command(m_options.type, driverCount(m_options), m_options.address.text);
    if (m_options.type == ByteData && isRegisterArea(m_options.address.area) && m_options.count % 2 == 1)
        m_err << "mbrtu: warning: an odd number of bytes fills its last register's high byte with 0\n";
    m_sentBefore = m_device->requestsSent();
    outcome.ok = m_driver->write(m_device.get(), command, m_options.writeData) && !m_driver->hasError();
    m_trace.flush();
    clearProgress();
    if (!outcome.ok)
        explain(&outcome);
    // Nothing answers a broadcast: a request that went out and met silence is done.
    const bool broadcastSent = m_broadcast && !outcome.ok && outcome.failure.kind == QLatin1String("timeout");
    if (!outcome.ok && !broadcastSent) {
        printFailure(outcome);
        return tallyOf(outcome);
    }
    const QString typeName = m_options.numbers ? numberTypeName(m_options.numberType) : dataTypeName(m_options.type);
    QString done = QStringLiteral("wrote %1 %2(s) to %3 ").arg(m_options.count).arg(typeName, m_options.address.text);
    done += broadcastSent ? QStringLiteral("as a broadcast to station 0 (sent once, no reply awaited)")
                          : QStringLiteral("on station %1").arg(m_link.station);
    if (m_options.json) {
        QJsonObject result = record(outcome);
        result.insert(QStringLiteral("ok"), true);
        if (broadcastSent)
            result.insert(QStringLiteral("broadcast"), true);
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << done << '\n';
    }
    m_out.flush();
    RunTally tally;
    tally.succeeded = 1;
    return tally;
}

QList<ToolSession::NumberRow> ToolSession::numberRows(const QByteArray &data) const
{
    QList<NumberRow> rows;
    const QStringList values = decodeNumbers(m_options.numberType, m_options.byteOrder, data, m_options.count);
    DeviceAddress at = m_options.address;
    for (const QString &value : values) {
        rows.append({addressText(at), value});
        at.number += registersPerValue(m_options.numberType);
    }
    return rows;
}

QJsonArray ToolSession::valuesJson(const QByteArray &data) const
{
    if (!m_options.numbers)
        return formatRowsAsJson(decodeReadValues(m_options.address, m_options.type, m_options.count, data));
    QJsonArray array;
    for (const NumberRow &row : numberRows(data))
        array.append(QJsonObject{{QStringLiteral("address"), row.address}, {QStringLiteral("value"), jsonNumber(row.value)}});
    return array;
}

QString ToolSession::valuesText(const QByteArray &data) const
{
    if (!m_options.numbers)
        return formatRowsAsText(m_options.type, decodeReadValues(m_options.address, m_options.type, m_options.count, data));
    QString text = QStringLiteral("%1 %2\n").arg(QStringLiteral("address"), -10).arg(
        numberTypeName(m_options.numberType) + QLatin1Char(' ') + byteOrderName(m_options.byteOrder));
    for (const NumberRow &row : numberRows(data))
        text += QStringLiteral("%1 %2\n").arg(row.address, -10).arg(row.value);
    return text;
}

QJsonObject ToolSession::record(const RequestOutcome &outcome) const
{
    QJsonObject result{{QStringLiteral("ok"), outcome.ok},
                       {QStringLiteral("time"), outcome.time.toString(Qt::ISODateWithMs)},
                       {QStringLiteral("link"), linkText(m_options)},
                       {QStringLiteral("station"), m_link.station},
                       {QStringLiteral("address"), m_options.address.text},
                       {QStringLiteral("type"), m_options.numbers ? numberTypeName(m_options.numberType)
                                                                  : dataTypeName(m_options.type)},
                       {QStringLiteral("count"), m_options.count}};
    if (outcome.ok && m_options.command == ToolCommand::Read) {
        result.insert(QStringLiteral("values"), valuesJson(outcome.data));
        result.insert(QStringLiteral("responseMs"), double(outcome.elapsedUs) / 1000.0);
    } else if (!outcome.ok) {
        result.insert(QStringLiteral("error"), outcome.error);
        result.insert(QStringLiteral("kind"), outcome.failure.kind);
        if (outcome.failure.exceptionCode >= 0)
            result.insert(QStringLiteral("exception"), outcome.failure.exceptionCode);
        if (!outcome.failure.explanation.isEmpty())
            result.insert(QStringLiteral("explanation"), outcome.failure.explanation);
    }
    return result;
}

void ToolSession::printValues(const RequestOutcome &outcome, int poll)
{
    if (m_options.csv) {
        printCsv(outcome);
    } else if (m_options.json) {
        QJsonObject result = record(outcome);
        if (poll > 0)
            result.insert(QStringLiteral("poll"), poll);
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << valuesText(outcome.data);
    }
    m_out.flush();
}

void ToolSession::printPoll(int poll, const RequestOutcome &outcome, const PollStats &stats)
{
    if (!m_options.json && !m_options.csv) {
        m_out << QStringLiteral("poll %1: good %2, failed %3\n").arg(poll).arg(stats.good()).arg(stats.failed());
        if (!outcome.ok)
            m_out << QStringLiteral("error: %1\n").arg(failureLine(outcome));
    }
    if (outcome.ok || m_options.csv) {
        printValues(outcome, poll);
        return;
    }
    if (m_options.json) {
        QJsonObject result = record(outcome);
        result.insert(QStringLiteral("poll"), poll);
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    }
    m_out.flush();
}

QString ToolSession::failureLine(const RequestOutcome &outcome) const
{
    return ::failureLine(outcome.error, outcome.failure);
}

// CSV: one row per value (time, link, station, address, value, error); a failed
// request is one row with its error.
void ToolSession::printCsv(const RequestOutcome &outcome)
{
    if (!m_csvHeaderDone) {
        m_out << "time,link,station,address,value,error\n";
        m_csvHeaderDone = true;
    }
    const QString time = outcome.time.toString(Qt::ISODateWithMs) + QLatin1Char(',') + csvField(linkText(m_options));
    if (!outcome.ok) {
        m_out << time << ',' << m_link.station << ',' << m_options.address.text << ",," << csvField(failureLine(outcome))
              << '\n';
        return;
    }
    if (m_options.numbers) {
        for (const NumberRow &row : numberRows(outcome.data))
            m_out << time << ',' << m_link.station << ',' << row.address << ',' << row.value << ",\n";
        return;
    }
    for (const ValueRow &row : decodeReadValues(m_options.address, m_options.type, m_options.count, outcome.data))
        m_out << time << ',' << m_link.station << ',' << row.address << ',' << row.unsignedValue << ",\n";
}

void ToolSession::printFailure(const RequestOutcome &outcome)
{
    if (m_options.json) {
        m_out << QJsonDocument(record(outcome)).toJson(QJsonDocument::Compact) << '\n';
        m_out.flush();
    } else if (m_options.csv) {
        printCsv(outcome);
        m_out.flush();
    }
    m_err << "mbrtu: " << failureLine(outcome) << '\n';
    const QString link = m_link.deviceString;
    if (outcome.failure.kind == QLatin1String("project") && !isUnconfiguredStationError(outcome.error)) {
        m_err << "mbrtu: the project database has no default station for link " << link
              << "; write one with: mbrtu project --link " << link << '\n';
    } else if (isUnconfiguredStationError(outcome.error)) {
        m_err << "mbrtu: DI and DO byte reads fetch only the addresses the project configures; "
                 "add them with: mbrtu project --tags DI1-64,...\n";
    } else if (m_options.echo && isEchoError(m_device->errorString())) {
        m_err << "mbrtu: --echo expects every request handed back before its reply; does this adapter or gateway "
                 "do so?\n";
    }
    m_err.flush();
}
