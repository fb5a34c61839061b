// The write dispatcher: database gate, choice of transaction by data type and
// area prefix, data fitted to the command, retries and the final description.

#include "database_fixture.h"
#include "support/frames.h"
#include "support/station_replies.h"

namespace {

class WriteDispatch : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        writeProject(projectOnCom2({QStringLiteral("DO17")}));
        QVector<unsigned short> image(12, 0);
        image[9] = 0x8000;
        device.setResponder(healthyStation(image));
    }

    bool write(int type, int count, const char *address, const char *data)
    {
        return driver.write(&device, CommunicatorCommand(type, count, QLatin1String(address)),
                            hex(data));
    }

    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;
};

struct RouteCase
{
    int type;
    int count;
    const char *address;
    const char *data;
    QStringList frames; // without CRC
};

TEST_F(WriteDispatch, ChoosesTheTransactionByTypeAndPrefix)
{
    const RouteCase cases[] = {
        {3, 1, "HR100", "78 56 34 12", {"01 10 00 63 00 02 04 56 78 12 34"}},
        {3, 1, "HR100SW", "78 56 34 12", {"01 10 00 63 00 02 04 12 34 56 78"}},
        {3, 1, "hr100sw", "78 56 34 12", {"01 10 00 63 00 02 04 12 34 56 78"}},
        {3, 1, "FN6HR1SW", "78 56 34 12", {"01 06 00 00 12 34", "01 06 00 01 56 78"}},
        {2, 1, "HR5", "34 12", {"01 10 00 04 00 01 02 12 34"}},
        {2, 1, "fn6hr5", "34 12", {"01 06 00 04 12 34"}},
        {1, 3, "HRX1", "11 22 33", {"01 10 00 00 00 02 04 22 11 00 33"}},
        {5, 1, "FN6HR1", "AB", {"01 06 00 00 00 AB"}},
        {0, 1, "HR10.4", "01", {"01 03 00 09 00 01", "01 10 00 09 00 01 02 80 10"}},
        {6, 1, "FN6HR10.4", "01", {"01 03 00 09 00 01", "01 06 00 09 80 10"}},
        {0, 1, "FN5DO3", "01", {"01 05 00 02 FF 00"}},
        {0, 1, "do3", "01", {"01 0F 00 02 00 01 01 01"}},
        {6, 10, "DO17", "CD 01", {"01 0F 00 10 00 0A 02 CD 01"}},
    };
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.address);
        device.written.clear();
        device.delayCalls = 0;
        EXPECT_TRUE(write(c.type, c.count, c.address, c.data)) << qPrintable(driver.getLastError());
        EXPECT_FALSE(driver.hasError());
        QStringList expected;
        for (const QString &frame : c.frames)
            expected.append(toHex(rtu(frame.toLatin1().constData())));
        EXPECT_EQ(hexFrames(device.written), expected);
    }
}

TEST_F(WriteDispatch, PrefixWithoutTransactionIsAFailedAttempt)
{
    device.setRetryCount(2);
    EXPECT_FALSE(write(2, 1, "IR5", "34 12"));
    EXPECT_TRUE(driver.hasError());
    EXPECT_EQ(driver.getLastError(),
              QStringLiteral("can't write any word to IR5 (write 1 word to 1-IR5)"));
    EXPECT_EQ(device.delayCalls, 3);
    EXPECT_TRUE(device.written.isEmpty());

    const struct
    {
        int type;
        const char *address;
        const char *text;
    } cases[] = {
        {0, "DI3", "can't write any bit to DI3"},
        {6, "IR3.1", "can't write any bit to IR3.1"},
        {3, "IR5SW", "can't write any double word to IR5SW"},
        {1, "DO1", "can't write any byte to DO1"},
        {5, "FN5DO1", "can't write any byte to FN5DO1"},
        {2, "H5", "can't write any word to H5"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_FALSE(write(c.type, 1, c.address, "01 00 00 00"));
        EXPECT_TRUE(driver.getLastError().startsWith(QLatin1String(c.text)))
            << qPrintable(driver.getLastError());
    }
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(WriteDispatch, UnsupportedDataTypeEndsAtOnce)
{
    device.setRetryCount(3);
    for (int type : {4, 7, -1}) {
        SCOPED_TRACE(type);
        device.events.clear();
        EXPECT_FALSE(write(type, 1, "HR1", "00 00 00 00 00 00 00 00"));
        EXPECT_EQ(driver.getLastError(), QStringLiteral("unsupported data type: HR1"));
        EXPECT_EQ(device.events, QStringList{QStringLiteral("delay")});
    }
}

TEST_F(WriteDispatch, RetriesUntilTheTransactionSucceeds)
{
    device.setRetryCount(3);
    device.queueSilence();
    EXPECT_TRUE(write(2, 1, "HR5", "34 12"));
    EXPECT_FALSE(driver.hasError());
    EXPECT_EQ(device.delayCalls, 2);
    EXPECT_EQ(device.openCalls, 1) << "the silent attempt closed the link";
    ASSERT_EQ(device.written.size(), 2);
    EXPECT_EQ(device.written[0], device.written[1]);
}

TEST_F(WriteDispatch, LastFailureKeepsItsTextAndTheDescription)
{
    device.setRetryCount(2);
    device.setResponder(nullptr);
    EXPECT_FALSE(write(2, 1, "HR5", "34 12"));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response (write 1 word to 1-HR5)"));
    EXPECT_EQ(device.written.size(), 3);
}

TEST_F(WriteDispatch, LinkThatCannotReopenEndsAtOnce)
{
    device.setRetryCount(3);
    device.setOpenState(false);
    device.setOpenFails(true);
    device.setErrorString(QStringLiteral("connection refused"));
    EXPECT_FALSE(write(2, 1, "HR5", "34 12"));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("connection refused"));
    EXPECT_EQ(device.openCalls, 1);
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(WriteDispatch, DataAreFittedToTheCommand)
{
    const struct
    {
        const char *data;
        const char *frame;
    } cases[] = {
        {"34 12 78 56", "01 10 00 00 00 03 06 12 34 56 78 00 00"},
        {"34 12 78 56 BC 9A F0 DE 11 22", "01 10 00 00 00 03 06 12 34 56 78 9A BC"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.data);
        device.written.clear();
        EXPECT_TRUE(write(2, 3, "HR1", c.data));
        EXPECT_EQ(hexFrames(device.written), QStringList{toHex(rtu(c.frame))});
    }
    // Bits: count 10 takes two bytes.
    device.written.clear();
    EXPECT_TRUE(write(0, 10, "DO1", "FF 03 77"));
    EXPECT_EQ(hexFrames(device.written), QStringList{toHex(rtu("01 0F 00 00 00 0A 02 FF 03"))});
}

TEST_F(WriteDispatch, GateFailureEndsBeforeAnyAttempt)
{
    device.setDeviceString(QStringLiteral("COM9"));
    EXPECT_FALSE(write(2, 1, "HR5", "34 12"));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("failed to get default station id"));
    EXPECT_TRUE(device.events.isEmpty());
}

} // namespace
