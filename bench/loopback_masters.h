#ifndef BENCH_LOOPBACK_MASTERS_H
#define BENCH_LOOPBACK_MASTERS_H

// The masters the loopback benchmark times against the simulated slave: the
// driver over its TcpDevice, a raw socket that checks nothing (the link's
// limit) and the TcpDevice alone. Each sends one request of a kind at a time;
// a failed request ends the program rather than count.

#include <QByteArray>
#include <QString>
#include <chrono>
#include <vector>

#include "host/device/tcp_device.h"
#include "settings/communicator_command.h"

class DriverInterface;

namespace loopback {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const QString &text);

// One kind of request, sent alike by every master, and what they measured.
struct Kind
{
    QString name;      // also the pymodbus script's name for it
    QString label;
    CommunicatorCommand command;
    QByteArray writeData; // empty for reads
    int resultBytes;      // size of a good read result
    QByteArray request;   // as the driver sent it
    QByteArray reply;     // as the driver received it
    std::vector<double> driverRate, rawRate, deviceRate, pythonRate;
    // Of each set of turns: driver / raw (raw time over driver time) and
    // device / raw.
    std::vector<double> turnRatios, deviceTurnRatios;
};

// Seconds for `requests` calls of once.
template <typename Once>
double secondsFor(int requests, Once once)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < requests; ++i)
        once();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Microseconds of each of `requests` calls of once.
template <typename Once>
std::vector<double> latenciesOf(int requests, Once once)
{
    std::vector<double> times;
    times.reserve(size_t(requests));
    for (int i = 0; i < requests; ++i) {
        const Clock::time_point start = Clock::now();
        once();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
}

// ---- the driver ----

class DriverMaster
{
public:
    DriverMaster(DriverInterface *driver, quint16 port)
        : m_driver(driver), m_device(settingsFor(port))
    {
    }

    // One request; false when the driver reports an error.
    bool attempt(const Kind &kind);
    // One request; an error ends the program.
    void once(const Kind &kind);

    // Sends one request with a trace on and keeps its frames in the kind.
    void capture(Kind &kind);

    double run(const Kind &kind, int requests)
    {
        return secondsFor(requests, [&] { once(kind); });
    }
    std::vector<double> latencies(const Kind &kind, int requests)
    {
        return latenciesOf(requests, [&] { once(kind); });
    }

    TcpDevice &device() { return m_device; }

private:
    static TcpDeviceSettings settingsFor(quint16 port);

    DriverInterface *m_driver;
    TcpDevice m_device;
};

// ---- the link's limit ----

class RawMaster
{
public:
    // On a connection of its own.
    explicit RawMaster(quint16 port);
    // On a connected socket that stays someone else's.
    static RawMaster onSocket(int fd) { return RawMaster(fd, false); }
    ~RawMaster();
    RawMaster(RawMaster &&other) noexcept : m_fd(other.m_fd), m_owned(other.m_owned)
    {
        other.m_owned = false;
    }
    RawMaster(const RawMaster &) = delete;
    RawMaster &operator=(const RawMaster &) = delete;

    // Request out, exactly replyLength bytes in; nothing looked at. A broken
    // socket ends the program rather than hang or count. With lookFirst, one
    // non-blocking receive goes before the request, as TcpDevice's look for
    // late bytes does.
    void once(const QByteArray &request, int replyLength, bool lookFirst = false);

    // Outside any timing: the raw master gets the reply the driver got.
    void verify(const Kind &kind);

    double run(const Kind &kind, int requests)
    {
        return secondsFor(requests, [&] { once(kind.request, kind.reply.size()); });
    }
    std::vector<double> latencies(const Kind &kind, int requests, bool lookFirst)
    {
        return latenciesOf(requests, [&] { once(kind.request, kind.reply.size(), lookFirst); });
    }

private:
    RawMaster(int fd, bool owned) : m_fd(fd), m_owned(owned) {}

    int m_fd = -1;
    bool m_owned = true;
    char m_buffer[512];
};

// ---- TcpDevice without the driver ----

// Sends the driver's request bytes and reads the reply in the driver's two
// steps (five bytes, then the rest), checking nothing: the driver's own
// device, with the driver left out.
class DeviceMaster
{
public:
    explicit DeviceMaster(TcpDevice &device) : m_device(device) {}

    double run(const Kind &kind, int requests)
    {
        return secondsFor(requests, [&] { once(kind); });
    }
    std::vector<double> latencies(const Kind &kind, int requests)
    {
        return latenciesOf(requests, [&] { once(kind); });
    }

private:
    void once(const Kind &kind);

    TcpDevice &m_device;
    char m_reply[512];
};

} // namespace loopback

#endif // BENCH_LOOPBACK_MASTERS_H
