// Byte reads of DI and DO that ask the device only for configured addresses:
// one transaction per run, the device's delay between runs, never a partial
// result. The map is filled through the driver's inserts in ascending order,
// which is the order a load leaves it in.

#include "support/database_fixture.h"

namespace {

using Runs = std::vector<std::pair<int, int>>; // first address, length

// A driver with a map of its own and a station-1 device whose every bit is on.
struct SparseRig
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device{1};
    Area area = Area::DI;

    explicit SparseRig(Area area, const Runs &runs) : area(area)
    {
        answerEveryRead(device);
        const auto insert = area == Area::DI ? &DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDI
                                             : &DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDO;
        for (const auto &[first, length] : runs)
            for (int a = first; a < first + length; ++a)
                (driver.*insert)(1, (unsigned short)a);
    }

    QByteArray readBytes(unsigned short start, int count)
    {
        return area == Area::DI ? driver.readBytesFromDI(&device, start, count)
                                : driver.readBytesFromDO(&device, start, count);
    }
};

} // namespace

TEST(SparseReads, EachRunIsOneTransactionWithDelaysOnlyBetweenRuns)
{
    const struct { const char *name; unsigned short start; int bytes; Runs configured; const char *trace; } cases[] = {
        {"250 bytes all configured", 0, 250, {{0, 2000}}, "0+2000"},
        {"251 bytes: the largest run", 1000, 251, {{0, 4000}}, "1000+2008"},
        {"the whole address space", 0, 8192, {{7, 1}}, "7+1"},
        {"runs clipped by the range", 16, 2, {{0, 20}, {22, 3}, {30, 10}}, "16+4 D 22+3 D 30+2"},
        {"five runs", 0, 32, {{1, 1}, {3, 4}, {10, 2}, {20, 5}, {255, 1}}, "1+1 D 3+4 D 10+2 D 20+5 D 255+1"},
        {"wrap: searches resume after the last match", 65534, 1, {{0, 2}, {65534, 2}}, "65534+2"},
        {"nothing configured in the range", 0, 3, {{100, 4}}, ""},
        {"starts just past the run", 104, 10, {{100, 4}}, ""},
        {"no bytes", 0, 0, {{100, 4}}, ""},
        {"negative count", 0, -5, {{100, 4}}, ""},
    };
    for (const auto &c : cases) {
        for (Area area : {Area::DI, Area::DO}) {
            SCOPED_TRACE(c.name);
            SparseRig rig(area, c.configured);
            const QByteArray bytes = rig.readBytes(c.start, c.bytes);
            ASSERT_FALSE(rig.driver.hasError()) << rig.driver.getLastError().toStdString();
            ASSERT_EQ(bytes.size(), std::max(c.bytes, 0));
            EXPECT_EQ(trace(rig.device, true), c.trace);
            // Only requested bits are on, although the device answers all-on.
            int onBits = 0, requestedBits = 0;
            for (char byte : bytes)
                onBits += __builtin_popcount((unsigned char)byte);
            for (const QByteArray &frame : rig.device.written)
                requestedBits += parseReadRequest(frame).quantity;
            EXPECT_EQ(onBits, requestedBits);
        }
    }
}

TEST(SparseReads, RunsCopyTheirBitsToTheirPositions)
{
    SparseRig rig(Area::DI, {{0, 8}, {10, 2}});
    rig.device.setResponder(nullptr);
    rig.device.queueReply(rtu("01 02 01 A5"));
    rig.device.queueReply(rtu("01 02 01 02"));
    EXPECT_EQ(toHex(rig.readBytes(0, 2)), QStringLiteral("A5 08"));
    EXPECT_EQ(trace(rig.device, true), "0+8 D 10+2");
}

TEST(SparseReads, AFailingRunDropsEverythingAndStopsTheScan)
{
    SparseRig rig(Area::DI, {{0, 2}, {5, 1}, {9, 1}});
    rig.device.setResponder(nullptr);
    rig.device.queueReply(rtu("01 02 01 03"));
    rig.device.queueSilence();
    rig.device.queueReply(rtu("01 02 01 01"));
    EXPECT_TRUE(rig.readBytes(0, 2).isEmpty());
    EXPECT_TRUE(rig.driver.hasError());
    EXPECT_EQ(trace(rig.device, true), "0+2 D 5+1 C"); // the silent run closed the link
}

TEST(SparseReads, RefusedBeforeAnyTransaction)
{
    const struct { Area area; int station; int count; const char *error; } cases[] = {
        {Area::DI, 3, 2, "invalid address 3-DI"}, // the station has no entry
        {Area::DO, 3, 0, "invalid address 3-DO"},
        {Area::DI, 1, 252, "can't read 2016 bits from DI1"}, // one run, more than one transaction
        {Area::DO, 1, 8193, "can't read 8193 bytes from DO1"}, // beyond the address space
        {Area::DI, 1, 0x7FFFFFFF, "can't read 2147483647 bytes from DI1"},
    };
    for (const auto &c : cases) {
        SparseRig rig(c.area, {{0, 8 * 252}});
        rig.device.setStation(c.station);
        EXPECT_TRUE(rig.readBytes(0, c.count).isEmpty()) << c.error;
        EXPECT_EQ(rig.driver.getLastError(), c.error);
        EXPECT_TRUE(rig.device.written.isEmpty()) << c.error;
    }
}
