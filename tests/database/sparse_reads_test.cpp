// Byte reads of DI and DO that ask the device only for configured addresses:
// one transaction per run, the device's delay between runs, never a partial
// result. The map is filled through the driver's inserts in ascending order,
// which is the order a load leaves it in.

#include "database_fixture.h"

#include "support/frames.h"

namespace {

struct Span
{
    int first;
    int length;
};

// A driver with a map of its own and a station-1 device whose every bit is on.
struct SparseRig
{
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device{1};

    SparseRig()
    {
        device.setResponder([](const QByteArray &request) { return replyToRead(request); });
    }

    void configure(Area area, const QList<Span> &spans, unsigned char station = 1)
    {
        for (const Span &span : spans) {
            for (int a = span.first; a < span.first + span.length; ++a) {
                if (area == Area::DI)
                    driver.validBitAddressesMapInsertDI(station, (unsigned short)a);
                else
                    driver.validBitAddressesMapInsertDO(station, (unsigned short)a);
            }
        }
    }

    QByteArray readBytes(Area area, unsigned short start, int count)
    {
        return area == Area::DI ? driver.readBytesFromDI(&device, start, count)
                                : driver.readBytesFromDO(&device, start, count);
    }

    // Address and quantity of every request written, in order.
    QList<Span> requests() const
    {
        QList<Span> spans;
        for (const QByteArray &frame : device.written) {
            const ReadRequest r = parseReadRequest(frame);
            spans.append(Span{r.address, r.quantity});
        }
        return spans;
    }

    QList<int> functions() const
    {
        QList<int> codes;
        for (const QByteArray &frame : device.written)
            codes.append(parseReadRequest(frame).function);
        return codes;
    }

    // The event log reduced to writes ("W") and delays ("D").
    QString writesAndDelays() const
    {
        QString pattern;
        for (const QString &event : device.events) {
            if (event.startsWith(QLatin1String("write")))
                pattern += QLatin1Char('W');
            else if (event == QLatin1String("delay"))
                pattern += QLatin1Char('D');
        }
        return pattern;
    }
};

class SparseReadTest : public ::testing::Test, public SparseRig
{
};

bool operator==(const Span &a, const Span &b) { return a.first == b.first && a.length == b.length; }

void PrintTo(const Span &s, std::ostream *os) { *os << "{" << s.first << ", " << s.length << "}"; }

} // namespace

