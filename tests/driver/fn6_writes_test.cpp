// Function-6 register writes: one request per register, the device's delay
// between registers, the first failure ends the sequence.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

namespace {

// The frames and pauses of a run, in order: "write <hex>" and "delay".
QStringList writesAndDelays(const ScriptedDevice &device)
{
    QStringList order;
    for (const QString &event : device.events) {
        if (event == QLatin1String("delay") || event.startsWith(QLatin1String("write ")))
            order.append(event);
    }
    return order;
}

QString writeEvent(const char *frameWithoutCrc)
{
    return QStringLiteral("write ") + toHex(rtu(frameWithoutCrc));
}

enum class Fn6 { Words, DWordsHighFirst, DWordsLowFirst, Bytes };

bool writeFn6(DriverModbusRtuSlaveOverTcp &driver, ScriptedDevice &device, Fn6 kind,
              unsigned short address, const QByteArray &data)
{
    switch (kind) {
    case Fn6::Words: return driver.writeWordsWithFN6(&device, address, data);
    case Fn6::DWordsHighFirst: return driver.writeDWordsWithFN6(&device, address, data, true);
    case Fn6::DWordsLowFirst: return driver.writeDWordsWithFN6(&device, address, data, false);
    case Fn6::Bytes: return driver.writeBytesWithFN6(&device, address, data);
    }
    return false;
}

struct SplitCase
{
    const char *name;
    Fn6 kind;
    unsigned short address;
    const char *data;
    QStringList order;
};

TEST(RegisterWritesFn6, SplitIntoRegistersWithPausesBetween)
{
    const QString delay = QStringLiteral("delay");
    const SplitCase cases[] = {
        {"one word", Fn6::Words, 99, "34 12", {QStringLiteral("write 01 06 00 63 12 34 74 A3")}},
        {"three words", Fn6::Words, 10, "01 00 02 00 03 00",
         {writeEvent("01 06 00 0A 00 01"), delay, writeEvent("01 06 00 0B 00 02"), delay,
          writeEvent("01 06 00 0C 00 03")}},
        {"dword high first", Fn6::DWordsHighFirst, 0, "78 56 34 12",
         {writeEvent("01 06 00 00 12 34"), delay, writeEvent("01 06 00 01 56 78")}},
        {"dword low first", Fn6::DWordsLowFirst, 0, "78 56 34 12",
         {writeEvent("01 06 00 00 56 78"), delay, writeEvent("01 06 00 01 12 34")}},
        {"odd bytes", Fn6::Bytes, 0, "11 22 33",
         {writeEvent("01 06 00 00 22 11"), delay, writeEvent("01 06 00 01 00 33")}},
        {"last register", Fn6::Words, 65535, "CD AB", {writeEvent("01 06 FF FF AB CD")}},
        {"no data", Fn6::Words, 0, "", {}},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setDelay(2);
        device.setResponder(healthyStation());
        EXPECT_TRUE(writeFn6(driver, device, c.kind, c.address, hex(c.data)));
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(writesAndDelays(device), c.order);
    }
}

TEST(RegisterWritesFn6, ExceptionAtTheSecondRegisterStopsTheSequence)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.queueReply(rtu("01 06 00 0A 00 01"));
    device.queueReply(rtu("01 86 02"));
    device.queueReply(rtu("01 06 00 0C 00 03"));
    EXPECT_FALSE(driver.writeWordsWithFN6(&device, 10, hex("01 00 02 00 03 00")));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("exception code:0x02"));
    EXPECT_EQ(device.written.size(), 2) << "the third register is never sent";
    EXPECT_EQ(device.delayCalls, 1);
}

struct LimitCase
{
    Fn6 kind;
    unsigned short address;
    int bytes;
    const char *refusal; // nullptr when accepted
};

TEST(RegisterWritesFn6, LimitsAtTheirBoundaries)
{
    const LimitCase cases[] = {
        {Fn6::Words, 65413, 246, nullptr},
        {Fn6::Words, 65414, 246, "can't write any word to HR65415"},
        {Fn6::Words, 7, 248, "can't write any word to HR8"},
        {Fn6::Bytes, 0, 246, nullptr},
        {Fn6::Bytes, 0, 247, "can't write any byte to HR1"},
        {Fn6::DWordsLowFirst, 65534, 4, nullptr},
        {Fn6::DWordsHighFirst, 65535, 4, "can't write any double word to HR65536"},
    };
    for (const LimitCase &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.kind) << " at " << c.address << ", " << c.bytes);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setResponder(healthyStation());
        const bool ok = writeFn6(driver, device, c.kind, c.address, QByteArray(c.bytes, '\x11'));
        if (c.refusal) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(c.refusal));
            EXPECT_TRUE(device.events.isEmpty());
        } else {
            EXPECT_TRUE(ok);
            EXPECT_EQ(device.written.size(), (c.bytes + 1) / 2);
        }
    }
}

TEST(RegisterBitWritesFn6, ReadsThenWritesEveryRegisterBackToBack)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.setDelay(2);
    QVector<unsigned short> image(12, 0);
    image[9] = 0x00F0;
    image[10] = 0x8001;
    device.setResponder(healthyStation(image));
    // Bits 14..17 from bit 14 of HR10: 1, 0, 0, 1.
    EXPECT_TRUE(driver.writeHRbitWithFN6(&device, 9, 14, hex("09"), 4));
    EXPECT_EQ(writesAndDelays(device),
              (QStringList{writeEvent("01 03 00 09 00 02"), writeEvent("01 06 00 09 40 F0"),
                           writeEvent("01 06 00 0A 80 02")}));
}

TEST(RegisterBitWritesFn6, FailuresStopEarly)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.queueReply(rtu("01 83 02"));
    EXPECT_FALSE(driver.writeHRbitWithFN6(&device, 9, 15, hex("03"), 2));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("exception code:0x02"));
    EXPECT_EQ(device.written.size(), 1) << "no write after a failed read";

    device.queueReply(rtu("01 03 04 00 00 00 00"));
    device.queueSilence();
    EXPECT_FALSE(driver.writeHRbitWithFN6(&device, 9, 15, hex("03"), 2));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
    EXPECT_EQ(device.written.size(), 3) << "the second register is never sent";
}

} // namespace
