// Byte reads of DI and DO that ask the device only for configured addresses:
// one transaction per run, the device's delay between runs, never a partial
// result. The map is filled through the driver's inserts in ascending order,
// the order a load leaves it in.

#include "support/database_fixture.h"

namespace {

using Driver = DriverModbusRtuSlaveOverTcp;
using Runs = std::vector<std::pair<int, int>>; // first address, length

// A driver with a map of its own and a healthy station-1 device.
struct SparseRig
{
    Driver driver;
    ScriptedDevice device;
    bool inputs;

    SparseRig(bool inputs, const Runs &runs) : inputs(inputs)
    {
        device.responder = healthyStation();
        const auto insert = inputs ? &Driver::validBitAddressesMapInsertDI : &Driver::validBitAddressesMapInsertDO;
        for (const auto &[first, length] : runs)
            for (int a = first; a < first + length; ++a)
                (driver.*insert)(1, (unsigned short)a);
    }
    QByteArray read(unsigned short start, int count)
    {
        return inputs ? driver.readBytesFromDI(&device, start, count) : driver.readBytesFromDO(&device, start, count);
    }
    // Each request as its "address+quantity".
    QString requests() const
    {
        QStringList items;
        for (const QByteArray &frame : device.written)
            items << QString("%1+%2").arg(field(frame, 2)).arg(field(frame, 4));
        return items.join(' ');
    }
};

} // namespace

TEST(SparseReads, EachRunIsOneTransactionWithPausesOnlyBetweenRuns)
{
    const struct { const char *name; unsigned short start; int bytes; Runs configured; const char *requests; }
    cases[] = {
        {"250 bytes all configured", 0, 250, {{0, 2000}}, "0+2000"},
        {"251 bytes: the largest run", 1000, 251, {{0, 4000}}, "1000+2008"},
        {"the whole address space", 0, 8192, {{7, 1}}, "7+1"},
        {"runs clipped by the range", 16, 2, {{0, 20}, {22, 3}, {30, 10}}, "16+4 22+3 30+2"},
        {"five runs", 0, 32, {{1, 1}, {3, 4}, {10, 2}, {20, 5}, {255, 1}}, "1+1 3+4 10+2 20+5 255+1"},
        {"wrap: searches resume after the last match", 65534, 1, {{0, 2}, {65534, 2}}, "65534+2"},
        {"nothing configured", 0, 3, {{100, 4}}, ""}, {"starts just past the run", 104, 10, {{100, 4}}, ""},
        {"no bytes", 0, 0, {{100, 4}}, ""},           {"negative count", 0, -5, {{100, 4}}, ""},
    };
    for (const auto &c : cases) {
        for (bool inputs : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.name << (inputs ? " DI" : " DO"));
            SparseRig rig(inputs, c.configured);
            const QByteArray bytes = rig.read(c.start, c.bytes);
            ASSERT_FALSE(rig.driver.hasError()) << qPrintable(rig.driver.getLastError());
            ASSERT_EQ(bytes.size(), std::max(c.bytes, 0));
            EXPECT_EQ(rig.requests(), c.requests);
            EXPECT_EQ(rig.device.events.count("D"), std::max(0, rig.device.written.size() - 1));
            // Each bit asked for lands at its place, and only those are on.
            QByteArray expected(bytes.size(), '\0');
            for (const QByteArray &frame : rig.device.written) {
                EXPECT_EQ(frame.at(1), inputs ? 2 : 1);
                for (int i = 0, p = (field(frame, 2) - c.start) & 0xFFFF; i < field(frame, 4); ++i, ++p)
                    expected[p / 8] = char(expected.at(p / 8) | (1 << (p % 8)));
            }
            EXPECT_EQ(bytes, expected);
        }
    }
}

TEST(SparseReads, RunsCopyTheirBitsToTheirPositionsAndAFailingRunDropsEverything)
{
    SparseRig rig(true, {{0, 8}, {10, 2}, {20, 1}, {30, 1}}), failing(true, {{0, 8}, {10, 2}, {20, 1}, {30, 1}});
    rig.device.queue({rtu("01 02 01 A5")});
    rig.device.queue({rtu("01 02 01 02")});
    EXPECT_EQ(rig.read(0, 2), hex("A5 08"));
    EXPECT_EQ(rig.device.events.join(' '), "W D W");
    failing.device.queue({rtu("01 02 01 03")});
    failing.device.queue({});
    EXPECT_TRUE(failing.read(10, 3).isEmpty());
    EXPECT_EQ(failing.driver.getLastError(), "PLC no response");
    EXPECT_EQ(failing.requests(), "10+2 20+1");
    EXPECT_EQ(failing.device.events.join(' '), "W D W C"); // the silent run closed the link; the scan stops
}

TEST(SparseReads, RefusedBeforeAnyTransaction)
{
    const struct { bool inputs; int station, count; const char *error; } cases[] = {
        {true, 3, 2, "invalid address 3-DI"}, // the station has no entry
        {false, 3, 0, "invalid address 3-DO"},
        {true, 1, 252, "can't read 2016 bits from DI1"}, // one run, more than one transaction can carry
        {false, 1, 8193, "can't read 8193 bytes from DO1"}, // beyond the address space
        {true, 1, 0x7FFFFFFF, "can't read 2147483647 bytes from DI1"},
    };
    for (const auto &c : cases) {
        SparseRig rig(c.inputs, {{0, 8 * 252}});
        rig.device.station = c.station;
        EXPECT_TRUE(rig.read(0, c.count).isEmpty()) << c.error;
        EXPECT_EQ(rig.driver.getLastError(), c.error);
        EXPECT_TRUE(rig.device.written.isEmpty()) << c.error;
    }
}