TEST_F(SparseReadTest, StationWithoutEntryIsRefusedBeforeAnythingElse)
{
    configure(Area::DI, {{0, 8}}, 1);
    configure(Area::DO, {{0, 8}}, 1);
    device.setStation(3);
    for (int count : {2, 0}) {
        EXPECT_TRUE(readBytes(Area::DI, 0, count).isEmpty());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address 3-DI"));
        EXPECT_TRUE(readBytes(Area::DO, 0, count).isEmpty());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address 3-DO"));
    }
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(SparseReadTest, EmptyOrUnconfiguredRangesMakeNoTransaction)
{
    configure(Area::DI, {{100, 4}});
    const struct
    {
        unsigned short start;
        int count;
        QByteArray expected;
    } cases[] = {
        {0, 0, QByteArray()},
        {0, -5, QByteArray()},
        {0, 3, QByteArray(3, '\0')},     // range 0..23 holds no configured address
        {104, 10, QByteArray(10, '\0')}, // starts just past the configured run
    };
    for (const auto &c : cases) {
        EXPECT_EQ(readBytes(Area::DI, c.start, c.count), c.expected) << c.start << "/" << c.count;
        EXPECT_FALSE(driver.hasError());
    }
    EXPECT_TRUE(device.written.isEmpty());
    EXPECT_EQ(device.delayCalls, 0);
}

TEST_F(SparseReadTest, TwoRunsCopyTheirBitsToTheirPositions)
{
    configure(Area::DI, {{0, 8}, {10, 2}});
    device.setResponder(nullptr);
    device.queueReply(rtu("01 02 01 A5"));
    device.queueReply(rtu("01 02 01 02"));
    const QByteArray bytes = readBytes(Area::DI, 0, 2);
    EXPECT_EQ(toHex(bytes), QStringLiteral("A5 08"));
    EXPECT_EQ(toHex(device.written.value(0)), toHex(rtu("01 02 00 00 00 08")));
    EXPECT_EQ(toHex(device.written.value(1)), toHex(rtu("01 02 00 0A 00 02")));
    EXPECT_EQ(writesAndDelays(), QStringLiteral("WDW"));
}

TEST(SparseRuns, EachRunIsOneTransactionWithDelaysOnlyBetweenRuns)
{
    const struct
    {
        const char *name;
        unsigned short start;
        int bytes;
        QList<Span> configured;
        QList<Span> expected;
    } cases[] = {
        {"250 bytes all configured", 0, 250, {{0, 2000}}, {{0, 2000}}},
        {"251 bytes: the largest run", 1000, 251, {{0, 4000}}, {{1000, 2008}}},
        {"one lonely address", 0, 4, {{9, 1}}, {{9, 1}}},
        {"runs clipped by the range", 16, 2, {{0, 20}, {22, 3}, {30, 10}},
         {{16, 4}, {22, 3}, {30, 2}}},
        {"five runs", 0, 32, {{1, 1}, {3, 4}, {10, 2}, {20, 5}, {255, 1}},
         {{1, 1}, {3, 4}, {10, 2}, {20, 5}, {255, 1}}},
        {"wrap: searches resume after the last match", 65534, 1, {{0, 2}, {65534, 2}},
         {{65534, 2}}},
    };
    for (const auto &c : cases) {
        for (Area area : {Area::DI, Area::DO}) {
            SparseRig rig; // fresh per row and area
            rig.configure(area, c.configured);
            const QByteArray bytes = rig.readBytes(area, c.start, c.bytes);
            ASSERT_FALSE(rig.driver.hasError())
                << c.name << ": " << rig.driver.getLastError().toStdString();
            ASSERT_EQ(bytes.size(), c.bytes) << c.name;
            EXPECT_EQ(rig.requests(), c.expected) << c.name;
            const int function = area == Area::DI ? 2 : 1;
            EXPECT_EQ(rig.functions(), QList<int>::fromVector(QVector<int>(c.expected.size(), function)))
                << c.name;
            // Only configured bits are on, although the device answers all-on.
            int onBits = 0, expectedBits = 0;
            for (char byte : bytes)
                onBits += __builtin_popcount((unsigned char)byte);
            for (const Span &span : c.expected)
                expectedBits += span.length;
            EXPECT_EQ(onBits, expectedBits) << c.name;
            EXPECT_EQ(rig.writesAndDelays(),
                      QStringLiteral("WD").repeated(c.expected.size() - 1) + QLatin1Char('W'))
                << c.name;
        }
    }
}

TEST_F(SparseReadTest, AFailingRunDropsEverythingAndStopsTheScan)
{
    configure(Area::DI, {{0, 2}, {5, 1}, {9, 1}});
    device.setResponder(nullptr);
    device.queueReply(rtu("01 02 01 03"));
    device.queueSilence();
    device.queueReply(rtu("01 02 01 01"));
    EXPECT_TRUE(readBytes(Area::DI, 0, 2).isEmpty());
    EXPECT_TRUE(driver.hasError());
    EXPECT_EQ(requests(), (QList<Span>{{0, 2}, {5, 1}}));
    EXPECT_EQ(writesAndDelays(), QStringLiteral("WDW"));
}

TEST_F(SparseReadTest, RunsBeyondOneTransactionAreRefusedNotSplit)
{
    configure(Area::DI, {{0, 8 * 252}});
    EXPECT_TRUE(readBytes(Area::DI, 0, 252).isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("can't read 2016 bits from DI1"));
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(SparseReadTest, RequestsBeyondTheAddressSpaceAreRefused)
{
    configure(Area::DO, {{7, 1}});
    EXPECT_EQ(readBytes(Area::DO, 0, 8192).size(), 8192) << "the whole address space is readable";
    EXPECT_FALSE(driver.hasError());
    for (int count : {8193, 0x7FFFFFFF}) {
        EXPECT_TRUE(readBytes(Area::DO, 0, count).isEmpty());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("can't read %1 bytes from DO1").arg(count));
    }
    EXPECT_EQ(requests(), (QList<Span>{{7, 1}}));
}
