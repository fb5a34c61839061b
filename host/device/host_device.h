#ifndef HOST_HOST_DEVICE_H
#define HOST_HOST_DEVICE_H

// What the runtime stand-in's devices (TCP and serial line) add to the
// runtime's device interface, so that tools can use either through one type:
// a trace of the frames, a watch on long waits, and the count of requests
// written.

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

protected:
    FrameTrace *m_trace = nullptr;
    WaitObserver m_observer;
    int m_requests = 0;
};

#endif // HOST_HOST_DEVICE_H
