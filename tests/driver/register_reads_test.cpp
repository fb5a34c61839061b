// Register reads (functions 3 and 4): request bytes, conversions, limits,
// every failure of the exchange, and the bounds of the receive buffer.

#include <gtest/gtest.h>

#include <random>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "read_exchange_cases.h"
#include "support/frames.h"
#include "support/scripted_device.h"

namespace {

using Read = std::function<QByteArray(DriverModbusRtuSlaveOverTcp &, ScriptedDevice &)>;

const QByteArray HR("HR");

Read words(const QByteArray &prefix, unsigned short address, int count)
{
    return [=](DriverModbusRtuSlaveOverTcp &d, ScriptedDevice &s) {
        return d.readWords(&s, prefix, address, count);
    };
}
Read dwords(const QByteArray &prefix, unsigned short address, int count, bool highFirst)
{
    return [=](DriverModbusRtuSlaveOverTcp &d, ScriptedDevice &s) {
        return d.readDWords(&s, prefix, address, count, highFirst);
    };
}
Read bytes(const QByteArray &prefix, unsigned short address, int count)
{
    return [=](DriverModbusRtuSlaveOverTcp &d, ScriptedDevice &s) {
        return d.readBytes(&s, prefix, address, count);
    };
}
Read bits(const QByteArray &prefix, unsigned short address, unsigned char bit, int count)
{
    return [=](DriverModbusRtuSlaveOverTcp &d, ScriptedDevice &s) {
        return d.readIRHRbits(&s, prefix, address, bit, count);
    };
}

// ---- A register bank the responder serves ------------------------------------------

unsigned short registerValue(unsigned int address) { return (unsigned short)(address * 7919u + 1u); }

// Answers any function 3 or 4 request from the register bank.
QByteArray registerReply(const QByteArray &request)
{
    const unsigned short start = field(request, 2);
    const unsigned short quantity = field(request, 4);
    QByteArray body = request.left(2);
    body.append(char(2 * quantity));
    for (unsigned int k = 0; k < quantity; ++k) {
        body.append(char(registerValue(start + k) >> 8));
        body.append(char(registerValue(start + k) & 0xFF));
    }
    return withCrc(body);
}

// The bank's registers as the runtime sees them: each value low byte first.
QByteArray hostRegisters(unsigned int start, unsigned int quantity)
{
    QByteArray host;
    for (unsigned int k = 0; k < quantity; ++k) {
        host.append(char(registerValue(start + k) & 0xFF));
        host.append(char(registerValue(start + k) >> 8));
    }
    return host;
}

QByteArray hostDWords(unsigned int start, int count, bool highFirst)
{
    if (!highFirst)
        return hostRegisters(start, 2 * unsigned(count));
    QByteArray host;
    for (int k = 0; k < count; ++k) {
        const quint32 value = quint32(registerValue(start + 2 * k)) << 16 | registerValue(start + 2 * k + 1);
        for (int b = 0; b < 4; ++b)
            host.append(char(value >> (8 * b)));
    }
    return host;
}

QByteArray hostBits(unsigned int start, int offset, int count)
{
    QByteArray host((count + 7) / 8, '\0');
    for (int i = 0; i < count; ++i) {
        const int j = offset + i;
        if (registerValue(start + unsigned(j / 16)) >> (j % 16) & 1)
            host[i / 8] = char(host.at(i / 8) | (1 << (i % 8)));
    }
    return host;
}

// ---- Checks shared by the tests ------------------------------------------------------

void expectRefused(const Read &read, const QString &text)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device(1);
    device.setResponder(registerReply);
    EXPECT_TRUE(read(driver, device).isEmpty());
    EXPECT_TRUE(driver.hasError());
    EXPECT_EQ(driver.getLastError(), text);
    EXPECT_TRUE(device.written.isEmpty()) << "a refused read sends nothing";
    EXPECT_TRUE(device.readSizes.isEmpty());
    EXPECT_EQ(device.closeCalls, 0);
    EXPECT_EQ(device.openCalls, 0);
}

} // namespace

// ---- Successful reads: exact request, two reads, converted data ---------------------

