#ifndef HOST_REQUEST_PLAN_H
#define HOST_REQUEST_PLAN_H

// How much one request may carry, by area and data type, and the split of a
// longer read into requests within those limits. The limits are the
// protocol's (125 registers or 2000 bits read, 123 registers or 1968 coils
// written), which the driver's own limits allow.

#include <QList>
#include <QString>

#include "host/runtime/device_address.h"

// Items of the type one request may read or write from address; 0 when a
// write goes out one request per item and has no such limit.
int readLimit(const DeviceAddress &address, DataType type);
int writeLimit(const DeviceAddress &address, DataType type);

struct ReadPiece
{
    DeviceAddress address; // its text is what the driver gets
    int count = 0;
};

// The requests that read count items from address, in order; one when the
// count is within the limit. Bit pieces other than the last carry whole
// bytes, so that their runtime data join end to end.
QList<ReadPiece> splitRead(const DeviceAddress &address, DataType type, int count);

// Whether count items of the type from address stay inside the 65536
// addresses of the area.
bool fitsAddressSpace(const DeviceAddress &address, DataType type, int count);

// The address as the driver takes it: HR100, HR100.3, IR7SW, DI5.
QString addressText(const DeviceAddress &address);

// The limits, for --help.
QString limitsText();

#endif // HOST_REQUEST_PLAN_H
