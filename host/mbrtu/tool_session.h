#ifndef HOST_TOOL_SESSION_H
#define HOST_TOOL_SESSION_H

// mbrtu read and write: one device (TCP or a serial line), one driver, the
// runtime's calls. Reads longer than one request go out as several; every
// failure is shown with the driver's text and what the tool knows about it;
// polling sums up at the end.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/device/serial_device.h"
#include "host/device/tcp_device.h"
#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/poll_stats.h"
#include "host/mbrtu/run_status.h"
#include "host/mbrtu/tool_options.h"

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
std::unique_ptr<HostDevice> makeDevice(const ToolOptions &options, const LinkChoice &link, FrameTrace *trace,
                                       const WaitObserver &observer);

// Where the requests go: "127.0.0.1:5020", or the serial line as
// "/dev/ttyUSB0 9600 8E1".
QString linkText(const ToolOptions &options);
// The first line of a command's text output: "link 127.0.0.1:5020, station 1",
// noting an address the project stored.
QString linkLine(const ToolOptions &options, const QString &stations);

// SIGINT and SIGTERM end the request under way (the device's waits watch for
// them) and a polling loop.
void installStopHandlers();
bool stopRequested();
// The stop signal that came, 0 when none did.
int stopSignal();
// Sleeps ms unless a stop signal comes first; false when it came.
bool sleepUnlessStopped(int ms);

// One read or write through the driver, as it came out.
struct RequestOutcome
{
    bool ok = false;
    QByteArray data;      // what a read returned
    QString error;        // the driver's text
    FailureInfo failure;
    QDateTime time;       // when it was sent (UTC)
    qint64 elapsedUs = 0;
};

class ToolSession
{
public:
    ToolSession(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
                QTextStream &out, QTextStream &err);

    RunTally read();
    RunTally write();
    // One read, nothing printed: for scans.
    RequestOutcome probe() { return readOnce(); }

private:
    RequestOutcome readOnce();
    // Fills in the error and what is known about it, after a failure.
    void explain(RequestOutcome *outcome) const;
    // poll 0: a single read.
    void printValues(const RequestOutcome &outcome, int poll);
    void printPoll(int poll, const RequestOutcome &outcome, const PollStats &stats);
    void printFailure(const RequestOutcome &outcome);
    // The run's tally of a single request.
    static RunTally tallyOf(const RequestOutcome &outcome);
    QJsonObject record(const RequestOutcome &outcome) const;
    // Values of a number type, each at its first register's address.
    struct NumberRow
    {
        QString address;
        QString value;
    };
    QList<NumberRow> numberRows(const QByteArray &data) const;
    QJsonArray valuesJson(const QByteArray &data) const;
    QString valuesText(const QByteArray &data) const;
    QString failureLine(const RequestOutcome &outcome) const;
    // The device's wait observer: abandons the wait on a stop signal and,
    // on a terminal, shows which attempt a long wait is on.
    bool watchWait(qint64 waitedMs);
    void clearProgress();
    void printCsv(const RequestOutcome &outcome);

    const ToolOptions &m_options;
    DriverInterface *m_driver;
    QTextStream &m_out;
    QTextStream &m_err;
    LinkChoice m_link;
    FrameTrace m_trace;
    std::unique_ptr<HostDevice> m_device;
    bool m_broadcast = false; // station 0: writes go out once and no reply is awaited
    bool m_csvHeaderDone = false;
    int m_sentBefore = 0;       // the device's requests before the one under way
    bool m_progressShown = false;
};

#endif // HOST_TOOL_SESSION_H
