#ifndef HOST_TOOL_SESSION_H
#define HOST_TOOL_SESSION_H

// mbrtu read and write: one device (TCP or a serial line), one driver, the
// runtime's calls.

#include <QString>
#include <QTextStream>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/device/serial_device.h"
#include "host/device/tcp_device.h"
#include "host/mbrtu/tool_options.h"
#include "settings/communicator_command.h"

class DriverInterface;

// What the link options fall back to when they are not given.
struct LinkDefaults
{
    int station = 1;
    int retries = 0;
    int delayMs = 0;
    int timeoutMs = 1000;
    QString link = QLatin1String(kDefaultLink);
};

// The link options given, the defaults where not.
struct LinkChoice
{
    int station = 1;
    int retries = 0;
    unsigned long delayMs = 0;
    int timeoutMs = 1000;
    QString deviceString;
};

LinkDefaults driverLinkDefaults(DriverInterface *driver);
LinkChoice linkChoiceFor(const ToolOptions &options, const LinkDefaults &defaults);
TcpDeviceSettings tcpDeviceSettingsFor(const ToolOptions &options, const LinkChoice &link);
SerialDeviceSettings serialDeviceSettingsFor(const ToolOptions &options, const LinkChoice &link);
// The device of the link the options name: the serial line of --serial, else TCP.
std::unique_ptr<AbstractDeviceInterface> makeDevice(const ToolOptions &options, const LinkChoice &link,
                                                    FrameTrace *trace);

// Exit statuses.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// SIGINT and SIGTERM end a polling loop after the request under way.
void installStopHandlers();
bool stopRequested();

class ToolSession
{
public:
    ToolSession(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
                QTextStream &out, QTextStream &err);

    int read();
    int write();

private:
    bool readOnce(QByteArray *data);
    void printValues(const QByteArray &data);
    void printPoll(int polls, int good, int failed, const QByteArray *data);
    void reportFailure();
    QString failureText() const;

    const ToolOptions &m_options;
    DriverInterface *m_driver;
    QTextStream &m_out;
    QTextStream &m_err;
    FrameTrace m_trace;
    std::unique_ptr<AbstractDeviceInterface> m_device;
    CommunicatorCommand m_command;
};

#endif // HOST_TOOL_SESSION_H
