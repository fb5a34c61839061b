#ifndef HOST_TOOL_SESSION_H
#define HOST_TOOL_SESSION_H

// mbrtu read and write: one TCP device, one driver, the runtime's calls.

#include <QString>
#include <QTextStream>

#include "host/device/frame_trace.h"
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

LinkDefaults driverLinkDefaults(DriverInterface *driver);
TcpDeviceSettings deviceSettingsFor(const ToolOptions &options, const LinkDefaults &defaults);

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
    TcpDevice m_device;
    FrameTrace m_trace;
    CommunicatorCommand m_command;
};

#endif // HOST_TOOL_SESSION_H
