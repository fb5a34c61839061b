// The runtime's read and write end to end: the transaction chosen by data
// type and area prefix (seen in the requests), the data fitted to the
// command, attempts, reconnects and the description of the request appended
// to the last error.

#include "support/database_fixture.h"

#include <QElapsedTimer>

namespace {

// Configured inputs DI1-8 and coils DO1-8; HR10 holds 0x8000.
class Dispatch : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        writeProject(projectOnCom2({"DI1", "DI2", "DI3", "DI4", "DI5", "DI6", "DI7", "DI8",
                                    "DO1", "DO2", "DO3", "DO4", "DO5", "DO6", "DO7", "DO8"}));
        device.responder = healthyStation(QVector<unsigned short>(9) << 0x8000);
    }
    QByteArray read(int type, int count, const char *address)
    {
        return driver.read(&device, CommunicatorCommand(type, count, QString::fromLatin1(address)));
    }
    bool write(int type, int count, const char *address, const char *data)
    {
        return driver.write(&device, CommunicatorCommand(type, count, QLatin1String(address)), hex(data));
    }
};

} // namespace

TEST_F(Dispatch, ReadChoosesTheTransactionByTypeAndPrefix)
{
    const struct { int type, count; const char *address; int function, start, quantity, resultSize; } cases[] = {
        // words and double words, whatever the prefix; holding registers for prefixes that begin with HR or FN6HR
        {2, 2, "HR100", 3, 99, 2, 4}, {2, 2, "IR100", 4, 99, 2, 4}, {2, 1, "DI5", 4, 4, 1, 2},
        {2, 1, "HRX1", 3, 0, 1, 2}, {2, 1, "FN6H1", 4, 0, 1, 2}, {3, 2, "HR100", 3, 99, 4, 8},
        {3, 1, "fn6hr7", 3, 6, 2, 4}, {2, 1, "", 4, 65535, 1, 2}, {2, 1, "HR0", 3, 65535, 1, 2}, // no number: 65535
        // bytes and bits of registers
        {1, 3, "HR100", 3, 99, 2, 3}, {5, 4, "FN6HR100", 3, 99, 2, 4}, {1, 1, "ir1", 4, 0, 1, 1},
        {0, 10, "HR100.3", 3, 99, 1, 2}, {6, 20, "IR100.3", 4, 99, 2, 3}, {0, 1, "FN6HR100.15", 3, 99, 1, 1},
        {0, 3, "FN5D1", 4, 0, 1, 1},
        // bits of coils and inputs: the first letters decide
        {0, 3, "do5", 1, 4, 3, 1}, {6, 9, "FN5DO5", 1, 4, 9, 2}, {0, 3, "di5", 2, 4, 3, 1}, {0, 2, "DOX5", 1, 4, 2, 1},
        // sparse bytes over the configured runs: byte reads compare whole prefixes, any other reads coils
        {1, 1, "DI1", 2, 0, 8, 1}, {5, 1, "DO1", 1, 0, 8, 1}, {1, 1, "FN5DO1", 1, 0, 8, 1}, {1, 1, "XY1", 1, 0, 8, 1},
        {1, 1, "HRX1", 1, 0, 8, 1}, {1, 300, "DI1", 2, 0, 8, 300}, {1, 1, "1-DI5", 1, 0, 8, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.count << " " << c.address);
        device.written.clear();
        EXPECT_EQ(read(c.type, c.count, c.address).size(), c.resultSize);
        EXPECT_FALSE(driver.hasError()) << qPrintable(driver.getLastError());
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(device.written.first().at(1), c.function);
        EXPECT_EQ(field(device.written.first(), 2), c.start);
        EXPECT_EQ(field(device.written.first(), 4), c.quantity);
    }
    // SW anywhere in the address reads double words high-order word first.
    device.responder = healthyStation({0x0102, 0x0304});
    EXPECT_EQ(read(3, 1, "HR1"), hex("02 01 04 03"));
    EXPECT_EQ(read(3, 1, "hr1.sW"), hex("04 03 02 01"));
}

