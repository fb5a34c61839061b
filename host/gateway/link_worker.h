#ifndef HOST_GATEWAY_LINK_WORKER_H
#define HOST_GATEWAY_LINK_WORKER_H

// The one thread that works the RTU link: it takes the clients' requests from
// the fair queue, one at a time, and puts each to the driver plug-in through
// DriverInterface with a device per station over the one link, exactly as
// the runtime would. A station backed off after a silence is answered 0x0B
// without touching the line; the next try after its back-off is a probe
// (one attempt, a time-out drawn from the response times measured). Nothing
// else calls the plug-in, and the link's device lives on this thread.

#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "host/device/host_device.h"
#include "host/device/station_device.h"
#include "host/gateway/fair_queue.h"
#include "host/gateway/station_gate.h"

class DriverInterface;

namespace gateway {

// What a failed request came to, told from the driver's and the device's texts.
enum class FailureKind {
    Exception, // the station answered with an exception
    NoReply,   // nothing came within the time-out
    BadReply,  // a bad CRC, a broken reply, a wrong or missing echo
    LinkDown,  // the link could not be opened or broke (refused, closed, port gone)
    Refused,   // the driver refused the request before sending
};

struct LinkFailure
{
    FailureKind kind = FailureKind::NoReply;
    int exceptionCode = 0; // with Exception
};

using FailureClassifier = std::function<LinkFailure(const QString &driverError, const QString &deviceError)>;

// The client's answer to a failure: the exception code and how it counts.
struct FailureAnswer
{
    int code;
    AnswerKind kind;
};
FailureAnswer answerForFailure(const LinkFailure &failure);

struct LinkSetup
{
    DriverInterface *driver = nullptr;
    // Makes the link's device; called once, on the worker's thread.
    std::function<std::unique_ptr<HostDevice>()> makeLink;
    FailureClassifier classify;
    int defaultStation = 1;
    // Called on the worker's thread after each request (the trace's flush).
    std::function<void()> afterRequest;
};

class LinkWorker
{
public:
    LinkWorker(LinkSetup setup, FairQueue &queue, StationGate &gate, GatewayStats &stats);
    ~LinkWorker();
    void start();
    // Returns once the request on the line has finished and the queue is stopped.
    void join();
    // Time spent in the driver's calls so far: the line's busy time.
    qint64 busyUs() const { return m_busyUs.load(); }

private:
    void run();
    void serve(Exchange &exchange);
    AbstractDeviceInterface *deviceFor(int station);
    void answer(Exchange &exchange, const QByteArray &pdu, AnswerKind kind);

    LinkSetup m_setup;
    FairQueue &m_queue;
    StationGate &m_gate;
    GatewayStats &m_stats;
    std::unique_ptr<HostDevice> m_link;
    std::map<int, StationDevice> m_stations;
    std::thread m_thread;
    std::atomic<qint64> m_busyUs{0};
};

} // namespace gateway

#endif // HOST_GATEWAY_LINK_WORKER_H
