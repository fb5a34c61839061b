// The driver as a plug-in: its entry points, and the block sizes and defaults
// the runtime takes from it.

#include <gtest/gtest.h>

#include <QPluginLoader>
#include <memory>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/qt_printers.h"

TEST(Plugin, EntryPointsBlockSizesAndDefaults)
{
    const char *const iid = "com.dorvalic.drivers.DriverInterface/1.1";
    QPluginLoader loader(QStringLiteral(MBRTU_PLUGIN_PATH));
    ASSERT_NE(qobject_cast<DriverInterface *>(loader.instance()), nullptr) << qPrintable(loader.errorString());
    EXPECT_EQ(loader.metaData().value(QStringLiteral("IID")).toString(), QLatin1String(iid));
    EXPECT_STREQ(qt_plugin_query_verification_data(), "pattern=QT_PLUGIN_VERIFICATION_DATA\nversion=4.8.6\n"
                                                      "debug=false\nbuildkey=arm linux g++-4 no-pkg-config");

    const std::unique_ptr<DriverInterface> driver(CreateDriver());
    EXPECT_EQ(driver->getThisObject()->qt_metacast(iid), static_cast<void *>(driver.get()));
    const std::unique_ptr<DriverSetting> setting(driver->getDefaultDriverSetting());
    EXPECT_EQ(std::make_tuple(driver->getBlockAccessSize(), driver->getBitBlockAccessSize(), setting->timeout,
                              setting->retry, setting->stationid, setting->delay),
              std::make_tuple(125, 2008, 3000, 3, 1, 0));
}
