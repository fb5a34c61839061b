// Descriptions of failed requests appended to the last error.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"

namespace {

enum Direction { Read, Write };

struct DescriptionCase
{
    Direction direction;
    unsigned char station;
    int dataType;
    int count;
    const char *address;
    const char *appended; // nothing when empty
};

const DescriptionCase DescriptionCases[] = {
    {Read, 1, 0, 3, "DI5", " (read 3 bit(s) from 1-DI5)"},
    {Read, 1, 1, 4, "HR7", " (read 4 byte(s) from 1-HR7)"},
    {Read, 1, 2, 10, "HR100", " (read 10 word(s) from 1-HR100)"},
    {Read, 1, 3, 2, "IR1", " (read 2 dword(s) from 1-IR1)"},
    {Write, 12, 0, 1, "FN5DO17", " (write 1 bit to 12-FN5DO17)"},
    {Write, 3, 1, 5, "HR2", " (write 5 byte to 3-HR2)"},
    {Write, 3, 2, 1, "FN6HR7", " (write 1 word to 3-FN6HR7)"},
    {Write, 3, 3, 2, "hr40", " (write 2 dword to 3-hr40)"},
    {Read, 255, 2, 1, "HR100.3", " (read 1 word(s) from 255-HR100.3)"},
    {Read, 0, 2, 0, "HR1", " (read 0 word(s) from 0-HR1)"},
    {Write, 0, 2, -1, "HR1", " (write -1 word to 0-HR1)"},
    {Read, 1, 2, -2147483647 - 1, "HR1", " (read -2147483648 word(s) from 1-HR1)"},
    {Read, 1, 2, 1, "", " (read 1 word(s) from 1-)"},
    {Write, 1, 0, 1, "", " (write 1 bit to 1-)"},
    {Read, 1, 2, 1, "a %d %s b", " (read 1 word(s) from 1-a %d %s b)"},
    {Read, 1, 4, 1, "HR1", ""},
    {Read, 1, 5, 1, "HR1", ""},
    {Read, 1, 6, 1, "HR1", ""},
    {Read, 1, 7, 1, "HR1", ""},
    {Read, 1, -1, 1, "HR1", ""},
    {Write, 1, 4, 1, "HR1", ""},
    {Write, 1, 5, 1, "HR1", ""},
    {Write, 1, 6, 1, "HR1", ""},
    {Write, 1, 100, 1, "HR1", ""},
    {Write, 1, -2147483647 - 1, 1, "HR1", ""},
};

void append(DriverModbusRtuSlaveOverTcp &driver, const DescriptionCase &row)
{
    const CommunicatorCommand command(row.dataType, row.count, QString::fromLatin1(row.address));
    if (row.direction == Read)
        driver.appendCmdToReadCommError(row.station, command);
    else
        driver.appendCmdToWriteCommError(row.station, command);
}

} // namespace

TEST(CommError, DescriptionsAppendedToTheLastError)
{
    for (const DescriptionCase &row : DescriptionCases) {
        SCOPED_TRACE(row.appended);
        DriverModbusRtuSlaveOverTcp driver;
        driver.setCommError(QStringLiteral("packet loss"));
        append(driver, row);
        EXPECT_EQ(driver.getLastError(), QStringLiteral("packet loss") + QString::fromLatin1(row.appended));
        EXPECT_TRUE(driver.hasError());
    }
}

TEST(CommError, TheErrorFlagIsNeverTouched)
{
    for (const DescriptionCase &row : DescriptionCases) {
        DriverModbusRtuSlaveOverTcp driver;
        append(driver, row);
        EXPECT_FALSE(driver.hasError());
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.appended));
    }
}

TEST(CommError, KnownMessages)
{
    DriverModbusRtuSlaveOverTcp driver;
    driver.setCommError(QStringLiteral("packet loss"));
    driver.appendCmdToReadCommError(1, CommunicatorCommand(2, 10, QStringLiteral("HR100")));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("packet loss (read 10 word(s) from 1-HR100)"));

    driver.setCommError(QStringLiteral("PLC no response"));
    driver.appendCmdToWriteCommError(12, CommunicatorCommand(0, 1, QStringLiteral("FN5DO17")));
    EXPECT_EQ(driver.getLastError(), QStringLiteral("PLC no response (write 1 bit to 12-FN5DO17)"));
}

TEST(CommError, RepeatedCallsKeepAppending)
{
    DriverModbusRtuSlaveOverTcp driver;
    driver.setCommError(QStringLiteral("CRC error"));
    const CommunicatorCommand command(1, 2, QStringLiteral("HR3"));
    driver.appendCmdToReadCommError(9, command);
    driver.appendCmdToWriteCommError(9, command);
    EXPECT_EQ(driver.getLastError(),
              QStringLiteral("CRC error (read 2 byte(s) from 9-HR3) (write 2 byte to 9-HR3)"));
}
