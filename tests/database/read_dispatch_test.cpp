// The runtime's read end to end: gate, routing by data type and prefix (seen
// in the request frames), attempts, reconnects and the final description.

#include "database_fixture.h"

#include "support/frames.h"

namespace {

class ReadDispatchTest : public ProjectTest
{
protected:
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;

    void SetUp() override
    {
        ProjectTest::SetUp();
        QStringList tags;
        for (int n = 1; n <= 8; ++n)
            tags << QStringLiteral("DI%1").arg(n) << QStringLiteral("DO%1").arg(n);
        writeProject(projectOnCom2(tags));
        answerEverything();
    }

    void answerEverything()
    {
        device.setResponder([](const QByteArray &request) { return replyToRead(request); });
    }

    QByteArray read(int dataType, int count, const char *address)
    {
        return driver.read(&device, CommunicatorCommand(dataType, count, QString::fromLatin1(address)));
    }

    int countEvents(const QString &name) const { return device.events.count(name); }
};

} // namespace

TEST_F(ReadDispatchTest, DataTypeAndPrefixChooseTheTransaction)
{
    const struct
    {
        int type;
        int count;
        const char *address;
        int function;
        int start;
        int quantity;
        int resultSize;
    } cases[] = {
        {2, 2, "HR100", 3, 99, 2, 4},      // words, whatever the prefix
        {2, 2, "IR100", 4, 99, 2, 4},
        {2, 1, "DI5", 4, 4, 1, 2},
        {3, 2, "HR100", 3, 99, 4, 8},      // double words
        {3, 1, "fn6hr7", 3, 6, 2, 4},
        {1, 3, "HR100", 3, 99, 2, 3},      // bytes of registers
        {5, 4, "FN6HR100", 3, 99, 2, 4},
        {1, 1, "ir1", 4, 0, 1, 1},
        {0, 10, "HR100.3", 3, 99, 1, 2},   // bits of registers
        {6, 20, "IR100.3", 4, 99, 2, 3},
        {0, 1, "FN6HR100.15", 3, 99, 1, 1},
        {0, 3, "do5", 1, 4, 3, 1},         // bits of coils and inputs
        {6, 9, "FN5DO5", 1, 4, 9, 2},
        {0, 3, "di5", 2, 4, 3, 1},
        {0, 2, "DOX5", 1, 4, 2, 1},        // the first letters decide bit reads
        {1, 1, "DI1", 2, 0, 8, 1},         // sparse bytes over configured runs
        {5, 1, "DO1", 1, 0, 8, 1},
        {1, 1, "FN5DO1", 1, 0, 8, 1},
        {1, 1, "XY1", 1, 0, 8, 1},         // other prefixes read coils
        {1, 1, "HRX1", 1, 0, 8, 1},        // byte reads compare whole prefixes
    };
    for (const auto &c : cases) {
        device.written.clear();
        const QByteArray result = read(c.type, c.count, c.address);
        EXPECT_FALSE(driver.hasError()) << c.address << ": " << driver.getLastError().toStdString();
        EXPECT_EQ(result.size(), c.resultSize) << c.address;
        ASSERT_EQ(device.written.size(), 1) << c.address;
        const ReadRequest r = parseReadRequest(device.written.first());
        EXPECT_EQ(r.function, c.function) << c.address;
        EXPECT_EQ(r.address, c.start) << c.address;
        EXPECT_EQ(r.quantity, c.quantity) << c.address;
    }
}

TEST_F(ReadDispatchTest, SwapFlagComesFromSWAnywhereInTheAddress)
{
    const struct
    {
        const char *address;
        const char *expected;
    } cases[] = {
        {"HR100", "02 01 04 03"},
        {"HR100SW", "04 03 02 01"},
        {"hr100sw", "04 03 02 01"},
        {"HR100.Sw", "04 03 02 01"},
    };
    device.setResponder(nullptr);
    for (const auto &c : cases) {
        device.queueReply(rtu("01 03 04 01 02 03 04"));
        EXPECT_EQ(toHex(read(3, 1, c.address)), QString::fromLatin1(c.expected)) << c.address;
    }
}

TEST_F(ReadDispatchTest, FailingTransactionIsRetriedThenDescribedOnce)
{
    device.setResponder(nullptr);
    const struct
    {
        int retries;
        int attempts;
    } cases[] = {{3, 4}, {1, 2}, {0, 1}, {-2, 1}};
    for (const auto &c : cases) {
        device.events.clear();
        device.written.clear();
        device.setOpenState(true);
        device.setRetryCount(c.retries);
        EXPECT_TRUE(read(2, 2, "HR100").isEmpty());
        EXPECT_EQ(device.written.size(), c.attempts) << c.retries;
        EXPECT_EQ(countEvents(QStringLiteral("delay")), c.attempts) << c.retries;
        EXPECT_EQ(countEvents(QStringLiteral("open")), c.attempts - 1) << "each failure closed the link";
        EXPECT_TRUE(driver.hasError());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response (read 2 word(s) from 1-HR100)"));
    }
}

