// Loads the driver plug-in the way the runtime does and prints its identity
// and default settings.

#include <QCoreApplication>
#include <QPluginLoader>
#include <QTextStream>
#include <memory>

#include "settings/driver_interface.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (argc < 2) {
        err << "usage: plugin_info PLUGIN_FILE\n";
        return 2;
    }
    QPluginLoader loader(QString::fromLocal8Bit(argv[1]));
    DriverInterface *driver = qobject_cast<DriverInterface *>(loader.instance());
    if (!driver) {
        err << "cannot load driver: " << loader.errorString() << "\n";
        return 1;
    }
    std::unique_ptr<DeviceSetting> device(driver->getDefaultSerialDeviceSetting());
    std::unique_ptr<DriverSetting> timing(driver->getDefaultDriverSetting());
    out << "plug-in     " << loader.fileName() << "\n"
        << "interface   " << loader.metaData().value(QStringLiteral("IID")).toString() << "\n"
        << "name        " << driver->name() << "\n"
        << "vendor      " << driver->vender() << "\n"
        << "version     " << driver->getVersionNumber() << "\n"
        << "block sizes " << driver->getBlockAccessSize() << " registers, "
        << driver->getBitBlockAccessSize() << " bits\n"
        << "device      " << device->deviceString << " " << device->baudrate << " baud, "
        << device->databits << " data bits, parity " << device->parity << "\n"
        << "timing      time-out " << timing->timeout << " ms, retries " << timing->retry
        << ", station " << timing->stationid << ", delay " << timing->delay << " ms\n";
    return 0;
}
