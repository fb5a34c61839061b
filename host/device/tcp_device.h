#ifndef HOST_TCP_DEVICE_H
#define HOST_TCP_DEVICE_H

// The runtime's device object for a Modbus RTU slave reached over TCP: a
// plain POSIX socket, TCP_NODELAY on. Reads wait in the receive call under
// the socket's receive time-out; connecting and sending wait by poll().
//
// readData waits until maxlen bytes have come or the response time-out has
// passed (counted from the request for the first read after one) and returns
// what came: 0 when nothing came in time, -1 when the link broke with nothing
// received. Each read takes whatever has come, up to a buffer's worth, and
// keeps what the caller did not ask for for the next read, so the driver's
// two reads of one reply cost one receive.
//
// Before a request the bytes of a reply that came too late (kept or still in
// the socket) are thrown away, so a late reply never answers the next
// request; a link found closed by the peer at that point is reopened once,
// since nothing of the request has gone out yet. That look is a system call,
// as dear as the driver's own work on a request, and finds nothing when the
// last read took a reply whole with no byte after it: a request within
// lookSkipWindowUs of such an exchange's request goes out without it. A link
// the peer closed in that moment then shows as a failed send or as the link
// closing before any byte of the reply, and the request is sent once more on
// a new connection, as the look would have done.
//
// With echo on, the first read after a request first takes exactly the
// request's bytes back and compares them; an echo that differs or does not
// come fails the request (readData returns 0 until the next request,
// errorString says why) and what has come after it is thrown away.

#include <QString>
#include <memory>
#include <vector>
#include <sys/types.h>

#include "host/device/host_device.h"
#include "settings/drv_dev_setting.h"


struct TcpDeviceSettings
{
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 5020;
    int stationId = 1;
    int retryCount = 0;
    unsigned long delayMs = 0;
    int responseTimeoutMs = 1000;
    int connectTimeoutMs = 1000;
    // A request within this many microseconds of the one before, whose
    // reply was read whole, skips the look for late bytes; 0 looks before
    // every request.
    int lookSkipWindowUs = 1000;
    // Names the link in the project database (LINK.HMIPORT).
    QString deviceString = QStringLiteral("COM2");
    // The gateway hands every request back before the reply.
    bool echo = false;
};

class TcpDevice : public HostDevice
{
public:
    explicit TcpDevice(const TcpDeviceSettings &settings);
    ~TcpDevice() override;
    TcpDevice(const TcpDevice &) = delete;
    TcpDevice &operator=(const TcpDevice &) = delete;

    int readData(char *data, int maxlen) override;
    int writeData(const char *data, int len) override;
    bool open() override;
    void close() override;
    DeviceSetting *deviceSetting() const override;
    bool isOpen() const override;
    int retryCount() const override;
    int stationId() const override;
    unsigned long delayTime() const override;
    QString errorString() const override;

    const TcpDeviceSettings &settings() const { return m_settings; }
    // Successful connects so far.
    int connectCount() const { return m_connects; }
    // The connected socket, -1 when closed; for tools that measure the link
    // itself. Whatever they read from it never reaches this device.
    int socketDescriptor() const { return m_fd; }

private:
    bool connectTo(const struct addrinfo *address, qint64 deadline);
    // Reads whatever is waiting without blocking; false when the peer has
    // closed the link or it failed.
    bool discardStaleBytes();
    // Moves up to maxlen bytes read ahead into data; returns how many.
    int takeAhead(char *data, int maxlen);
    // One receive into the empty read-ahead buffer, waiting at most waitMs;
    // recv's result.
    ssize_t receiveAhead(qint64 waitMs);
    // True when the last read took a reply whole, to a request sent a
    // moment ago.
    bool canSkipLook(qint64 nowUs) const;
    // Reads on the open link: readData without its checks and the echo.
    int receive(char *data, int maxlen, bool echo);
    // Takes the request's echo at the start of the first read after it; 1
    // when it matched, else readData's result.
    int takeEcho();
    // Sends all of data: 0 when it went out, else the error that stopped it
    // (ETIMEDOUT when the socket's buffer stayed full), the link then closed.
    int sendAll(const char *data, int len);
    // After a request sent without the look, a link found closed before any
    // reply byte: opens a new one and sends the request again.
    bool resendOnNewLink();
    void closeSocket();
    void setSystemError(int error);

    TcpDeviceSettings m_settings;
    std::unique_ptr<DeviceSetting> m_setting;
    int m_fd = -1;
    int m_connects = 0;
    // Received but not yet read: m_ahead[m_aheadStart, m_aheadEnd). Larger
    // than the longest RTU frame (256 bytes).
    char m_ahead[512];
    int m_aheadStart = 0;
    int m_aheadEnd = 0;
    // The socket's receive time-out as last set; -1 for none yet.
    qint64 m_receiveTimeoutMs = -1;
    // When the last request went out (monotonic microseconds), whether the
    // first read after it is still to come, and whether the last read took
    // a reply whole, leaving nothing behind.
    qint64 m_requestUs = 0;
    bool m_awaitingReply = false;
    bool m_replyTakenWhole = false;
    // The request last sent without the look, kept while no reply byte has
    // come, so that it can go out again on a new link; empty otherwise.
    std::vector<char> m_unlookedRequest;
    // The request whose echo the next read takes first; empty when none.
    // The reply to a request that echoed is waited for until the response
    // time-out from the request, like the echo.
    std::vector<char> m_expectedEcho;
    bool m_replyAfterEcho = false;
    // The last request's echo was wrong or missing: reads fail until the next request.
    bool m_echoFailed = false;
    QString m_error;
};

#endif // HOST_TCP_DEVICE_H
