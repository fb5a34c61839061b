// Function-16 register writes: request bytes, limits, the write exchange's
// handling of replies, and bit writes by read-modify-write.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

namespace {

enum class Fn16 { Words, DWordsHighFirst, DWordsLowFirst, Bytes };

bool writeFn16(DriverModbusRtuSlaveOverTcp &driver, ScriptedDevice &device, Fn16 kind,
               unsigned short address, const QByteArray &data)
{
    switch (kind) {
    case Fn16::Words: return driver.writeWords(&device, address, data);
    case Fn16::DWordsHighFirst: return driver.writeDWords(&device, address, data, true);
    case Fn16::DWordsLowFirst: return driver.writeDWords(&device, address, data, false);
    case Fn16::Bytes: return driver.writeBytes(&device, address, data);
    }
    return false;
}

struct RequestCase
{
    const char *name;
    Fn16 kind;
    int station;
    unsigned short address;
    const char *data;
    const char *request; // without CRC
};

const RequestCase RequestCases[] = {
    {"one word", Fn16::Words, 1, 99, "34 12", "01 10 00 63 00 01 02 12 34"},
    {"two words", Fn16::Words, 0x11, 0x1234, "01 00 02 00", "11 10 12 34 00 02 04 00 01 00 02"},
    {"dword high first", Fn16::DWordsHighFirst, 1, 0, "78 56 34 12",
     "01 10 00 00 00 02 04 12 34 56 78"},
    {"dword low first", Fn16::DWordsLowFirst, 1, 0, "78 56 34 12",
     "01 10 00 00 00 02 04 56 78 12 34"},
    {"two dwords high first", Fn16::DWordsHighFirst, 2, 7, "01 02 03 04 05 06 07 08",
     "02 10 00 07 00 04 08 04 03 02 01 08 07 06 05"},
    {"two dwords low first", Fn16::DWordsLowFirst, 2, 7, "01 02 03 04 05 06 07 08",
     "02 10 00 07 00 04 08 02 01 04 03 06 05 08 07"},
    {"odd bytes", Fn16::Bytes, 1, 0, "11 22 33", "01 10 00 00 00 02 04 22 11 00 33"},
    {"even bytes", Fn16::Bytes, 1, 65534, "AA BB CC DD", "01 10 FF FE 00 02 04 BB AA DD CC"},
    {"station cut to 8 bits", Fn16::Words, 0x1FF, 0, "01 00", "FF 10 00 00 00 01 02 00 01"},
};

TEST(RegisterWritesFn16, RequestBytes)
{
    for (const RequestCase &c : RequestCases) {
        SCOPED_TRACE(c.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(c.station);
        device.setResponder(healthyStation());
        EXPECT_TRUE(writeFn16(driver, device, c.kind, c.address, hex(c.data)));
        EXPECT_FALSE(driver.hasError());
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(toHex(device.written[0]), toHex(rtu(c.request)));
        EXPECT_EQ(device.readSizes, (QList<int>{5, 3}));
    }
}

struct LimitCase
{
    Fn16 kind;
    unsigned short address;
    int bytes;
    const char *refusal; // nullptr when accepted
};

const LimitCase LimitCases[] = {
    {Fn16::Words, 65413, 246, nullptr},
    {Fn16::Words, 65414, 246, "can't write any word to HR65415"},
    {Fn16::Words, 0, 248, "can't write any word to HR1"},
    {Fn16::Words, 65535, 2, nullptr},
    {Fn16::Words, 65535, 4, "can't write any word to HR65536"},
    {Fn16::DWordsHighFirst, 0, 244, nullptr},
    {Fn16::DWordsLowFirst, 0, 248, "can't write any double word to HR1"},
    {Fn16::DWordsHighFirst, 65534, 4, nullptr},
    {Fn16::DWordsHighFirst, 65535, 4, "can't write any double word to HR65536"},
    {Fn16::Bytes, 0, 246, nullptr},
    {Fn16::Bytes, 0, 247, "can't write any byte to HR1"},
    {Fn16::Bytes, 65535, 1, nullptr},
    {Fn16::Bytes, 65534, 5, "can't write any byte to HR65535"},
};

TEST(RegisterWritesFn16, LimitsAtTheirBoundaries)
{
    for (const LimitCase &c : LimitCases) {
        SCOPED_TRACE(testing::Message() << int(c.kind) << " at " << c.address << ", " << c.bytes);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setResponder(healthyStation());
        const bool ok = writeFn16(driver, device, c.kind, c.address, QByteArray(c.bytes, '\x5A'));
        if (c.refusal) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(c.refusal));
            EXPECT_TRUE(device.events.isEmpty()) << "a refusal touches nothing";
        } else {
            EXPECT_TRUE(ok);
            ASSERT_EQ(device.written.size(), 1);
            EXPECT_EQ(device.written[0].size(), 9 + c.bytes + c.bytes % 2);
        }
    }
}

struct ReplyCase
{
    const char *name;
    QList<QByteArray> reply; // chunks; empty for no answer
    int failingWrite;        // result of writeData, or -1 for a whole write
    const char *error;       // nullptr for success
    bool closed;
    QList<int> reads;
};

