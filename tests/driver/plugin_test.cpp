// Identity, defaults and error state of the driver, and its entry points as
// a plug-in.

#include <gtest/gtest.h>

#include <QPluginLoader>
#include <memory>
#include <tuple>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/qt_printers.h"
#include "support/scripted_device.h"

extern "C" QObject *qt_plugin_instance();

namespace {

const char *const Iid = "com.dorvalic.drivers.DriverInterface/1.1";

} // namespace

TEST(DriverIdentity, ValuesOfTheRuntimeTableAndErrorState)
{
    DriverModbusRtuSlaveOverTcp driver;
    EXPECT_EQ(driver.totalSize(), 278528);
    EXPECT_EQ(driver.name(), QStringLiteral("Modbus RTU Slave over TCP"));
    EXPECT_EQ(driver.vender(), QStringLiteral("Modbus"));
    EXPECT_EQ(driver.getVersionNumber(), QStringLiteral("1.0.0"));
    EXPECT_EQ(driver.getStringBasedDefaultDriverSetting(), QStringLiteral("23"));
    EXPECT_EQ(driver.supportedCommunicationFlags(), 0x100);
    EXPECT_EQ(driver.getBlockAccessSize(), 125);
    EXPECT_EQ(driver.getBitBlockAccessSize(), 2008);
    EXPECT_FALSE(driver.validation(QStringLiteral("anything")));
    EXPECT_FALSE(driver.isSupportSessionCommand());
    EXPECT_TRUE(driver.deviceSettingChanged(nullptr));
    ScriptedDevice device;
    EXPECT_TRUE(driver.initialize(&device));
    for (bool open : {false, true}) {
        device.setOpenState(open);
        EXPECT_EQ(driver.isConnected(&device), open);
    }
    // The error state starts clear; clearing it keeps the last text.
    EXPECT_FALSE(driver.hasError() || !driver.getLastError().isEmpty());
    driver.setCommError(QStringLiteral("PLC no response"));
    EXPECT_TRUE(driver.hasError());
    driver.clearError();
    EXPECT_FALSE(driver.hasError());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
}

TEST(DriverIdentity, DefaultsAreNewObjectsEveryCall)
{
    DriverModbusRtuSlaveOverTcp driver;
    std::unique_ptr<DeviceSetting> a(driver.getDefaultSerialDeviceSetting());
    std::unique_ptr<DeviceSetting> b(driver.getDefaultSerialDeviceSetting());
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(std::make_tuple(int(a->type), a->deviceString, a->baudrate, a->databits, a->stopbits,
                              a->parity, a->linkID),
              std::make_tuple(16, QStringLiteral("COM2"), 9600, 8, 0, 2, -1));
    std::unique_ptr<DriverSetting> c(driver.getDefaultDriverSetting());
    std::unique_ptr<DriverSetting> d(driver.getDefaultDriverSetting());
    EXPECT_NE(c.get(), d.get());
    EXPECT_EQ(std::make_tuple(c->timeout, c->retry, c->stationid, c->delay), std::make_tuple(3000, 3, 1, 0));
}

TEST(PluginEntry, CreateDriverInstanceAndMetacast)
{
    std::unique_ptr<DriverInterface> created(CreateDriver());
    ASSERT_TRUE(created);
    QObject *object = created->getThisObject();
    ASSERT_NE(object, nullptr);
    EXPECT_NE(static_cast<void *>(object), static_cast<void *>(created.get()))
        << "CreateDriver returns the DriverInterface part";
    EXPECT_EQ(qobject_cast<DriverInterface *>(object), created.get());
    EXPECT_EQ(object->qt_metacast(Iid), static_cast<void *>(created.get()));

    EXPECT_NE(qobject_cast<DriverInterface *>(qt_plugin_instance()), nullptr);

    EXPECT_STREQ(qt_plugin_query_verification_data(),
                 "pattern=QT_PLUGIN_VERIFICATION_DATA\nversion=4.8.6\ndebug=false\n"
                 "buildkey=arm linux g++-4 no-pkg-config");
}

TEST(PluginEntry, LoadsThroughQPluginLoader)
{
    QPluginLoader loader(QStringLiteral(MBRTU_PLUGIN_PATH));
    QObject *root = loader.instance();
    ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(loader.metaData().value(QStringLiteral("IID")).toString(), QLatin1String(Iid));
    DriverInterface *driver = qobject_cast<DriverInterface *>(root);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->name(), QStringLiteral("Modbus RTU Slave over TCP"));
}
