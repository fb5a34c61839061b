// Where the project database is found, device strings to HMI ports, and the
// link and default station lookups on real database files.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>

#include "support/project_files.h"
#include "support/qt_printers.h"
#include "tools/tools.h"

namespace {

QString appDir() { return QCoreApplication::applicationDirPath(); }

class ProjectDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override { removeProjectDirectories(); }
    void TearDown() override { removeProjectDirectories(); }
};

// A connection of the test's own to a project database, removed afterwards.
class LookupTest : public ProjectDirectoryTest
{
protected:
    const QString connection = QStringLiteral("lookup-test");

    void useProject(const ProjectRows &rows)
    {
        ASSERT_TRUE(writeProjectDatabase(projectDatabasePath(), rows));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(projectDatabasePath());
    }
    void TearDown() override
    {
        QSqlDatabase::removeDatabase(connection);
        ProjectDirectoryTest::TearDown();
    }
};

ProjectRows twoLinks()
{
    ProjectRows rows;
    rows.links = {{7, 1003}, {8, 2000}, {9, 1004}, {10, 1010}};
    rows.nodes = {
        {7, 5, 0, QStringLiteral("10.0.0.1"), 502},  // not the default
        {7, 12, 1, QStringLiteral("10.0.0.2"), 502},
        {8, 3, 1, QStringLiteral("10.0.0.3"), 503},   // a link with two default nodes
        {8, 4, 1, QStringLiteral("10.0.0.4"), 503},
        {9, 6, 0, QStringLiteral("10.0.0.5"), 502},   // link without a default node
        {10, 300, 1, QStringLiteral("10.0.0.6"), 502}, // station id past 8 bits
    };
    return rows;
}

} // namespace

TEST_F(ProjectDirectoryTest, DatabasePathFollowsTheDirectoriesThatExist)
{
    EXPECT_EQ(GetCompilePath(), QDir(appDir()));
    EXPECT_EQ(GetDatabaseName(), appDir() + QStringLiteral("/database"));

    QDir(appDir()).mkdir(QStringLiteral("compile"));
    EXPECT_EQ(GetCompilePath(), QDir(appDir() + QStringLiteral("/compile")));
    EXPECT_EQ(GetDatabaseName(), appDir() + QStringLiteral("/compile/database"));

    EXPECT_EQ(projectDatabasePath(), appDir() + QStringLiteral("/compile/database/database"));
    EXPECT_EQ(GetDatabaseName(), appDir() + QStringLiteral("/compile/database/database"));
}

TEST_F(ProjectDirectoryTest, PlainFilesNamedLikeTheDirectoriesAreNotEntered)
{
    QFile compileFile(appDir() + QStringLiteral("/compile"));
    ASSERT_TRUE(compileFile.open(QIODevice::WriteOnly));
    compileFile.close();
    EXPECT_EQ(GetCompilePath(), QDir(appDir()));
    EXPECT_EQ(GetDatabaseName(), appDir() + QStringLiteral("/database"));
    compileFile.remove();

    QDir(appDir()).mkdir(QStringLiteral("compile"));
    QFile databaseFile(appDir() + QStringLiteral("/compile/database"));
    ASSERT_TRUE(databaseFile.open(QIODevice::WriteOnly));
    databaseFile.close();
    EXPECT_EQ(GetDatabaseName(), appDir() + QStringLiteral("/compile/database"));
}

TEST(DevStrToHmiPort, EthernetAndNumberedPorts)
{
    const struct
    {
        const char *device;
        int port;
    } cases[] = {
        {"ETHERNET", 2000},  {"ethernet1", 2000}, {"Ethernet:10.0.0.1", 2000},
        {"COM1", 1002},      {"COM2", 1003},      {"COM10", 1011},
        {"com0", 1001},      {"PORT007", 1008},   {"COM2147482646", 2147483647},
        {"COM99999999999", 1001}, // beyond 32 bits: the number reads as 0
        {"COM", 1001},       {"", 1001},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DevStrToHmiPort(QString::fromLatin1(c.device)), c.port) << c.device;
}

TEST_F(LookupTest, ByHmiPortGivesTheLinkAndItsDefaultStation)
{
    useProject(twoLinks());
    const struct
    {
        int hmiPort;
        bool found;
        int linkId;
        int station;
    } cases[] = {
        {1003, true, 7, 12},
        {1010, true, 10, 44},  // 300 keeps its low 8 bits
        {1004, false, -1, 99}, // no default node
        {1005, false, -1, 99}, // no link
    };
    for (const auto &c : cases) {
        int linkId = -1;
        unsigned char station = 99;
        EXPECT_EQ(GetLinkIdAndDefaultStationId(connection, c.hmiPort, linkId, station), c.found)
            << c.hmiPort;
        EXPECT_EQ(linkId, c.linkId) << c.hmiPort;
        EXPECT_EQ(station, c.station) << c.hmiPort;
    }
}

TEST_F(LookupTest, ByLinkIdAppendsEveryDefaultNode)
{
    useProject(twoLinks());
    QList<LinkIdStationId> list;
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 8, list));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].linkId, 8);
    EXPECT_EQ(list[1].linkId, 8);
    EXPECT_EQ(QSet<int>({list[0].stationId, list[1].stationId}), QSet<int>({3, 4}));

    QList<LinkIdStationId> none;
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 9, none));
    EXPECT_TRUE(none.isEmpty());
    // A list that already holds records counts as found.
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 9, list));
    EXPECT_EQ(list.size(), 2);
}

TEST_F(LookupTest, ByHmiPortAndNodeAddressMatchesIpAndPort)
{
    useProject(twoLinks());
    QList<LinkIdStationId> list;
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(connection, 2000, QStringLiteral("10.0.0.4"), 503, list));
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].linkId, 8);
    EXPECT_EQ(list[0].stationId, 4);

    QList<LinkIdStationId> none;
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 2000, QStringLiteral("10.0.0.4"), 502, none));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, QStringLiteral("10.0.0.1"), 502, none));
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(LookupTest, DatabaseWithoutTheTablesFindsNothing)
{
    ASSERT_TRUE(writeDatabaseWithoutTables(projectDatabasePath()));
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection).setDatabaseName(projectDatabasePath());
    int linkId = -1;
    unsigned char station = 99;
    QList<LinkIdStationId> list;
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, linkId, station));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 7, list));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(connection, 1003, QStringLiteral("10.0.0.2"), 502, list));
    EXPECT_EQ(linkId, -1);
    EXPECT_EQ(station, 99);
}
