#include "host/mbrtu/tool_session.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <memory>

#include "host/runtime/runtime_values.h"
#include "settings/driver_interface.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int)
{
    g_stop = 1;
}

// Sleeps ms unless a stop signal comes first; false when it came.
bool sleepUnlessStopped(int ms)
{
    timespec left = {ms / 1000, long(ms % 1000) * 1000000L};
    while (!g_stop && nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
    return !g_stop;
}

int pick(int given, int fallback)
{
    return given >= 0 ? given : fallback;
}

// Texts the driver gives when the project database does not fit the link.
bool isProjectDatabaseError(const QString &error)
{
    return error.startsWith(QLatin1String("can not open database"))
           || error.startsWith(QLatin1String("failed to get default station id"));
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
    link.retries = pick(options.retries, defaults.retries);
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
    settings.responseTimeoutMs = link.timeoutMs;
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
    settings.responseTimeoutMs = link.timeoutMs;
    settings.deviceString = link.deviceString;
    settings.echo = options.echo;
    return settings;
}

std::unique_ptr<AbstractDeviceInterface> makeDevice(const ToolOptions &options, const LinkChoice &link,
                                                    FrameTrace *trace)
{
    if (options.serialPort.isEmpty()) {
        auto device = std::make_unique<TcpDevice>(tcpDeviceSettingsFor(options, link));
        device->setTrace(trace);
        return device;
    }
    auto device = std::make_unique<SerialDevice>(serialDeviceSettingsFor(options, link));
    device->setTrace(trace);
    return device;
}

ToolSession::ToolSession(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
                         QTextStream &out, QTextStream &err)
    : m_options(options),
      m_driver(driver),
      m_out(out),
      m_err(err),
      m_trace([this](const TraceEntry &entry) {
          // Frames go beside the values, or to stderr when stdout carries JSON.
          QTextStream &stream = m_options.json ? m_err : m_out;
          stream << formatTraceEntry(entry) << '\n';
          stream.flush();
      }),
      m_device(makeDevice(options, linkChoiceFor(options, defaults), options.trace ? &m_trace : nullptr)),
      m_command(options.type, options.count, options.address.text)
{
}

bool ToolSession::readOnce(QByteArray *data)
{
    *data = m_driver->read(m_device.get(), m_command);
    m_trace.flush();
    return !m_driver->hasError();
}

int ToolSession::read()
{
    QByteArray data;
    if (m_options.pollMs == 0) {
        if (!readOnce(&data)) {
            reportFailure();
            return kExitFailure;
        }
        printValues(data);
        return kExitSuccess;
    }
    installStopHandlers();
    int polls = 0;
    int good = 0;
    bool lastGood = false;
    do {
        lastGood = readOnce(&data);
        ++polls;
        good += lastGood ? 1 : 0;
        printPoll(polls, good, polls - good, lastGood ? &data : nullptr);
    } while (!stopRequested() && (m_options.polls == 0 || polls < m_options.polls)
             && sleepUnlessStopped(m_options.pollMs));
    if (!m_options.json)
        m_out << QStringLiteral("%1 polls: %2 good, %3 failed\n").arg(polls).arg(good).arg(polls - good);
    m_out.flush();
    return lastGood ? kExitSuccess : kExitFailure;
}

int ToolSession::write()
{
    const bool written = m_driver->write(m_device.get(), m_command, m_options.writeData);
    m_trace.flush();
    if (!written || m_driver->hasError()) {
        reportFailure();
        return kExitFailure;
    }
    const int station = m_device->stationId();
    if (m_options.json) {
        QJsonObject result{{QStringLiteral("ok"), true},
                           {QStringLiteral("address"), m_options.address.text},
                           {QStringLiteral("type"), dataTypeName(m_options.type)},
                           {QStringLiteral("count"), m_options.count},
                           {QStringLiteral("station"), station}};
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << QStringLiteral("wrote %1 %2(s) to %3 on station %4\n")
                     .arg(m_options.count)
                     .arg(dataTypeName(m_options.type), m_options.address.text)
                     .arg(station);
    }
    m_out.flush();
    return kExitSuccess;
}

void ToolSession::printValues(const QByteArray &data)
{
    const QList<ValueRow> rows = decodeReadValues(m_options.address, m_options.type, m_options.count, data);
    if (m_options.json) {
        QJsonObject result{{QStringLiteral("ok"), true},
                           {QStringLiteral("address"), m_options.address.text},
                           {QStringLiteral("type"), dataTypeName(m_options.type)},
                           {QStringLiteral("count"), m_options.count},
                           {QStringLiteral("station"), m_device->stationId()},
                           {QStringLiteral("values"), formatRowsAsJson(rows)}};
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
    } else {
        m_out << formatRowsAsText(m_options.type, rows);
    }
    m_out.flush();
}

void ToolSession::printPoll(int polls, int good, int failed, const QByteArray *data)
{
    if (m_options.json) {
        QJsonObject result{{QStringLiteral("ok"), data != nullptr},
                           {QStringLiteral("poll"), polls},
                           {QStringLiteral("good"), good},
                           {QStringLiteral("failed"), failed},
                           {QStringLiteral("address"), m_options.address.text}};
        if (data) {
            result.insert(QStringLiteral("values"), formatRowsAsJson(decodeReadValues(
                                                        m_options.address, m_options.type, m_options.count, *data)));
        } else {
            result.insert(QStringLiteral("error"), failureText());
        }
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
        m_out.flush();
        return;
    }
    m_out << QStringLiteral("poll %1: good %2, failed %3\n").arg(polls).arg(good).arg(failed);
    if (data)
        m_out << formatRowsAsText(m_options.type, decodeReadValues(m_options.address, m_options.type, m_options.count, *data));
    else
        m_out << QStringLiteral("error: %1\n").arg(failureText());
    m_out.flush();
}

QString ToolSession::failureText() const
{
    const QString error = m_driver->getLastError();
    // A link that could not be opened leaves the transport's bare words.
    if (!m_device->isOpen() && error == m_device->errorString()) {
        if (!m_options.serialPort.isEmpty())
            return QStringLiteral("%1 (serial port %2)").arg(error, m_options.serialPort);
        return QStringLiteral("%1 (slave at %2:%3)").arg(error, m_options.host).arg(m_options.port);
    }
    return error;
}

void ToolSession::reportFailure()
{
    const QString error = failureText();
    if (m_options.json) {
        const QJsonObject result{{QStringLiteral("ok"), false},
                                 {QStringLiteral("address"), m_options.address.text},
                                 {QStringLiteral("error"), error}};
        m_out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
        m_out.flush();
    }
    m_err << "mbrtu: " << error << '\n';
    if (isProjectDatabaseError(error)) {
        m_err << "mbrtu: the project database has no default station for link "
              << m_device->deviceSetting()->deviceString << "; write one with: mbrtu project --link "
              << m_device->deviceSetting()->deviceString << '\n';
    } else if (isEchoError(m_device->errorString())) {
        m_err << "mbrtu: the link: " << m_device->errorString()
              << (m_options.echo ? "; does the adapter or gateway hand requests back? (--echo says it does)\n"
                                 : "\n");
    } else if (isUnconfiguredStationError(error)) {
        m_err << "mbrtu: DI and DO byte reads fetch only the addresses the project configures; "
                 "add them with: mbrtu project --tags DI1-64,...\n";
    }
    m_err.flush();
}
