// Millisecond sleeps and the monotonic clock.

#include "tools.h"

#include <cerrno>
#include <ctime>

void HRSleep(unsigned long ms)
{
    timespec request;
    request.tv_sec = time_t(ms / 1000);
    request.tv_nsec = long(ms % 1000) * 1000000L;
    timespec remaining;
    // A signal interrupts nanosleep: sleep again for what it reports as left.
    while (nanosleep(&request, &remaining) == -1 && errno == EINTR)
        request = remaining;
}

qint64 CurrentMSecsSinceBoot()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
