#ifndef DEVICE_DELAY_H
#define DEVICE_DELAY_H

#include "../tools/tools.h"

// The device's delay before a transaction, in milliseconds. A delay of 0 is
// no pause at all: nanosleep with a zero time still gives up the processor
// until the kernel's timer slack has passed or other runnable threads have
// had their turn, tens of microseconds on every request.
inline void PauseForDevice(unsigned long ms)
{
    if (ms > 0)
        HRSleep(ms);
}

#endif // DEVICE_DELAY_H