TEST(RegisterReads, RequestsAndConversions)
{
    const struct
    {
        const char *name;
        Read read;
        const char *request; // without CRC
        const char *reply;   // without CRC
        const char *result;
    } rows[] = {
        {"words", words(HR, 99, 2), "01 03 00 63 00 02", "01 03 04 00 0A 00 0B", "0A 00 0B 00"},
        {"input registers", words("IR", 99, 2), "01 04 00 63 00 02", "01 04 04 00 0A 00 0B", "0A 00 0B 00"},
        {"lower-case hr", words("hr", 0, 1), "01 03 00 00 00 01", "01 03 02 12 34", "34 12"},
        {"fn6hr reads holding registers", words("fn6hr", 0, 1), "01 03 00 00 00 01", "01 03 02 12 34", "34 12"},
        {"FN6HR", words("FN6HR", 0, 1), "01 03 00 00 00 01", "01 03 02 12 34", "34 12"},
        {"HR compares two letters", words("HRX", 0, 1), "01 03 00 00 00 01", "01 03 02 12 34", "34 12"},
        {"FN6H is no holding area", words("FN6H", 0, 1), "01 04 00 00 00 01", "01 04 02 12 34", "34 12"},
        {"H is no holding area", words("H", 0, 1), "01 04 00 00 00 01", "01 04 02 12 34", "34 12"},
        {"empty prefix", words("", 0, 1), "01 04 00 00 00 01", "01 04 02 12 34", "34 12"},
        {"other area", words("DI", 0, 1), "01 04 00 00 00 01", "01 04 02 12 34", "34 12"},
        {"wrong byte count accepted", words(HR, 99, 2), "01 03 00 63 00 02", "01 03 09 00 0A 00 0B", "0A 00 0B 00"},
        {"double word, low word first", dwords(HR, 0, 1, false), "01 03 00 00 00 02", "01 03 04 56 78 12 34", "78 56 34 12"},
        {"double word, high word first", dwords(HR, 0, 1, true), "01 03 00 00 00 02", "01 03 04 12 34 56 78", "78 56 34 12"},
        {"two double words, high word first", dwords("IR", 0x1234, 2, true), "01 04 12 34 00 04",
         "01 04 08 12 34 56 78 9A BC DE F0", "78 56 34 12 F0 DE BC 9A"},
        {"bytes, odd count", bytes(HR, 0, 3), "01 03 00 00 00 02", "01 03 04 22 11 00 33", "11 22 33"},
        {"bytes, even count", bytes(HR, 0, 4), "01 03 00 00 00 02", "01 03 04 22 11 44 33", "11 22 33 44"},
        {"one byte", bytes(HR, 5, 1), "01 03 00 05 00 01", "01 03 02 22 11", "11"},
        {"bits across two registers", bits(HR, 0, 15, 2), "01 03 00 00 00 02", "01 03 04 80 00 00 01", "03"},
        {"bits inside one register", bits(HR, 0, 3, 5), "01 03 00 00 00 01", "01 03 02 00 F8", "1F"},
        {"a whole register of bits", bits("IR", 7, 0, 16), "01 04 00 07 00 01", "01 04 02 12 34", "34 12"},
        {"bits above the count cleared", bits(HR, 0, 4, 10), "01 03 00 00 00 01", "01 03 02 FF FF", "FF 03"},
        {"bit index beyond one register", bits(HR, 0, 20, 4), "01 03 00 00 00 02", "01 03 04 FF FF 00 A0", "0A"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        const QByteArray reply = rtu(row.reply);
        device.queueReply(QList<QByteArray>{reply.left(5), reply.mid(5)});

        EXPECT_EQ(toHex(row.read(driver, device)), toHex(hex(row.result)));
        EXPECT_FALSE(driver.hasError()) << driver.getLastError().toStdString();
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(toHex(device.written.first()), toHex(rtu(row.request)));
        EXPECT_EQ(device.readSizes, (QList<int>{5, reply.size() - 5}));
        EXPECT_EQ(device.closeCalls, 0);
    }
}

TEST(RegisterReads, KnownFrameOnTheWire)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device(1);
    device.queueReply(QList<QByteArray>{hex("01 03 04 00 0A"), hex("00 0B 9B F6")});
    EXPECT_EQ(toHex(driver.readWords(&device, HR, 99, 2)), QStringLiteral("0A 00 0B 00"));
    EXPECT_EQ(device.written, QList<QByteArray>{hex("01 03 00 63 00 02 34 15")});
}

TEST(RegisterReads, StationIsTheLowByteOfTheDevicesStationId)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device(0x1F7);
    device.queueReply(rtu("F7 03 02 12 34"));
    EXPECT_EQ(toHex(driver.readWords(&device, HR, 0, 1)), QStringLiteral("34 12"));
    EXPECT_EQ(device.written.first(), rtu("F7 03 00 00 00 01"));
}

