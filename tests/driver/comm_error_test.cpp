// Descriptions of failed requests appended to the last error.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"

TEST(CommError, DescriptionsAppendedToTheLastErrorWithoutTouchingTheFlag)
{
    const bool Read = true, Write = false;
    const struct
    {
        bool read;
        unsigned char station;
        int dataType;
        int count;
        const char *address;
        const char *appended; // nothing when empty
    } rows[] = {
        {Read, 1, 0, 3, "DI5", " (read 3 bit(s) from 1-DI5)"},
        {Read, 1, 1, 4, "HR7", " (read 4 byte(s) from 1-HR7)"},
        {Read, 255, 2, 10, "HR100.3", " (read 10 word(s) from 255-HR100.3)"},
        {Read, 1, 3, 2, "IR1", " (read 2 dword(s) from 1-IR1)"},
        {Write, 12, 0, 1, "FN5DO17", " (write 1 bit to 12-FN5DO17)"},
        {Write, 3, 1, 5, "HR2", " (write 5 byte to 3-HR2)"},
        {Write, 0, 2, -1, "FN6HR7", " (write -1 word to 0-FN6HR7)"},
        {Write, 3, 3, 2, "hr40", " (write 2 dword to 3-hr40)"},
        {Read, 1, 2, -2147483647 - 1, "", " (read -2147483648 word(s) from 1-)"},
        {Read, 1, 2, 1, "a %d %s b", " (read 1 word(s) from 1-a %d %s b)"},
        {Read, 1, 4, 1, "HR1", ""},
        {Read, 1, -1, 1, "HR1", ""},
        {Write, 1, 4, 1, "HR1", ""},
        {Write, 1, -1, 1, "HR1", ""},
    };
    for (const auto &row : rows) {
        DriverModbusRtuSlaveOverTcp driver;
        driver.setCommError(QStringLiteral("packet loss"));
        driver.clearError();
        const CommunicatorCommand command(row.dataType, row.count, QString::fromLatin1(row.address));
        if (row.read)
            driver.appendCmdToReadCommError(row.station, command);
        else
            driver.appendCmdToWriteCommError(row.station, command);
        EXPECT_EQ(driver.getLastError().toStdString(), std::string("packet loss") + row.appended);
        EXPECT_FALSE(driver.hasError());
    }
}
