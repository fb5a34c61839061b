// The valid bit address map built from the tag table: which rows count, for
// which station and area, and at which zero-based address.

#include "database_fixture.h"

namespace {

class MapLoadTest : public ProjectTest
{
protected:
    DriverModbusRtuSlaveOverTcp driver;

    void load(const QStringList &tags, qint64 defaultStation = 1)
    {
        writeProject(projectOnCom2(tags, defaultStation));
        ASSERT_TRUE(driver.readDB(QStringLiteral("COM2"))) << driver.getLastError().toStdString();
    }
};

struct Expected
{
    int station;
    Area area;
    unsigned short start;
    QSet<int> addresses;
};

} // namespace

TEST_F(MapLoadTest, ClassifiesEveryKindOfRow)
{
    load({"DI1", "DI1", "di3", "2-DI7", "2-do1", "FN5DO4", "HR10", "1-HR5"});
    const Expected expected[] = {
        {1, Area::DI, 0, {0, 2}},
        {1, Area::DO, 0, {3}},
        {2, Area::DI, 0, {6}},
        {2, Area::DO, 0, {0}},
    };
    for (const Expected &e : expected)
        EXPECT_EQ(configuredAddresses(driver, e.station, e.area, e.start), e.addresses)
            << "station " << e.station;
    EXPECT_FALSE(driver.hasError());
}

TEST_F(MapLoadTest, OddAddressesWrapOrFallBackTo65535)
{
    load({"DI0", "DI", "DI5X", "1-DI5X", "300-DI1", "1-DI65537", "fn5do2", "3-FN5DO2", "DO70000",
          "7-fn5DO65536", "", "X1", "-DI4", "1-", "DI-12", "8-DIX", "9-DO 5"},
         5);
    const Expected expected[] = {
        {5, Area::DI, 65528, {65535}},    // DI0, DI and DI5X: no readable number
        {5, Area::DI, 8, {11}},           // DI-12: the number starts at its first digit
        {1, Area::DI, 0, {0, 4}},         // 1-DI65537 wraps to 0; 1-DI5X reads the 5
        {44, Area::DI, 0, {0}},           // station 300 keeps its low 8 bits
        {5, Area::DO, 0, {1}},            // fn5do2
        {5, Area::DO, 4456, {4463}},      // DO70000 wraps: 69999 mod 65536
        {3, Area::DO, 0, {1}},            // 3-FN5DO2
        {7, Area::DO, 65528, {65535}},    // 7-fn5DO65536
    };
    for (const Expected &e : expected)
        EXPECT_EQ(configuredAddresses(driver, e.station, e.area, e.start), e.addresses)
            << "station " << e.station << " from " << e.start;
    // Rows that fit no rule make no station entry.
    for (int station : {0, 8, 9}) {
        EXPECT_TRUE(configuredAddresses(driver, station, Area::DI, 0).isEmpty());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address %1-DI").arg(station));
    }
}

TEST_F(MapLoadTest, PrefixNamingTheDefaultStationJoinsItsEntry)
{
    load({"DI1", "4-DI2", "4-DO3", "DO4", "4-DI1"}, 4);
    EXPECT_EQ(configuredAddresses(driver, 4, Area::DI, 0), (QSet<int>{0, 1}));
    EXPECT_EQ(configuredAddresses(driver, 4, Area::DO, 0), (QSet<int>{2, 3}));
}

TEST_F(MapLoadTest, RowsOfOtherConnectorsAreNeverRead)
{
    ProjectRows rows = projectOnCom2({"DI1"});
    rows.links.append(LinkRow{2, 1004});
    rows.nodes.append(NodeRow{2, 1, 1, QString(), 0});
    rows.tags.append(TagRow{"DI2", 2});
    rows.tags.append(TagRow{"1-DI3", 3});
    rows.tags.append(TagRow{QString(), 1}); // a NULL address
    writeProject(rows);
    ASSERT_TRUE(driver.readDB(QStringLiteral("COM2")));
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DI, 0), QSet<int>{0});
}

TEST_F(MapLoadTest, TableWithoutBitTagsLoadsAnEmptyMap)
{
    load({"HR1", "IR7", "FN6HR3"});
    ScriptedDevice device;
    EXPECT_TRUE(driver.read(&device, CommunicatorCommand(1, 1, QStringLiteral("DI1"))).isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address 1-DI (read 1 byte(s) from 1-DI1)"));
    EXPECT_TRUE(driver.read(&device, CommunicatorCommand(5, 1, QStringLiteral("DO1"))).isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address 1-DO"));
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(MapLoadTest, LargeShuffledSetsAreSortedAndDeduplicated)
{
    QStringList tags;
    for (int n = 64; n >= 1; --n) {
        tags.append(QStringLiteral("DI%1").arg(n * 2));
        tags.append(QStringLiteral("1-di%1").arg(n * 2)); // the same address again
    }
    load(tags);
    QSet<int> even;
    for (int n = 1; n <= 64; ++n)
        even.insert(n * 2 - 1);
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DI, 0, 16), even);
}
