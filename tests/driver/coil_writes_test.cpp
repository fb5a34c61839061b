// Coil writes: function 15 in one request, function 5 one coil at a time.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

namespace {

using CoilWrite = bool (DriverModbusRtuSlaveOverTcp::*)(AbstractDeviceInterface *, unsigned short,
                                                        const QByteArray &, int);
const CoilWrite Fn15 = &DriverModbusRtuSlaveOverTcp::writeCoils;
const CoilWrite Fn5 = &DriverModbusRtuSlaveOverTcp::writeCoilsWithFN5;

struct RequestCase
{
    const char *name;
    CoilWrite write;
    unsigned short address;
    const char *bits;
    int count;
    QList<QByteArray> requests;
};

TEST(CoilWrites, RequestBytes)
{
    const RequestCase cases[] = {
        {"ten coils", Fn15, 16, "CD 01", 10, {hex("01 0F 00 10 00 0A 02 CD 01 72 F8")}},
        {"unused bits go out as given", Fn15, 0, "FF", 3, {rtu("01 0F 00 00 00 03 01 FF")}},
        {"no coils", Fn15, 0, "", 0, {rtu("01 0F 00 00 00 00 00")}},
        {"one coil on", Fn5, 16, "01", 1, {hex("01 05 00 10 FF 00 8D FF")}},
        {"one coil off", Fn5, 16, "FE", 1, {hex("01 05 00 10 00 00 CC 0F")}},
        {"three coils", Fn5, 16, "05", 3,
         {rtu("01 05 00 10 FF 00"), rtu("01 05 00 11 00 00"), rtu("01 05 00 12 FF 00")}},
        {"across a byte", Fn5, 65527, "80 01", 9,
         {rtu("01 05 FF F7 00 00"), rtu("01 05 FF F8 00 00"), rtu("01 05 FF F9 00 00"),
          rtu("01 05 FF FA 00 00"), rtu("01 05 FF FB 00 00"), rtu("01 05 FF FC 00 00"),
          rtu("01 05 FF FD 00 00"), rtu("01 05 FF FE FF 00"), rtu("01 05 FF FF FF 00")}},
        {"missing bits are off", Fn5, 0, "", 2,
         {rtu("01 05 00 00 00 00"), rtu("01 05 00 01 00 00")}},
        {"no coils, nothing sent", Fn5, 0, "", 0, {}},
    };
    for (const RequestCase &c : cases) {
        SCOPED_TRACE(c.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setDelay(2);
        device.setResponder(healthyStation());
        EXPECT_TRUE((driver.*c.write)(&device, c.address, hex(c.bits), c.count));
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(hexFrames(device.written), hexFrames(c.requests));
        EXPECT_EQ(device.delayCalls, 0) << "coils go back to back";
    }
}

TEST(CoilWrites, AcknowledgementIsCheckedButNotCompared)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.queueReply(hex("01 0F 00 10 00 0A D4 09"));
    EXPECT_TRUE(driver.writeCoils(&device, 16, hex("CD 01"), 10));
    device.queueReply(rtu("01 05 00 99 00 00"));
    EXPECT_TRUE(driver.writeCoilsWithFN5(&device, 16, hex("01"), 1));
    device.queueReply(rtu("01 05 00 10 FF 00"));
    EXPECT_FALSE(driver.writeCoils(&device, 16, hex("CD 01"), 10));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid response"));
}

struct LimitCase
{
    CoilWrite write;
    unsigned short address;
    int count;
    const char *refusal; // nullptr when accepted
};

TEST(CoilWrites, LimitsAtTheirBoundaries)
{
    const LimitCase cases[] = {
        {Fn15, 0, 1976, nullptr},
        {Fn15, 0, 1977, "can't write 1977 bits to DO1"},
        {Fn15, 65530, 6, nullptr},
        {Fn15, 65530, 10, "can't write 10 bits to DO65531"},
        {Fn15, 0, -1, "can't write -1 bits to DO1"},
        {Fn5, 0, 1976, nullptr},
        {Fn5, 0, 1977, "can't write 1977 bits to DO1"},
        {Fn5, 65530, 6, nullptr},
        {Fn5, 65530, 10, "can't write 10 bits to DO65531"},
    };
    for (const LimitCase &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.write == Fn15 ? "fn15 " : "fn5 ") << c.address
                                        << ", " << c.count);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setResponder(healthyStation());
        const QByteArray bits(qMax(0, (c.count + 7) / 8), '\x55');
        const bool ok = (driver.*c.write)(&device, c.address, bits, c.count);
        if (c.refusal) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(c.refusal));
            EXPECT_TRUE(device.events.isEmpty());
        } else {
            EXPECT_TRUE(ok);
            EXPECT_EQ(device.written.size(), c.write == Fn15 ? 1 : c.count);
        }
    }
}

TEST(CoilWrites, LargestRequestIsOneFullFrame)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.setResponder(healthyStation());
    EXPECT_TRUE(driver.writeCoils(&device, 0, QByteArray(247, '\xFF'), 1976));
    ASSERT_EQ(device.written.size(), 1);
    EXPECT_EQ(device.written[0].size(), 256);
    EXPECT_EQ(toHex(device.written[0].left(7)), QStringLiteral("01 0F 00 00 07 B8 F7"));
}

TEST(CoilWrites, ExceptionAtTheSecondCoilStopsTheSequence)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.queueReply(rtu("01 05 00 10 FF 00"));
    device.queueReply(rtu("01 85 03"));
    device.queueReply(rtu("01 05 00 12 FF 00"));
    EXPECT_FALSE(driver.writeCoilsWithFN5(&device, 16, hex("07"), 3));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("exception code:0x03"));
    EXPECT_EQ(device.written.size(), 2) << "the third coil is never sent";
    EXPECT_EQ(device.closeCalls, 0);
}

} // namespace
