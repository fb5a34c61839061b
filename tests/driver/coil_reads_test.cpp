// Coil and discrete-input reads (functions 1 and 2): request bytes, the bit
// array handed back, limits, every failure of the exchange, and the bounds of
// the receive buffer.

#include <gtest/gtest.h>

#include <random>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "read_exchange_cases.h"
#include "support/frames.h"
#include "support/scripted_device.h"

namespace {

// A coil and input bank: input a is on when a is a multiple of 3 or 7.
bool bitValue(unsigned int address) { return address % 3 == 0 || address % 7 == 0; }

// The bank's bits start..start+count-1, packed least significant bit first.
QByteArray packedBits(unsigned int start, unsigned int count)
{
    QByteArray packed(int((count + 7) / 8), '\0');
    for (unsigned int i = 0; i < count; ++i) {
        if (bitValue(start + i))
            packed[int(i / 8)] = char(packed.at(int(i / 8)) | (1 << (i % 8)));
    }
    return packed;
}

// Answers any function 1 or 2 request from the bank; `fill` sets the unused
// bits of the last data byte, which the driver must clear.
QByteArray bitReply(const QByteArray &request, bool fill = true)
{
    const unsigned short quantity = field(request, 4);
    QByteArray data = packedBits(field(request, 2), quantity);
    if (fill && quantity % 8)
        data[data.size() - 1] = char(data.at(data.size() - 1) | (0xFF << (quantity % 8)));
    QByteArray body = request.left(2);
    body.append(char(data.size()));
    return withCrc(body + data);
}

// The read request for station 1, built here byte by byte.
QByteArray readRequest(char function, unsigned short address, unsigned short quantity)
{
    QByteArray body;
    body.append(char(1));
    body.append(function);
    body.append(char(address >> 8));
    body.append(char(address & 0xFF));
    body.append(char(quantity >> 8));
    body.append(char(quantity & 0xFF));
    return withCrc(body);
}

QByteArray readDIDOs(ScriptedDevice &device, DriverModbusRtuSlaveOverTcp &driver,
                     const QByteArray &prefix, unsigned short address, int count)
{
    return driver.readDIDOs(&device, prefix, address, count);
}

} // namespace

TEST(CoilReads, RequestsAndBitArrays)
{
    const struct
    {
        const char *name;
        const char *prefix;
        unsigned short address;
        int count;
        const char *request; // with CRC, as on the wire
        QList<QByteArray> reply;
        const char *result;
    } rows[] = {
        {"discrete inputs", "DI", 0, 10, "01 02 00 00 00 0A F8 0D",
         {hex("01 02 02 FF FF"), hex("B8 08")}, "FF 03"},
        {"coils", "DO", 9, 3, "01 01 00 09 00 03 AC 09", {hex("01 01 01 05 91 8B")}, "05"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.queueReply(row.reply);
        EXPECT_EQ(toHex(readDIDOs(device, driver, row.prefix, row.address, row.count)),
                  QString::fromLatin1(row.result));
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(device.written, QList<QByteArray>{hex(row.request)});
        EXPECT_EQ(device.readSizes, (QList<int>{5, (row.count + 7) / 8}));
    }
}

TEST(CoilReads, FunctionCodeByArea)
{
    const struct
    {
        const char *prefix;
        char function;
    } rows[] = {{"DO", 1}, {"do", 1}, {"FN5DO", 1}, {"fn5do", 1}, {"Fn5Do", 1}, {"DOX", 1},
                {"DI", 2}, {"di", 2}, {"D", 2},     {"FN5D", 2},  {"", 2},      {"HR", 2}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.prefix);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.setResponder([](const QByteArray &request) { return bitReply(request); });
        EXPECT_EQ(readDIDOs(device, driver, row.prefix, 40, 12), packedBits(40, 12));
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(device.written.first().at(1), row.function);
    }
}

TEST(CoilReads, BitsAboveTheCountAreCleared)
{
    for (int count = 1; count <= 24; ++count) {
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.setResponder([](const QByteArray &request) { return bitReply(request, true); });
        const QByteArray result = readDIDOs(device, driver, "DI", 0, count);
        EXPECT_EQ(result, packedBits(0, unsigned(count))) << count;
        EXPECT_EQ(device.readSizes, (QList<int>{5, (count + 7) / 8})) << count;
    }
}

TEST(CoilReads, ReplyDeliveredInChunksThatKeepTheTwoReadsWhole)
{
    const QByteArray reply = rtu("01 02 02 FF FF");
    const QList<QList<QByteArray>> deliveries = {
        {reply},
        {reply.left(5), reply.mid(5)},
        {reply + QByteArray(300, '\x01')},
        {reply.left(5), reply.mid(5), hex("01 02")},
    };
    for (const QList<QByteArray> &chunks : deliveries) {
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.queueReply(chunks);
        EXPECT_EQ(toHex(readDIDOs(device, driver, "DI", 0, 10)), QStringLiteral("FF 03"));
        EXPECT_EQ(device.readSizes, (QList<int>{5, 2}));
    }
}