TEST(RegisterWritesFn16, WriteExchangeJudgesTheReply)
{
    const ReplyCase cases[] = {
        {"other echoed values", {rtu("01 10 12 34 00 7B")}, -1, nullptr, false, {5, 3}},
        {"exception", {rtu("01 90 02")}, -1, "exception code:0x02", false, {5}},
        {"packet loss", {hex("01 10 00 63 00"), hex("01 F1")}, -1, "packet loss", true, {5, 3}},
        {"bad CRC", {hex("01 10 00 63 00 01 F1 D8")}, -1, "CRC error", false, {5, 3}},
        {"other function", {rtu("01 03 00 63 00 01")}, -1, "invalid response", false, {5}},
        {"foreign station", {rtu("02 10 00 63 00 01")}, -1, "invalid slave id:2", false, {5}},
        {"no answer", {}, -1, "PLC no response", true, {5}},
        {"short write", {}, 4, "link down", true, {}},
    };
    for (const ReplyCase &c : cases) {
        SCOPED_TRACE(c.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setErrorString(QStringLiteral("link down"));
        if (c.failingWrite >= 0)
            device.failWrites(1, c.failingWrite);
        else if (c.reply.isEmpty())
            device.queueSilence();
        else
            device.queueReply(c.reply);
        const bool ok = driver.writeWords(&device, 99, hex("34 12"));
        EXPECT_EQ(ok, c.error == nullptr);
        EXPECT_EQ(driver.hasError(), c.error != nullptr);
        if (c.error)
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(c.error));
        EXPECT_EQ(device.closeCalls, c.closed ? 1 : 0);
        EXPECT_EQ(device.readSizes, c.reads);
    }
}

TEST(RegisterBitWrites, ChangesOnlyTheGivenBitsAcrossRegisters)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    QVector<unsigned short> image(12, 0);
    image[9] = 0x1234;
    image[10] = 0xABCD;
    device.setResponder(healthyStation(image));
    // Bit 15 of HR10 to 1, bit 0 of HR11 to 0.
    EXPECT_TRUE(driver.writeHRbit(&device, 9, 15, hex("01"), 2));
    ASSERT_EQ(device.written.size(), 2);
    EXPECT_EQ(toHex(device.written[0]), toHex(rtu("01 03 00 09 00 02")));
    EXPECT_EQ(toHex(device.written[1]), toHex(rtu("01 10 00 09 00 02 04 92 34 AB CC")));
}

TEST(RegisterBitWrites, BitsBeyondTheGivenArrayAreWrittenAsZero)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.setResponder(healthyStation(QVector<unsigned short>{0xFFFF}));
    EXPECT_TRUE(driver.writeHRbit(&device, 0, 4, hex("FF"), 12));
    ASSERT_EQ(device.written.size(), 2);
    EXPECT_EQ(toHex(device.written[1]), toHex(rtu("01 10 00 00 00 01 02 0F FF")));
}

TEST(RegisterBitWrites, FailedReadWritesNothing)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.queueSilence();
    EXPECT_FALSE(driver.writeHRbit(&device, 9, 3, hex("01"), 1));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
    EXPECT_EQ(device.written.size(), 1);
}

TEST(RegisterBitWrites, ReadableButTooManyRegistersToWrite)
{
    for (int registers : {124, 125}) {
        SCOPED_TRACE(registers);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setResponder(healthyStation());
        const QByteArray bits(2 * registers, '\0');
        EXPECT_FALSE(driver.writeHRbit(&device, 9, 0, bits, 16 * registers));
        EXPECT_EQ(driver.getLastError(), QStringLiteral("can't write any word to HR10"));
        ASSERT_EQ(device.written.size(), 1) << "only the read went out";
        EXPECT_EQ(device.written[0].at(1), char(0x03));
    }
}

TEST(RegisterBitWrites, NegativeCountIsRefusedByTheRead)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
    device.setResponder(healthyStation());
    EXPECT_FALSE(driver.writeHRbit(&device, 9, 3, hex("01"), -1));
    EXPECT_TRUE(driver.hasError());
    EXPECT_TRUE(device.written.isEmpty());
}

// No bits from bit 0 on lie in no register: the read asks for none. A station
// that answers it normally leaves nothing to write, and the write succeeds;
// one that refuses it fails the write with its exception. Either way the
// result agrees with the error flag, which is all the dispatcher looks at.
TEST(RegisterBitWrites, NoBitsAtBitZeroWriteNoRegister)
{
    for (const bool fn6 : {false, true}) {
        SCOPED_TRACE(fn6 ? "function 6" : "function 16");
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device;
        device.setResponder(healthyStation());
        const bool ok = fn6 ? driver.writeHRbitWithFN6(&device, 9, 0, QByteArray(), 0)
                            : driver.writeHRbit(&device, 9, 0, QByteArray(), 0);
        EXPECT_TRUE(ok);
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(hexFrames(device.written), QStringList{toHex(rtu("01 03 00 09 00 00"))});

        DriverModbusRtuSlaveOverTcp refused;
        ScriptedDevice strict;
        strict.queueReply(rtu("01 83 03"));
        EXPECT_FALSE(fn6 ? refused.writeHRbitWithFN6(&strict, 9, 0, QByteArray(), 0)
                         : refused.writeHRbit(&strict, 9, 0, QByteArray(), 0));
        EXPECT_EQ(refused.getLastError(), QStringLiteral("exception code:0x03"));
        EXPECT_EQ(strict.written.size(), 1);
    }
}

} // namespace
