// The runtime's read end to end: routing by data type and prefix (seen in the
// request frames), attempts, reconnects and the final description.

#include "support/database_fixture.h"

namespace {

class ReadDispatchTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        writeProject(projectOnCom2({"DI1", "DI2", "DI3", "DI4", "DI5", "DI6", "DI7", "DI8", "DO1", "DO2",
                                    "DO3", "DO4", "DO5", "DO6", "DO7", "DO8"}));
    }
};

} // namespace

TEST_F(ReadDispatchTest, DataTypeAndPrefixChooseTheTransaction)
{
    // function 0: refused without a transaction.
    const struct { int type; int count; const char *address; int function, start, quantity, resultSize; } cases[] = {
        // words and double words, whatever the prefix
        {2, 2, "HR100", 3, 99, 2, 4}, {2, 2, "IR100", 4, 99, 2, 4}, {2, 1, "DI5", 4, 4, 1, 2},
        {3, 2, "HR100", 3, 99, 4, 8}, {3, 1, "fn6hr7", 3, 6, 2, 4},
        // bytes and bits of registers
        {1, 3, "HR100", 3, 99, 2, 3}, {5, 4, "FN6HR100", 3, 99, 2, 4}, {1, 1, "ir1", 4, 0, 1, 1},
        {0, 10, "HR100.3", 3, 99, 1, 2}, {6, 20, "IR100.3", 4, 99, 2, 3}, {0, 1, "FN6HR100.15", 3, 99, 1, 1},
        // bits of coils and inputs: the first letters decide
        {0, 3, "do5", 1, 4, 3, 1}, {6, 9, "FN5DO5", 1, 4, 9, 2}, {0, 3, "di5", 2, 4, 3, 1},
        {0, 2, "DOX5", 1, 4, 2, 1},
        // sparse bytes over configured runs: byte reads compare whole prefixes, others read coils
        {1, 1, "DI1", 2, 0, 8, 1}, {5, 1, "DO1", 1, 0, 8, 1}, {1, 1, "FN5DO1", 1, 0, 8, 1},
        {1, 1, "XY1", 1, 0, 8, 1}, {1, 1, "HRX1", 1, 0, 8, 1},
        {1, 300, "DI1", 2, 0, 8, 300}, // only the one configured run is asked for
        {1, 1, "1-DI5", 1, 0, 8, 1},   // an empty prefix: sparse coils from 0
        // no number reads as 65535: one register fits, two pass the end
        {2, 1, "", 4, 65535, 1, 2}, {2, 1, "HR0", 3, 65535, 1, 2}, {2, 2, "HR", 0, 0, 0, 0},
        // counts out of range
        {2, 200, "HR1", 0, 0, 0, 0}, {2, -1, "HR1", 0, 0, 0, 0}, {3, 0x40000000, "HR1", 0, 0, 0, 0},
        {0, 2009, "DI1", 0, 0, 0, 0}, {0, -8, "HR1.200", 0, 0, 0, 0}, {1, 0x7FFFFFFF, "DO1", 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.count << " " << c.address);
        device.written.clear();
        EXPECT_EQ(read(c.type, c.count, c.address).size(), c.resultSize);
        EXPECT_EQ(driver.hasError(), c.function == 0) << error().toStdString();
        ASSERT_EQ(device.written.size(), c.function ? 1 : 0);
        if (c.function) {
            const ReadRequest r = parseReadRequest(device.written.first());
            EXPECT_EQ(r.function, c.function);
            EXPECT_EQ(r.address, c.start);
            EXPECT_EQ(r.quantity, c.quantity);
        }
    }
}

TEST_F(ReadDispatchTest, SwapFlagComesFromSWAnywhereInTheAddress)
{
    const std::pair<const char *, const char *> cases[] = {
        {"HR100", "02 01 04 03"}, {"HR100SW", "04 03 02 01"}, {"hr100sw", "04 03 02 01"},
        {"HR100.Sw", "04 03 02 01"},
    };
    device.setResponder(nullptr);
    for (const auto &[address, expected] : cases) {
        device.queueReply(rtu("01 03 04 01 02 03 04"));
        EXPECT_EQ(toHex(read(3, 1, address)), expected) << address;
    }
}

TEST_F(ReadDispatchTest, AttemptsAndTheFinalDescription)
{
    // A failed attempt closes the link; the next one reopens it.
    const char *const described = "PLC no response (read 2 word(s) from 1-HR100)";
    const struct { int type; int count; const char *address; int retries; const char *trace, *error; } cases[] = {
        {2, 2, "HR100", 3, "D W C D O W C D O W C D O W C", described}, {2, 2, "HR100", 1, "D W C D O W C", described},
        {2, 2, "HR100", 0, "D W C", described}, {2, 2, "HR100", -2, "D W C", described},
        {0, 2, "HR1.1", 0, "D W C", "PLC no response (read 2 bit(s) from 1-HR1.1)"},
        {5, 2, "HR1", 0, "D W C", "PLC no response"}, // blocks and the second bit kind get no description
        {6, 2, "HR1.1", 0, "D W C", "PLC no response"},
        {4, 1, "HR100", 3, "D", "unsupported data type: HR100"}, // ends at once
        {7, 1, "HR100", 3, "D", "unsupported data type: HR100"},
        {-1, 1, "HR100", 3, "D", "unsupported data type: HR100"},
    };
    device.setResponder(nullptr);
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.address << " retries " << c.retries);
        device.events.clear();
        device.setOpenState(true);
        device.setRetryCount(c.retries);
        EXPECT_TRUE(read(c.type, c.count, c.address).isEmpty());
        EXPECT_EQ(trace(device), c.trace);
        EXPECT_EQ(error(), c.error);
    }
}

TEST_F(ReadDispatchTest, LaterSuccessAndALinkThatCannotBeReopened)
{
    device.setRetryCount(2);
    device.setResponder(nullptr);
    device.queueReply(QList<QByteArray>{hex("01 03 04 00")}); // a short first read
    device.queueReply(rtu("01 03 04 12 34 56 78"));
    EXPECT_EQ(toHex(read(2, 2, "HR1")), QStringLiteral("34 12 78 56"));
    EXPECT_FALSE(driver.hasError()) << error().toStdString();
    EXPECT_EQ(trace(device), "D W C D O W");

    device.setErrorString("connection refused");
    device.setOpenFails(true);
    for (const char *expected : {"D W C D O", "D O"}) { // open at first, then closed from the start
        device.events.clear();
        EXPECT_TRUE(read(0, 3, "DO1").isEmpty());
        EXPECT_EQ(trace(device), expected);
        EXPECT_EQ(error(), "connection refused");
    }
}