TEST_F(ReadDispatchTest, LaterSuccessReturnsItsDataWithoutDescription)
{
    device.setRetryCount(2);
    device.setResponder(nullptr);
    device.queueReply(QList<QByteArray>{hex("01 03 04 00")}); // a short first read
    device.queueReply(rtu("01 03 04 12 34 56 78"));
    EXPECT_EQ(toHex(read(2, 2, "HR1")), QStringLiteral("34 12 78 56"));
    EXPECT_FALSE(driver.hasError());
    EXPECT_FALSE(driver.getLastError().contains(QLatin1String("(read")));
    EXPECT_EQ(device.written.size(), 2);
    // The failed attempt closed the link; the next one reopened it before sending.
    const int closed = device.events.indexOf(QStringLiteral("close"));
    const int opened = device.events.indexOf(QStringLiteral("open"));
    ASSERT_GE(closed, 0);
    EXPECT_GT(opened, closed);
    EXPECT_LT(opened, device.events.lastIndexOf(QRegExp(QStringLiteral("write .*"))));
}

TEST_F(ReadDispatchTest, LinkThatCannotBeReopenedEndsTheRequestAtOnce)
{
    device.setErrorString(QStringLiteral("connection refused"));
    device.setRetryCount(3);
    device.setOpenFails(true);

    device.setOpenState(false);
    EXPECT_TRUE(read(2, 1, "HR1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("connection refused"));
    EXPECT_TRUE(device.written.isEmpty());
    EXPECT_EQ(device.openCalls, 1);

    // Open at first, dropped by the first attempt's failure, not reopenable.
    device.setOpenState(true);
    device.setResponder(nullptr);
    EXPECT_TRUE(read(0, 3, "DO1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("connection refused"));
    EXPECT_EQ(device.written.size(), 1);
    EXPECT_EQ(device.openCalls, 2);
}

TEST_F(ReadDispatchTest, UnsupportedDataTypesSendNothing)
{
    device.setRetryCount(3);
    for (int type : {4, 7, 100, -1}) {
        device.events.clear();
        EXPECT_TRUE(read(type, 1, "HR100").isEmpty()) << type;
        EXPECT_EQ(driver.getLastError(), QStringLiteral("unsupported data type: HR100")) << type;
        EXPECT_EQ(countEvents(QStringLiteral("delay")), 1) << type;
    }
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(ReadDispatchTest, BlockAndSecondBitKindGetNoDescription)
{
    device.setResponder(nullptr);
    EXPECT_TRUE(read(5, 2, "HR1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
    EXPECT_TRUE(read(6, 2, "HR1.1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response"));
    EXPECT_TRUE(read(0, 2, "HR1.1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response (read 2 bit(s) from 1-HR1.1)"));
}

TEST_F(ReadDispatchTest, FailedGateEndsRegisterReadsToo)
{
    removeProjectDirectories();
    EXPECT_TRUE(read(2, 1, "HR1").isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("can not open database"));
    EXPECT_TRUE(device.events.isEmpty()) << "no delay, no link check, nothing sent";
}

TEST_F(ReadDispatchTest, OddAddressesAreRefusedOrReadWithoutHarm)
{
    const struct
    {
        int type;
        int count;
        const char *address;
        bool sends;
    } cases[] = {
        {2, 1, "", true},            // number 65535, one register fits
        {2, 2, "HR", false},         // 65535 + 2 registers passes the end
        {2, 1, "HR0", true},
        {2, 200, "HR1", false},
        {2, -1, "HR1", false},
        {3, 0x40000000, "HR1", false},
        {0, 2009, "DI1", false},
        {0, -8, "HR1.200", false},
        {1, 300, "DI1", true},        // only the one configured run is asked for
        {1, 0x7FFFFFFF, "DO1", false},
        {1, 1, "1-DI5", true},        // empty prefix: sparse coils from 0
    };
    for (const auto &c : cases) {
        device.written.clear();
        const QByteArray result = read(c.type, c.count, c.address);
        EXPECT_EQ(!device.written.isEmpty(), c.sends) << c.address << " " << c.count;
        EXPECT_EQ(result.isEmpty(), !c.sends) << c.address << " " << c.count;
        EXPECT_EQ(driver.hasError(), !c.sends) << driver.getLastError().toStdString();
    }
}
