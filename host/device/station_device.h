#ifndef HOST_STATION_DEVICE_H
#define HOST_STATION_DEVICE_H

// One station of a shared link: the runtime keeps a device object per node,
// while the stations of one serial line or one gateway connection share the
// port or the socket. Everything but the station id goes to the link's
// device, so the stations' requests take turns on one link, as they do on
// the bus, and no second open of the port or second connection is needed.

#include "settings/abstract_device_interface.h"

class StationDevice : public AbstractDeviceInterface
{
public:
    // link is not owned and must outlive this.
    StationDevice(AbstractDeviceInterface *link, int station) : m_link(link), m_station(station) {}

    int readData(char *data, int maxlen) override { return m_link->readData(data, maxlen); }
    int writeData(const char *data, int len) override { return m_link->writeData(data, len); }
    bool open() override { return m_link->open(); }
    void close() override { m_link->close(); }
    DeviceSetting *deviceSetting() const override { return m_link->deviceSetting(); }
    bool isOpen() const override { return m_link->isOpen(); }
    int retryCount() const override { return m_link->retryCount(); }
    int stationId() const override { return m_station; }
    unsigned long delayTime() const override { return m_link->delayTime(); }
    QString errorString() const override { return m_link->errorString(); }

private:
    AbstractDeviceInterface *m_link;
    int m_station;
};

#endif // HOST_STATION_DEVICE_H
