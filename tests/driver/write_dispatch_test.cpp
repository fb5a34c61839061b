// The write dispatcher: choice of transaction by data type and area prefix,
// data fitted to the command, retries and the final description.

#include "support/database_fixture.h"
#include "support/station_replies.h"

namespace {

class WriteDispatch : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        writeProject(projectOnCom2({"DO17"}));
        QVector<unsigned short> image(12, 0);
        image[9] = 0x8000;
        device.setResponder(healthyStation(image));
    }

    bool write(int type, int count, const char *address, const char *data)
    {
        return driver.write(&device, CommunicatorCommand(type, count, QLatin1String(address)), hex(data));
    }
};

} // namespace

TEST_F(WriteDispatch, ChoosesTheTransactionByTypeAndPrefixAndFitsTheData)
{
    // The frames without their CRC.
    const struct { int type; int count; const char *address; const char *data; QStringList frames; } cases[] = {
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
        {2, 3, "HR1", "34 12 78 56", {"01 10 00 00 00 03 06 12 34 56 78 00 00"}}, // fitted to the count
        {2, 3, "HR1", "34 12 78 56 BC 9A F0 DE 11 22", {"01 10 00 00 00 03 06 12 34 56 78 9A BC"}},
        {0, 10, "DO1", "FF 03 77", {"01 0F 00 00 00 0A 02 FF 03"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.address << " " << c.data);
        device.written.clear();
        EXPECT_TRUE(write(c.type, c.count, c.address, c.data)) << qPrintable(error());
        EXPECT_FALSE(driver.hasError());
        QStringList expected;
        for (const QString &frame : c.frames)
            expected.append(toHex(rtu(frame.toLatin1().constData())));
        EXPECT_EQ(hexFrames(device.written), expected);
    }
}

TEST_F(WriteDispatch, PrefixOrTypeWithoutTransaction)
{
    // A prefix without a transaction is a failed attempt, retried; an
    // unsupported data type ends at once.
    const struct { int type; const char *address; const char *trace, *error; } cases[] = {
        {2, "IR5", "D D D", "can't write any word to IR5 (write 1 word to 1-IR5)"},
        {0, "DI3", "D D D", "can't write any bit to DI3"}, {6, "IR3.1", "D D D", "can't write any bit to IR3.1"},
        {3, "IR5SW", "D D D", "can't write any double word to IR5SW"}, {2, "H5", "D D D", "can't write any word to H5"},
        {1, "DO1", "D D D", "can't write any byte to DO1"}, {5, "FN5DO1", "D D D", "can't write any byte to FN5DO1"},
        {4, "HR1", "D", "unsupported data type: HR1"}, {7, "HR1", "D", "unsupported data type: HR1"},
        {-1, "HR1", "D", "unsupported data type: HR1"},
    };
    device.setRetryCount(2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        device.events.clear();
        EXPECT_FALSE(write(c.type, 1, c.address, "01 00 00 00 00 00 00 00"));
        EXPECT_TRUE(error().startsWith(c.error)) << qPrintable(error());
        EXPECT_EQ(trace(device), c.trace);
    }
}

TEST_F(WriteDispatch, RetriesUntilTheTransactionSucceedsOrDescribesTheLastFailure)
{
    device.setRetryCount(2);
    device.queueSilence();
    EXPECT_TRUE(write(2, 1, "HR5", "34 12"));
    EXPECT_FALSE(driver.hasError());
    ASSERT_EQ(trace(device), "D W C D O W");
    EXPECT_EQ(device.written[0], device.written[1]);

    device.setResponder(nullptr);
    device.events.clear();
    EXPECT_FALSE(write(2, 1, "HR5", "34 12"));
    EXPECT_EQ(trace(device), "D W C D O W C D O W C");
    EXPECT_EQ(error(), "PLC no response (write 1 word to 1-HR5)");
}