TEST(CoilReads, AcceptedAtTheLimits)
{
    const struct
    {
        const char *name;
        unsigned short address;
        int count;
    } rows[] = {
        {"eight bits, one data byte", 0, 8},
        {"2008 bits, 251 data bytes", 0, 2008},
        {"2008 bits ending at the last input", 65536 - 2008, 2008},
        {"last input", 65535, 1},
        {"last eight inputs", 65528, 8},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        // The device sends more than the reply; only the reply is read.
        device.setResponder([](const QByteArray &request) {
            return bitReply(request) + QByteArray(400, char(0xA5));
        });
        EXPECT_EQ(readDIDOs(device, driver, "DI", row.address, row.count),
                  packedBits(row.address, unsigned(row.count)));
        EXPECT_FALSE(driver.hasError()) << driver.getLastError().toStdString();
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(device.written.first(), readRequest(2, row.address, (unsigned short)row.count));
        EXPECT_EQ(device.readSizes, (QList<int>{5, (row.count + 7) / 8}));
        EXPECT_TRUE(readsInsideTheBuffer(device.readSizes, (row.count + 7) / 8));
    }
}

TEST(CoilReads, RefusedBeyondTheLimits)
{
    const struct
    {
        const char *prefix;
        unsigned short address;
        int count;
        const char *text;
    } rows[] = {
        {"DI", 0, 2009, "can't read 2009 bits from DI1"},
        {"DO", 65535, 2, "can't read 2 bits from DO65536"},
        {"di", 65536 - 2007, 2008, "can't read 2008 bits from di63530"},
        {"FN5DO", 0, -1, "can't read -1 bits from FN5DO1"},
        {"DI", 4, -2147483647 - 1, "can't read -2147483648 bits from DI5"},
        {"DI", 0, 0x7FFFFFFF, "can't read 2147483647 bits from DI1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.setResponder([](const QByteArray &request) { return bitReply(request); });
        EXPECT_TRUE(readDIDOs(device, driver, row.prefix, row.address, row.count).isEmpty());
        EXPECT_TRUE(driver.hasError());
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
        EXPECT_TRUE(device.written.isEmpty()) << "a refused read sends nothing";
        EXPECT_TRUE(device.readSizes.isEmpty());
        EXPECT_EQ(device.closeCalls, 0);
        EXPECT_EQ(device.openCalls, 0);
    }
}

TEST(CoilReads, FailuresOfTheExchange)
{
    const struct
    {
        const char *prefix;
        unsigned short address;
        int count;
        char function;
    } transactions[] = {{"DI", 0, 10, 2}, {"DO", 9, 12, 1}, {"FN5DO", 100, 17, 1}};
    for (const auto &transaction : transactions) {
        const QByteArray request = readRequest(transaction.function, transaction.address,
                                               (unsigned short)transaction.count);
        const QByteArray good = bitReply(request);
        for (const ReadFailureCase &row : readFailureCases()) {
            SCOPED_TRACE(std::string(transaction.prefix) + ": " + row.name);
            DriverModbusRtuSlaveOverTcp driver;
            ScriptedDevice device(1);
            row.script(device, good);
            EXPECT_TRUE(readDIDOs(device, driver, transaction.prefix, transaction.address,
                                  transaction.count)
                            .isEmpty());
            EXPECT_TRUE(driver.hasError());
            EXPECT_EQ(driver.getLastError(), row.text);
            EXPECT_EQ(device.closeCalls, row.closes);
            EXPECT_EQ(device.readSizes.size(), row.reads);
            EXPECT_EQ(device.written, QList<QByteArray>{request});
            EXPECT_EQ(device.openCalls, 0);
        }
    }
}

TEST(CoilReads, RandomRepliesNeverReachPastTheBuffer)
{
    std::mt19937 random(4242);
    const int counts[] = {-1, 0, 1, 7, 8, 9, 2000, 2007, 2008, 2009};
    const unsigned short addresses[] = {0, 1, 63528, 63529, 65534, 65535};
    const QByteArray prefixes[] = {"DI", "DO", "fn5do", ""};

    for (int i = 0; i < 3000; ++i) {
        const int count = random() % 3 ? counts[random() % 10] : int(random() % 2100) - 10;
        const unsigned short address = addresses[random() % 6];
        const QByteArray prefix = prefixes[random() % 4];
        const QByteArray area = prefix.toUpper();
        const char function = area.startsWith("DO") || area.startsWith("FN5DO") ? 1 : 2;

        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.queueReply(randomChunks(random, function));
        const QByteArray result = readDIDOs(device, driver, prefix, address, count);

        const int rest = device.written.isEmpty() ? 0 : (field(device.written.first(), 4) + 7) / 8;
        ASSERT_TRUE(readsInsideTheBuffer(device.readSizes, rest));
        if (driver.hasError())
            ASSERT_TRUE(result.isEmpty());
        else
            ASSERT_EQ(result.size(), (count + 7) / 8);
    }
}
