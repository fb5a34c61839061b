#include <gtest/gtest.h>

#include <QPluginLoader>
#include <QPointer>
#include <memory>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/scripted_device.h"

extern "C" QObject *qt_plugin_instance();

TEST(DriverIdentity, ValuesOfTheRuntimeTable)
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
    device.setOpenState(false);
    EXPECT_FALSE(driver.isConnected(&device));
    device.setOpenState(true);
    EXPECT_TRUE(driver.isConnected(&device));
    EXPECT_FALSE(driver.hasError());
    EXPECT_TRUE(driver.getLastError().isEmpty());
}

TEST(DriverIdentity, DefaultsAreNewObjectsEveryCall)
{
    DriverModbusRtuSlaveOverTcp driver;
    std::unique_ptr<DeviceSetting> a(driver.getDefaultSerialDeviceSetting());
    std::unique_ptr<DeviceSetting> b(driver.getDefaultSerialDeviceSetting());
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a->type, 16);
    EXPECT_EQ(a->deviceString, QStringLiteral("COM2"));
    EXPECT_EQ(a->baudrate, 9600);
    EXPECT_EQ(a->databits, 8);
    EXPECT_EQ(a->stopbits, 0);
    EXPECT_EQ(a->parity, 2);
    EXPECT_EQ(a->linkID, -1);

    std::unique_ptr<DriverSetting> c(driver.getDefaultDriverSetting());
    std::unique_ptr<DriverSetting> d(driver.getDefaultDriverSetting());
    EXPECT_NE(c.get(), d.get());
    EXPECT_EQ(c->timeout, 3000);
    EXPECT_EQ(c->retry, 3);
    EXPECT_EQ(c->stationid, 1);
    EXPECT_EQ(c->delay, 0);
}

TEST(DriverErrorState, ClearKeepsTheLastText)
{
    DriverModbusRtuSlaveOverTcp driver;
    driver.setCommError(QStringLiteral("PLC no response"));
    EXPECT_TRUE(driver.hasError());
    driver.clearError();
    EXPECT_FALSE(driver.hasError());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
}

TEST(PluginEntry, CreateDriverAndInstanceGiveDifferentParts)
{
    std::unique_ptr<DriverInterface> created(CreateDriver());
    ASSERT_TRUE(created);
    QObject *object = created->getThisObject();
    ASSERT_NE(object, nullptr);
    EXPECT_NE(static_cast<void *>(object), static_cast<void *>(created.get()))
        << "CreateDriver returns the DriverInterface part, not the QObject part";
    EXPECT_EQ(qobject_cast<DriverInterface *>(object), created.get());

    QObject *instance = qt_plugin_instance();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(qt_plugin_instance(), instance) << "one guarded instance";
    EXPECT_NE(qobject_cast<DriverInterface *>(instance), nullptr);
    delete instance;
    QObject *renewed = qt_plugin_instance();
    ASSERT_NE(renewed, nullptr) << "a deleted instance is created anew";
}

TEST(PluginEntry, MetacastAnswersClassInterfaceAndIdentifier)
{
    DriverModbusRtuSlaveOverTcp driver;
    void *interfacePart = static_cast<DriverInterface *>(&driver);
    EXPECT_EQ(driver.qt_metacast("DriverModbusRtuSlaveOverTcp"), static_cast<void *>(&driver));
    EXPECT_EQ(driver.qt_metacast("DriverInterface"), interfacePart);
    EXPECT_EQ(driver.qt_metacast("com.dorvalic.drivers.DriverInterface/1.1"), interfacePart);
    EXPECT_EQ(driver.qt_metacast(nullptr), nullptr);
    EXPECT_EQ(driver.qt_metacast("Unknown"), nullptr);
    EXPECT_STREQ(driver.metaObject()->className(), "DriverModbusRtuSlaveOverTcp");
}

TEST(PluginEntry, VerificationDataLines)
{
    EXPECT_STREQ(qt_plugin_query_verification_data(),
                 "pattern=QT_PLUGIN_VERIFICATION_DATA\nversion=4.8.6\ndebug=false\n"
                 "buildkey=arm linux g++-4 no-pkg-config");
}

TEST(PluginEntry, LoadsThroughQPluginLoader)
{
    QPluginLoader loader(QStringLiteral(MBRTU_PLUGIN_PATH));
    QObject *root = loader.instance();
    ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(loader.metaData().value(QStringLiteral("IID")).toString(),
              QStringLiteral("com.dorvalic.drivers.DriverInterface/1.1"));
    DriverInterface *driver = qobject_cast<DriverInterface *>(root);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->name(), QStringLiteral("Modbus RTU Slave over TCP"));
    EXPECT_EQ(loader.instance(), root);
}
