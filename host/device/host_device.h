#ifndef HOST_HOST_DEVICE_H
#define HOST_HOST_DEVICE_H

// What the runtime stand-in's devices (TCP and serial line) add to the
// runtime's device interface, so that tools can use either through one type:
// a trace of the frames, a watch on long waits, the count of requests
// written, a probe mode for a station that has gone silent, and the head of
// the last reply.

#include <QByteArray>
#include <algorithm>

#include "host/device/wait_observer.h"
#include "settings/abstract_device_interface.h"

class FrameTrace;

class HostDevice : public AbstractDeviceInterface
{
public:
    // Not owned; null switches tracing off.
    void setTrace(FrameTrace *trace) { m_trace = trace; }
    // Empty switches it off.
    void setWaitObserver(WaitObserver observer) { m_observer = std::move(observer); }
    // Requests written so far (each attempt of the driver's counts).
    int requestsSent() const { return m_requests; }

    // While a silent station is probed: every request is one attempt (no
    // retries) waiting at most timeoutMs for its reply, instead of the link's
    // settings. 0 ends it.
    void setProbeTimeoutMs(int timeoutMs) { m_probeTimeoutMs = timeoutMs; }
    bool isProbing() const { return m_probeTimeoutMs > 0; }

    // The first bytes received since the last request was written, for a
    // reply that is no Modbus frame at all (a peer speaking text).
    QByteArray replyHead() const { return QByteArray(m_replyHead, m_replyHeadSize); }
    static constexpr int kReplyHeadBytes = 16;

protected:
    // The response time-out and further attempts in force: the link's own,
    // or the probe's.
    int responseTimeoutMs(int configuredMs) const { return isProbing() ? m_probeTimeoutMs : configuredMs; }
    int retriesInForce(int configured) const { return isProbing() ? 0 : configured; }
    // Each device calls these as it writes a request and as reply bytes
    // come; a fixed buffer, so that no request allocates for it.
    void noteRequestWritten() { m_replyHeadSize = 0; }
    void noteReplyBytes(const char *data, int count)
    {
        const int taken = qMin(count, kReplyHeadBytes - m_replyHeadSize);
        std::copy(data, data + taken, m_replyHead + m_replyHeadSize);
        m_replyHeadSize += taken;
    }

    FrameTrace *m_trace = nullptr;
    WaitObserver m_observer;
    int m_requests = 0;
    int m_probeTimeoutMs = 0;
    char m_replyHead[kReplyHeadBytes] = {};
    int m_replyHeadSize = 0;
};

#endif // HOST_HOST_DEVICE_H
