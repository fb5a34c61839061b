#ifndef DRIVER_INTERFACE_H
#define DRIVER_INTERFACE_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "communicator_command.h"
#include "drv_dev_setting.h"

class AbstractDeviceInterface;

// The runtime's abstract driver. The order of the virtual operations is the
// slot order the runtime was built against; do not reorder.
class DriverInterface
{
public:
    virtual ~DriverInterface() {}
    virtual int totalSize() = 0;
    virtual bool write(AbstractDeviceInterface *device, const CommunicatorCommand &command,
                       const QByteArray &data) = 0;
    virtual QByteArray read(AbstractDeviceInterface *device, const CommunicatorCommand &command) = 0;
    virtual bool initialize(AbstractDeviceInterface *device) = 0;
    virtual bool validation(const QString &text) = 0;
    virtual QString name() { return QStringLiteral("Not Assigned"); }
    virtual QString vender() { return QStringLiteral("Not Assigned"); }
    virtual QString getVersionNumber() { return QStringLiteral("Not Assigned"); }
    // Both return a new object owned by the caller.
    virtual DeviceSetting *getDefaultSerialDeviceSetting() = 0;
    virtual DriverSetting *getDefaultDriverSetting() = 0;
    virtual QString getStringBasedDefaultDriverSetting() { return QStringLiteral("RS232,9600,EVEN,7,1"); }
    virtual int supportedCommunicationFlags() = 0;
    virtual void setDebugMode(bool on) = 0;
    virtual int getBlockAccessSize() = 0;
    virtual int getBitBlockAccessSize() = 0;
    virtual bool hasError() = 0;
    virtual QString getLastError() = 0;
    virtual QObject *getThisObject() = 0;
    virtual bool isSupportSessionCommand() { return false; }
    virtual void setSessionCommand(QList<CommunicatorCommand> commands) { Q_UNUSED(commands); }
    virtual void clearSessionCommand() {}
    virtual bool deviceSettingChanged(const DeviceSetting *setting) { Q_UNUSED(setting); return true; }
    virtual bool isConnected(AbstractDeviceInterface *device) { Q_UNUSED(device); return true; }
};

#define DriverInterface_iid "com.dorvalic.drivers.DriverInterface/1.1"
Q_DECLARE_INTERFACE(DriverInterface, DriverInterface_iid)

#endif // DRIVER_INTERFACE_H
