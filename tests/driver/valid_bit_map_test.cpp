// The valid bit address map built from the tag table: which rows count, for
// which station and area, and at which zero-based address.

#include "support/database_fixture.h"

namespace {

using MapLoadTest = ProjectTest;

struct Expected { int station; Area area; unsigned short start; QSet<int> addresses; };

struct Case
{
    qint64 defaultStation;
    QStringList tags;
    QList<Expected> expected;
    QList<int> stationsWithoutEntry;
};

} // namespace

TEST_F(MapLoadTest, ClassifiesEveryRow)
{
    const Case cases[] = {
        {1,
         {"DI1", "DI1", "di3", "2-DI7", "2-do1", "FN5DO4", "HR10", "1-HR5", "3-HR5", "IR7", "FN6HR3"},
         {{1, Area::DI, 0, {0, 2}}, {1, Area::DO, 0, {3}}, {2, Area::DI, 0, {6}}, {2, Area::DO, 0, {0}}},
         {3}},
        // A prefix naming the default station joins its entry; the sets are sorted.
        {4,
         {"DI9", "4-DI2", "4-DO3", "DO4", "4-di9", "DI1"},
         {{4, Area::DI, 0, {0, 1, 8}}, {4, Area::DO, 0, {2, 3}}},
         {}},
        // Odd addresses wrap or fall back to 65535; rows that fit no rule make no entry.
        {5,
         {"DI0", "300-DI1", "1-DI65537", "DO70000", "", "X1", "-DI4", "8-DIX"},
         {
             {5, Area::DI, 65528, {65535}}, // no readable number
             {44, Area::DI, 0, {0}},        // station 300 keeps its low 8 bits
             {1, Area::DI, 0, {0}},         // 65537 wraps to 0
             {5, Area::DO, 4456, {4463}},   // 69999 mod 65536
         },
         {0, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.defaultStation);
        writeProject(projectOnCom2(c.tags, c.defaultStation));
        DriverModbusRtuSlaveOverTcp fresh;
        ASSERT_TRUE(fresh.readDB("COM2")) << fresh.getLastError().toStdString();
        for (const Expected &e : c.expected)
            EXPECT_EQ(configuredAddresses(fresh, e.station, e.area, e.start), e.addresses)
                << "station " << e.station << " from " << e.start;
        for (int station : c.stationsWithoutEntry) {
            EXPECT_TRUE(configuredAddresses(fresh, station, Area::DI, 0).isEmpty());
            EXPECT_EQ(fresh.getLastError(), QStringLiteral("invalid address %1-DI").arg(station));
        }
    }
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
    ASSERT_TRUE(driver.readDB("COM2"));
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DI, 0), QSet<int>{0});
}