TEST_F(Dispatch, AttemptsAndTheFinalDescription)
{
    // Reads (no data) and writes; the device never answers. A failed attempt
    // closes the link; the next reopens it.
    const char *const described = "PLC no response (read 2 word(s) from 1-HR100)", *const R = nullptr, *const W = "01";
    const char *const unsupported = "unsupported data type: HR1";
    const struct { int type, count; const char *address, *data; int retries; const char *events, *error; } cases[] = {
        {2, 2, "HR100", R, 3, "D W C D O W C D O W C D O W C", described}, {2, 2, "HR100", R, 0, "D W C", described},
        {2, 2, "HR100", R, -2, "D W C", described},
        {0, 2, "HR1.1", R, 0, "D W C", "PLC no response (read 2 bit(s) from 1-HR1.1)"},
        {1, 2, "HR1", R, 0, "D W C", "PLC no response (read 2 byte(s) from 1-HR1)"},
        {3, 1, "IR1", R, 0, "D W C", "PLC no response (read 1 dword(s) from 1-IR1)"},
        {2, 1, "HR5", W, 1, "D W C D O W C", "PLC no response (write 1 word to 1-HR5)"},
        // blocks and the second bit kind get no description
        {5, 2, "HR1", R, 0, "D W C", "PLC no response"}, {6, 2, "HR1.1", R, 0, "D W C", "PLC no response"},
        // refusals, and write prefixes without a transaction, are failed attempts too
        {2, 200, "HR1", R, 1, "D D", "can't read any word from HR1 (read 200 word(s) from 1-HR1)"},
        {2, 2, "HR%s", R, 0, "D", "can't read any word from HR65536 (read 2 word(s) from 1-HR%s)"},
        {0, -8, "HR1.200", R, 0, "D", "can't read any word from HR1 (read -8 bit(s) from 1-HR1.200)"},
        {0, 2009, "DI1", R, 0, "D", "can't read 2009 bits from DI1 (read 2009 bit(s) from 1-DI1)"},
        {1, 65536, "DO1", R, 0, "D", "can't read 65536 bytes from DO1 (read 65536 byte(s) from 1-DO1)"},
        {2, 1, "IR5", W, 2, "D D D", "can't write any word to IR5 (write 1 word to 1-IR5)"},
        {0, 1, "DI3", W, 0, "D", "can't write any bit to DI3 (write 1 bit to 1-DI3)"},
        {3, 1, "IR5SW", W, 0, "D", "can't write any double word to IR5SW (write 1 dword to 1-IR5SW)"},
        {1, 1, "DO1", W, 0, "D", "can't write any byte to DO1 (write 1 byte to 1-DO1)"},
        {6, 1, "IR3.1", W, 0, "D", "can't write any bit to IR3.1"},
        {5, 1, "FN5DO1", W, 0, "D", "can't write any byte to FN5DO1"},
        // a data type without transaction ends the request at once
        {4, 1, "HR1", R, 3, "D", unsupported}, {7, 1, "HR1", W, 3, "D", unsupported},
        {-1, 1, "HR1", R, 3, "D", unsupported}, {-1, 1, "HR1", W, 3, "D", unsupported},
    };
    device.responder = nullptr;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.address << " retries " << c.retries);
        device.events.clear();
        device.opened = true;
        device.retries = c.retries;
        EXPECT_FALSE(c.data ? write(c.type, c.count, c.address, c.data) : !read(c.type, c.count, c.address).isEmpty());
        EXPECT_EQ(device.events.join(' '), c.events);
        EXPECT_EQ(driver.getLastError(), c.error);
    }
}

TEST_F(Dispatch, LaterSuccessAndALinkThatCannotBeReopened)
{
    device.retries = 2;
    device.delay = 25;
    device.queue({hex("01 03 04 00")}); // a short first read
    device.queue({rtu("01 03 04 12 34 56 78")});
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(read(2, 2, "HR1"), hex("34 12 78 56"));
    EXPECT_GE(timer.elapsed(), 50) << "the device's delay passes before each attempt";
    EXPECT_FALSE(driver.hasError()) << qPrintable(driver.getLastError());
    EXPECT_EQ(device.events.join(' '), "D W C D O W");

    device.queue({});
    EXPECT_TRUE(write(2, 1, "HR5", "34 12"));
    EXPECT_EQ(device.events.join(' '), "D W C D O W D W C D O W");

    device.openFails = true;
    device.queue({});
    for (const char *expected : {"D W C D O", "D O"}) { // open at first, then closed from the start
        device.events.clear();
        EXPECT_TRUE(read(0, 3, "DO1").isEmpty());
        EXPECT_EQ(device.events.join(' '), expected);
        EXPECT_EQ(driver.getLastError(), "link down");
    }
}

TEST_F(Dispatch, WriteChoosesTheTransactionByTypeAndPrefixAndFitsTheData)
{
    const struct { int type, count; const char *address, *data; QList<const char *> frames; } cases[] = {
        {3, 1, "HR100", "78 56 34 12", {"01 10 00 63 00 02 04 56 78 12 34"}},
        {3, 1, "hr100sw", "78 56 34 12", {"01 10 00 63 00 02 04 12 34 56 78"}},
        {3, 1, "FN6HR1SW", "78 56 34 12", {"01 06 00 00 12 34", "01 06 00 01 56 78"}},
        {2, 1, "HR5", "34 12", {"01 10 00 04 00 01 02 12 34"}}, {2, 1, "fn6hr5", "34 12", {"01 06 00 04 12 34"}},
        {1, 3, "HRX1", "11 22 33", {"01 10 00 00 00 02 04 22 11 00 33"}}, {5, 1, "FN6HR1", "AB", {"01 06 00 00 00 AB"}},
        {0, 1, "HR10.4", "01", {"01 03 00 09 00 01", "01 10 00 09 00 01 02 80 10"}},
        {6, 1, "FN6HR10.4", "01", {"01 03 00 09 00 01", "01 06 00 09 80 10"}},
        {0, 1, "FN5DO3", "01", {"01 05 00 02 FF 00"}}, {0, 1, "do3", "01", {"01 0F 00 02 00 01 01 01"}},
        {6, 10, "DO17", "CD 01", {"01 0F 00 10 00 0A 02 CD 01"}},
        // the data fitted to the command's count
        {2, 3, "HR1", "34 12 78 56", {"01 10 00 00 00 03 06 12 34 56 78 00 00"}},
        {2, 3, "HR1", "34 12 78 56 BC 9A F0 DE 11 22", {"01 10 00 00 00 03 06 12 34 56 78 9A BC"}},
        {0, 10, "DO1", "FF 03 77", {"01 0F 00 00 00 0A 02 FF 03"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.address << " " << c.data);
        device.written.clear();
        EXPECT_TRUE(write(c.type, c.count, c.address, c.data)) << qPrintable(driver.getLastError());
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(device.written, rtuFrames(c.frames));
    }
}
