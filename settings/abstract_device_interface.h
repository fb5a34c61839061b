#ifndef ABSTRACT_DEVICE_INTERFACE_H
#define ABSTRACT_DEVICE_INTERFACE_H

#include <QString>

class DeviceSetting;

// The runtime's per-device object: a byte link plus the communication
// settings of one device. The driver calls exactly these operations; the
// order of the virtual slots is part of the binary interface with the runtime.
class AbstractDeviceInterface
{
public:
    virtual ~AbstractDeviceInterface();
    // Copies up to maxlen reply bytes, waiting within the device's own
    // time-out; a result below 1 means nothing came.
    virtual int readData(char *data, int maxlen) = 0;
    // Sends the whole frame; a result other than len is a failure.
    virtual int writeData(const char *data, int len) = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual DeviceSetting *deviceSetting() const = 0;
    virtual bool isOpen() const = 0;
    // Further attempts after the first.
    virtual int retryCount() const = 0;
    virtual int stationId() const = 0;
    // Milliseconds slept before every attempt and between sub-requests.
    virtual unsigned long delayTime() const = 0;
    virtual QString errorString() const = 0;
};

inline AbstractDeviceInterface::~AbstractDeviceInterface() = default;

#endif // ABSTRACT_DEVICE_INTERFACE_H
