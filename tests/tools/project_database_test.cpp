// Where the project database is found, device strings to HMI ports, and the
// link and default station lookups on real database files.

#include "support/database_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>

#include <tuple>

#include "tools/tools.h"

namespace {

bool createFile(const QString &path) { return QFile(path).open(QIODevice::WriteOnly); }

// A connection of the test's own to a project database, removed afterwards.
class LookupTest : public ProjectTest
{
protected:
    const QString connection = QStringLiteral("lookup-test");

    void open(bool withTables = true)
    {
        ProjectRows rows;
        rows.links = {{7, 1003}, {8, 2000}, {9, 1004}, {10, 1010}};
        // Link 7: one default node of two; 8: two default nodes; 9: none; 10: a station id past 8 bits.
        rows.nodes = {{7, 5, 0, "10.0.0.1", 502}, {7, 12, 1, "10.0.0.2", 502}, {8, 3, 1, "10.0.0.3", 503},
                      {8, 4, 1, "10.0.0.4", 503}, {9, 6, 0, "10.0.0.5", 502}, {10, 300, 1, "10.0.0.6", 502}};
        const QString path = projectDatabasePath();
        ASSERT_TRUE(withTables ? writeProjectDatabase(path, rows) : writeDatabaseWithoutTables(path));
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection).setDatabaseName(path);
    }
    void TearDown() override
    {
        QSqlDatabase::removeDatabase(connection);
        ProjectTest::TearDown();
    }
};

using ProjectPaths = ProjectTest;

} // namespace

TEST_F(ProjectPaths, DatabasePathFollowsTheDirectoriesThatExist)
{
    const QString app = QCoreApplication::applicationDirPath();
    EXPECT_EQ(GetCompilePath(), QDir(app));
    EXPECT_EQ(GetDatabaseName(), app + "/database");
    ASSERT_TRUE(createFile(app + "/compile")); // plain files are not entered
    EXPECT_EQ(GetCompilePath(), QDir(app));
    QFile::remove(app + "/compile");
    QDir(app).mkdir("compile");
    EXPECT_EQ(GetCompilePath(), QDir(app + "/compile"));
    ASSERT_TRUE(createFile(app + "/compile/database"));
    EXPECT_EQ(GetDatabaseName(), app + "/compile/database");
    QFile::remove(app + "/compile/database");
    EXPECT_EQ(projectDatabasePath(), app + "/compile/database/database");
    EXPECT_EQ(GetDatabaseName(), app + "/compile/database/database");
}

TEST(DevStrToHmiPort, EthernetAndNumberedPorts)
{
    const std::pair<const char *, int> cases[] = {
        {"ETHERNET", 2000}, {"ethernet1", 2000}, {"Ethernet:10.0.0.1", 2000}, {"COM1", 1002},
        {"COM10", 1011},    {"com0", 1001},      {"PORT007", 1008},  {"COM2147482646", 2147483647},
        {"COM99999999999", 1001}, // beyond 32 bits: the number reads as 0
        {"COM", 1001},      {"", 1001},
    };
    for (const auto &[device, port] : cases)
        EXPECT_EQ(DevStrToHmiPort(QString::fromLatin1(device)), port) << device;
}

TEST_F(LookupTest, ByHmiPortGivesTheLinkAndItsDefaultStation)
{
    open();
    const struct { int hmiPort; bool found; int linkId; int station; } cases[] = {
        {1003, true, 7, 12}, {1010, true, 10, 44}, // 300 keeps its low 8 bits
        {1004, false, -1, 99},                     // no default node
        {1005, false, -1, 99},                     // no link
    };
    for (const auto &c : cases) {
        int linkId = -1;
        unsigned char station = 99;
        const bool found = GetLinkIdAndDefaultStationId(connection, c.hmiPort, linkId, station);
        EXPECT_EQ(std::make_tuple(found, linkId, int(station)), std::make_tuple(c.found, c.linkId, c.station))
            << c.hmiPort;
    }
}

TEST_F(LookupTest, ListsOfDefaultNodesByLinkOrByPortAndAddress)
{
    open();
    QList<LinkIdStationId> list, none;
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 8, list));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(QSet<int>({list[0].stationId, list[1].stationId}), QSet<int>({3, 4}));
    EXPECT_EQ(QSet<int>({list[0].linkId, list[1].linkId}), QSet<int>({8}));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 9, none));
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 9, list)) << "a list with records counts as found";

    list.clear();
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 2000, "10.0.0.4", 503, list));
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(std::make_pair(list[0].linkId, int(list[0].stationId)), std::make_pair(8, 4));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 2000, "10.0.0.4", 502, none));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, "10.0.0.1", 502, none)); // not default
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(LookupTest, DatabaseWithoutTheTablesFindsNothing)
{
    open(false);
    int linkId = -1;
    unsigned char station = 99;
    QList<LinkIdStationId> list;
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, linkId, station));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 7, list));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, "10.0.0.2", 502, list));
    EXPECT_EQ(linkId, -1);
    EXPECT_EQ(station, 99);
}
