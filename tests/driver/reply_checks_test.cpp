// The two checks of the first five reply bytes: which text each failure
// leaves and whether the link is closed.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/scripted_device.h"

namespace {

struct MinAduCase
{
    const char *name;
    int station;      // the device's station id
    const char *bytes; // the first read, padded to five bytes with zeros
    int received;     // what readData reported
    bool accepted;
    const char *text; // last error when refused
    int closes;
};

const MinAduCase MinAduCases[] = {
    {"right station", 1, "01 03 04 00 0A", 5, true, "", 0},
    {"station 0 is an ordinary station", 0, "00 03 04 00 0A", 5, true, "", 0},
    {"station 255", 255, "FF 03 04 00 0A", 5, true, "", 0},
    {"nothing", 1, "", 0, false, "PLC no response", 1},
    {"negative count", 1, "", -1, false, "PLC no response", 1},
    {"very negative count", 1, "", -2147483647 - 1, false, "PLC no response", 1},
    {"one byte", 1, "01", 1, false, "received bytes < 5", 1},
    {"four bytes", 1, "01 03 04 00", 4, false, "received bytes < 5", 1},
    {"more than asked", 1, "01 03 04 00 0A", 6, false, "received bytes < 5", 1},
    {"foreign station", 1, "02 03 04 00 0A", 5, false, "invalid slave id:2", 0},
    {"foreign station 255", 1, "FF 03 04 00 0A", 5, false, "invalid slave id:255", 0},
    {"foreign station 0", 1, "00 83 02 C0 F1", 5, false, "invalid slave id:0", 0},
    {"station beyond one byte is compared by its low byte", 0x101, "01 03 04 00 0A", 5, true, "", 0},
};

struct ExceptionCase
{
    const char *name;
    const char *bytes;
    unsigned char function;
    bool accepted;
    const char *text;
};

const ExceptionCase ExceptionCases[] = {
    {"expected function", "01 03 04 00 0A", 3, true, ""},
    {"expected function, rest not looked at", "01 01 FF FF FF", 1, true, ""},
    {"exception with correct CRC", "01 83 02 C0 F1", 3, false, "exception code:0x02"},
    {"exception with damaged CRC", "01 83 02 C0 F2", 3, false, "CRC error"},
    {"other function", "01 04 04 00 0A", 3, false, "invalid response"},
    {"exception of the right function", "01 84 02 C2 C1", 4, false, "exception code:0x02"},
    {"exception of another function", "01 84 02 C2 C1", 3, false, "invalid response"},
    {"function with bit 7 alone", "01 80 02 00 00", 3, false, "invalid response"},
};

} // namespace

TEST(ReplyChecks, CheckMinADUTable)
{
    for (const MinAduCase &row : MinAduCases) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(row.station);
        char reply[5] = {};
        const QByteArray bytes = hex(row.bytes);
        memcpy(reply, bytes.constData(), size_t(qMin(5, bytes.size())));

        EXPECT_EQ(driver.checkMinADU(&device, reply, row.received), row.accepted);
        EXPECT_EQ(driver.hasError(), !row.accepted);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
        EXPECT_EQ(device.closeCalls, row.closes);
        EXPECT_TRUE(device.written.isEmpty());
        EXPECT_TRUE(device.readSizes.isEmpty());
    }
}

TEST(ReplyChecks, CheckExceptionTable)
{
    for (const ExceptionCase &row : ExceptionCases) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        const QByteArray bytes = hex(row.bytes);
        ASSERT_EQ(bytes.size(), 5);
        EXPECT_EQ(driver.checkException(bytes.constData(), row.function), row.accepted);
        EXPECT_EQ(driver.hasError(), !row.accepted);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
    }
}

TEST(ReplyChecks, ExceptionCodesPrintAsTwoUpperCaseHexDigits)
{
    const struct
    {
        unsigned char code;
        const char *text;
    } codes[] = {{0x00, "exception code:0x00"}, {0x01, "exception code:0x01"},
                 {0x0B, "exception code:0x0B"}, {0xAB, "exception code:0xAB"},
                 {0xFF, "exception code:0xFF"}};
    for (const auto &row : codes) {
        DriverModbusRtuSlaveOverTcp driver;
        QByteArray reply = hex("11 82");
        reply.append(char(row.code));
        reply = withCrc(reply);
        EXPECT_FALSE(driver.checkException(reply.constData(), 2));
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
    }
}

TEST(ReplyChecks, ASuccessfulCheckLeavesTheErrorStateAlone)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device(1);
    driver.setCommError(QStringLiteral("earlier"));
    const QByteArray good = hex("01 03 04 00 0A");
    EXPECT_TRUE(driver.checkMinADU(&device, good.constData(), 5));
    EXPECT_TRUE(driver.checkException(good.constData(), 3));
    EXPECT_TRUE(driver.hasError());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("earlier"));
}
