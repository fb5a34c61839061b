#include "modbus_rtu_slave_over_tcp.h"

#include "rtu_frame.h"

#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QtGlobal>

namespace {

const QString VERSION_STRING = QStringLiteral("1.0.0");

const int TotalSize = 278528;
const int SupportedCommunicationFlags = 0x100;

// Names of the database connections that live drivers hold. Never
// destroyed: the framework deletes the plug-in's instance while the process
// ends, after the static objects of this library are gone.
QSet<QString> &heldConnectionNames()
{
    static QSet<QString> *names = new QSet<QString>;
    return *names;
}

QMutex &connectionNamesLock()
{
    static QMutex *lock = new QMutex;
    return *lock;
}

// Each driver registers its database connection under a name of its own,
// the decimal text of a number from the framework's generator. The generator
// is seeded per thread, so the first drivers of two threads draw the same
// number; and a connection belongs to the thread that registered it. The
// draw is repeated while another live driver holds the name or the SQL layer
// already knows it.
QString takeConnectionName()
{
    QMutexLocker locker(&connectionNamesLock());
    QString name;
    do {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        name = QString::number(qrand());
        QT_WARNING_POP
    } while (heldConnectionNames().contains(name) || QSqlDatabase::contains(name));
    heldConnectionNames().insert(name);
    return name;
}

void releaseConnectionName(const QString &name)
{
    QMutexLocker locker(&connectionNamesLock());
    heldConnectionNames().remove(name);
}

} // namespace

DriverModbusRtuSlaveOverTcp::DriverModbusRtuSlaveOverTcp()
    : commError(false),
      debugMode(false),
      databaseOpen(false),
      validBitAddressesLoaded(false),
      bitAddressRegExp(QStringLiteral("^(\\d+)-((?:FN5)?DO|DI)(\\d+)"), Qt::CaseInsensitive,
                       QRegExp::RegExp),
      connectionName(takeConnectionName()),
      connectionThread(nullptr)
{
}

DriverModbusRtuSlaveOverTcp::~DriverModbusRtuSlaveOverTcp()
{
    // The connection stays registered with the SQL layer, which keeps its
    // name from being drawn again.
    releaseConnectionName(connectionName);
}

int DriverModbusRtuSlaveOverTcp::totalSize() { return TotalSize; }

bool DriverModbusRtuSlaveOverTcp::initialize(AbstractDeviceInterface *) { return true; }

bool DriverModbusRtuSlaveOverTcp::validation(const QString &) { return false; }

QString DriverModbusRtuSlaveOverTcp::name() { return QStringLiteral("Modbus RTU Slave over TCP"); }

QString DriverModbusRtuSlaveOverTcp::vender() { return QStringLiteral("Modbus"); }

QString DriverModbusRtuSlaveOverTcp::getVersionNumber() { return VERSION_STRING; }

DeviceSetting *DriverModbusRtuSlaveOverTcp::getDefaultSerialDeviceSetting()
{
    return new DeviceSetting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2);
}

DriverSetting *DriverModbusRtuSlaveOverTcp::getDefaultDriverSetting()
{
    return new DriverSetting(3000, 3, 1, 0);
}

QString DriverModbusRtuSlaveOverTcp::getStringBasedDefaultDriverSetting()
{
    return QStringLiteral("23");
}

int DriverModbusRtuSlaveOverTcp::supportedCommunicationFlags() { return SupportedCommunicationFlags; }

void DriverModbusRtuSlaveOverTcp::setDebugMode(bool on) { debugMode = on; }

int DriverModbusRtuSlaveOverTcp::getBlockAccessSize() { return MaxReadRegisters; }

int DriverModbusRtuSlaveOverTcp::getBitBlockAccessSize() { return MaxReadBits; }

bool DriverModbusRtuSlaveOverTcp::hasError() { return commError; }

QString DriverModbusRtuSlaveOverTcp::getLastError() { return lastError; }

QObject *DriverModbusRtuSlaveOverTcp::getThisObject() { return qobject_cast<QObject *>(this); }

bool DriverModbusRtuSlaveOverTcp::isConnected(AbstractDeviceInterface *device)
{
    return device->isOpen();
}

void DriverModbusRtuSlaveOverTcp::setCommError(const QString &text)
{
    commError = true;
    lastError = text;
}

void DriverModbusRtuSlaveOverTcp::clearError() { commError = false; }

extern "C" Q_DECL_EXPORT DriverInterface *CreateDriver()
{
    return new DriverModbusRtuSlaveOverTcp();
}

// The verification block of the runtime's framework build, in its own section
// where the runtime's loader looks for it.
extern "C" Q_DECL_EXPORT const char *qt_plugin_query_verification_data()
{
    static const char verificationData[] __attribute__((section(".qtplugin"), used)) =
        "pattern=QT_PLUGIN_VERIFICATION_DATA\n"
        "version=4.8.6\n"
        "debug=false\n"
        "buildkey=arm linux g++-4 no-pkg-config";
    return verificationData;
}