TEST(RegisterReads, ReplyDeliveredInAnyChunksThatKeepTheTwoReadsWhole)
{
    const QByteArray reply = rtu("01 03 04 00 0A 00 0B");
    const QList<QList<QByteArray>> deliveries = {
        {reply},
        {reply.left(5), reply.mid(5)},
        {reply + hex("01 02 03")},                 // trailing noise never read
        {reply.left(5), reply.mid(5) + hex("FF")}, // same, in the second chunk
        {reply.left(5), reply.mid(5), hex("01 03")},
    };
    for (const QList<QByteArray> &chunks : deliveries) {
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.queueReply(chunks);
        EXPECT_EQ(toHex(driver.readWords(&device, HR, 99, 2)), QStringLiteral("0A 00 0B 00"));
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(device.readSizes, (QList<int>{5, 4}));
    }
}

TEST(RegisterReads, SuccessClearsNothingButLeavesNoNewError)
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device(1);
    device.setResponder(registerReply);
    EXPECT_EQ(driver.readWords(&device, HR, 10, 3), hostRegisters(10, 3));
    EXPECT_FALSE(driver.hasError());
    EXPECT_TRUE(driver.getLastError().isEmpty());
}

// ---- Limits ---------------------------------------------------------------------------

TEST(RegisterReads, AcceptedAtTheLimits)
{
    const struct
    {
        const char *name;
        Read read;
        unsigned short address;
        unsigned short registers;
        QByteArray result;
    } rows[] = {
        {"125 words", words(HR, 0, 125), 0, 125, hostRegisters(0, 125)},
        {"125 words ending at the last register", words(HR, 65411, 125), 65411, 125, hostRegisters(65411, 125)},
        {"last register", words(HR, 65535, 1), 65535, 1, hostRegisters(65535, 1)},
        {"62 double words", dwords(HR, 0, 62, false), 0, 124, hostDWords(0, 62, false)},
        {"62 double words, high word first", dwords(HR, 1, 62, true), 1, 124, hostDWords(1, 62, true)},
        {"double word in the last two registers", dwords(HR, 65534, 1, true), 65534, 2, hostDWords(65534, 1, true)},
        {"250 bytes", bytes(HR, 0, 250), 0, 125, hostRegisters(0, 125)},
        {"249 bytes", bytes(HR, 0, 249), 0, 125, hostRegisters(0, 125).left(249)},
        {"bytes in the last register", bytes(HR, 65535, 2), 65535, 1, hostRegisters(65535, 1)},
        {"2000 bits", bits(HR, 0, 0, 2000), 0, 125, hostBits(0, 0, 2000)},
        {"1985 bits from bit 15", bits(HR, 3, 15, 1985), 3, 125, hostBits(3, 15, 1985)},
        {"bit 15 of the last register", bits(HR, 65535, 15, 1), 65535, 1, hostBits(65535, 15, 1)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.setResponder(registerReply);
        EXPECT_EQ(row.read(driver, device), row.result);
        EXPECT_FALSE(driver.hasError()) << driver.getLastError().toStdString();
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(field(device.written.first(), 2), row.address);
        EXPECT_EQ(field(device.written.first(), 4), row.registers);
        EXPECT_EQ(device.readSizes, (QList<int>{5, 2 * row.registers}));
    }
}

TEST(RegisterReads, RefusedBeyondTheLimits)
{
    const struct
    {
        const char *name;
        Read read;
        const char *text;
    } rows[] = {
        {"126 words", words(HR, 0, 126), "can't read any word from HR1"},
        {"two words from the last register", words(HR, 65535, 2), "can't read any word from HR65536"},
        {"125 words one past the end", words("IR", 65412, 125), "can't read any word from IR65413"},
        {"negative word count", words(HR, 0, -1), "can't read any word from HR1"},
        {"most negative word count", words(HR, 9, -2147483647 - 1), "can't read any word from HR10"},
        {"huge word count", words("hr", 0, 0x7FFFFFFF), "can't read any word from hr1"},
        {"63 double words", dwords(HR, 0, 63, false), "can't read any double word from HR1"},
        {"double word past the end", dwords(HR, 65535, 1, true), "can't read any double word from HR65536"},
        {"negative double word count", dwords(HR, 0, -1, false), "can't read any double word from HR1"},
        {"double word count doubling past int", dwords(HR, 0, 0x40000000, false), "can't read any double word from HR1"},
        {"251 bytes", bytes(HR, 0, 251), "can't read any byte from HR1"},
        {"three bytes from the last register", bytes(HR, 65535, 3), "can't read any byte from HR65536"},
        {"negative byte count", bytes("IR", 0, -1), "can't read any byte from IR1"},
        {"2001 bits", bits(HR, 0, 0, 2001), "can't read any word from HR1"},
        {"1986 bits from bit 15", bits(HR, 0, 15, 1986), "can't read any word from HR1"},
        {"bits past the last register", bits(HR, 65535, 15, 2), "can't read any word from HR65536"},
        {"negative bit count", bits(HR, 0, 0, -1), "can't read any word from HR1"},
        {"negative bit count from bit 1", bits(HR, 0, 1, -1), "can't read any word from HR1"},
        {"huge bit count", bits(HR, 0, 255, 0x7FFFFFFF), "can't read any word from HR1"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        expectRefused(row.read, QString::fromLatin1(row.text));
    }
}

// ---- Every failure of the exchange ------------------------------------------------------

TEST(RegisterReads, FailuresOfTheExchange)
{
    const struct
    {
        const char *name;
        Read read;
    } transactions[] = {
        {"words", words(HR, 99, 2)},
        {"input register words", words("IR", 0, 3)},
        {"double words", dwords(HR, 0, 2, false)},
        {"double words, high word first", dwords(HR, 0, 2, true)},
        {"bytes", bytes(HR, 4, 5)},
        {"bits", bits(HR, 0, 3, 20)},
    };
    for (const auto &transaction : transactions) {
        // The correct reply to this transaction's request.
        DriverModbusRtuSlaveOverTcp probeDriver;
        ScriptedDevice probe(1);
        probe.setResponder(registerReply);
        ASSERT_FALSE(transaction.read(probeDriver, probe).isEmpty());
        const QByteArray good = registerReply(probe.written.first());

        for (const ReadFailureCase &row : readFailureCases()) {
            SCOPED_TRACE(std::string(transaction.name) + ": " + row.name);
            DriverModbusRtuSlaveOverTcp driver;
            ScriptedDevice device(1);
            row.script(device, good);
            EXPECT_TRUE(transaction.read(driver, device).isEmpty());
            EXPECT_TRUE(driver.hasError());
            EXPECT_EQ(driver.getLastError(), row.text);
            EXPECT_EQ(device.closeCalls, row.closes);
            EXPECT_EQ(device.readSizes.size(), row.reads);
            EXPECT_EQ(device.written, QList<QByteArray>{probe.written.first()});
            EXPECT_EQ(device.openCalls, 0);
        }
    }
}

// ---- The receive buffer is never overrun ----------------------------------------------------

TEST(RegisterReads, DeviceSendingMoreThanAskedIsReadOnlyAsFarAsAsked)
{
    const Read reads[] = {words(HR, 0, 125), dwords(HR, 0, 62, true), bytes(HR, 0, 250),
                          bits(HR, 0, 0, 2000), words(HR, 0, 1)};
    for (const Read &read : reads) {
        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.setResponder([](const QByteArray &request) {
            return registerReply(request) + QByteArray(400, char(0xA5));
        });
        EXPECT_FALSE(read(driver, device).isEmpty());
        EXPECT_EQ(device.readSizes.size(), 2);
        EXPECT_TRUE(readsInsideTheBuffer(device.readSizes, 2 * field(device.written.first(), 4)));
    }
}

TEST(RegisterReads, RandomRepliesNeverReachPastTheBuffer)
{
    std::mt19937 random(99);
    const int counts[] = {-1, 0, 1, 2, 61, 62, 63, 124, 125, 126, 249, 250, 251, 1999, 2000, 2001};
    const unsigned short addresses[] = {0, 1, 100, 65410, 65411, 65534, 65535};
    const QByteArray prefixes[] = {"HR", "IR", "fn6hr", "", "X"};

    for (int i = 0; i < 3000; ++i) {
        const int count = random() % 3 ? counts[random() % 16] : int(random() % 300) - 10;
        const unsigned short address = addresses[random() % 7];
        const QByteArray prefix = prefixes[random() % 5];
        const unsigned char bit = (unsigned char)(random() % 40);
        const Read reads[] = {words(prefix, address, count), dwords(prefix, address, count, false),
                              dwords(prefix, address, count, true), bytes(prefix, address, count),
                              bits(prefix, address, bit, count)};
        const QByteArray area = prefix.toUpper();
        const char function = area.startsWith("HR") || area.startsWith("FN6HR") ? 3 : 4;

        DriverModbusRtuSlaveOverTcp driver;
        ScriptedDevice device(1);
        device.queueReply(randomChunks(random, function));
        const QByteArray result = reads[random() % 5](driver, device);

        const int rest = device.written.isEmpty() ? 0 : 2 * field(device.written.first(), 4);
        ASSERT_TRUE(readsInsideTheBuffer(device.readSizes, rest));
        if (driver.hasError())
            ASSERT_TRUE(result.isEmpty());
    }
}
