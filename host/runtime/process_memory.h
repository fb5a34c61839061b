#ifndef HOST_PROCESS_MEMORY_H
#define HOST_PROCESS_MEMORY_H

#include <QtGlobal>

// A "Vm...:   1234 kB" line of /proc/self/status (VmRSS, VmHWM, ...), in kB;
// -1 when it cannot be read.
qint64 processStatusKb(const char *field);

#endif // HOST_PROCESS_MEMORY_H
