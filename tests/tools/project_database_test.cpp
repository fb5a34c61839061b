// Where the project database is found, device strings to HMI ports, and the
// link and default station lookups on real database files.

#include "tools_test.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSet>

#include "support/project_files.h"

TEST(ProjectDatabase, PathPortsAndDefaultStationLookups)
{
    removeProjectDirectories();
    const QString app = QCoreApplication::applicationDirPath();
    ASSERT_TRUE(QFile(app + "/compile").open(QIODevice::WriteOnly)); // a plain file is not entered
    EXPECT_EQ(std::make_pair(GetCompilePath(), GetDatabaseName()), std::make_pair(QDir(app), app + "/database"));
    QFile::remove(app + "/compile");
    QDir(app).mkdir("compile");
    EXPECT_EQ(std::make_pair(GetCompilePath(), GetDatabaseName()),
              std::make_pair(QDir(app + "/compile"), app + "/compile/database"));
    const QString path = projectDatabasePath(), db = QStringLiteral("lookup-test"); // makes the database directory
    EXPECT_EQ(std::make_pair(path, GetDatabaseName()), std::make_pair(app + "/compile/database/database", path));
    // Ethernet, or 1001 plus the trailing number; a number beyond 32 bits reads as 0.
    const std::pair<const char *, int> ports[] = {
        {"ETHERNET", 2000}, {"ethernet1", 2000}, {"Ethernet:10.0.0.1", 2000}, {"COM1", 1002}, {"COM10", 1011},
        {"com0", 1001}, {"PORT007", 1008}, {"COM2147482646", 2147483647}, {"COM", 1001}, {"", 1001},
        {"COM99999999999", 1001}};
    for (const auto &[device, port] : ports)
        EXPECT_EQ(DevStrToHmiPort(QString::fromLatin1(device)), port) << device;

    // The lookups on a real database file.
    // Link 7: one default node of two; 8: two default nodes; 9: none; 10: a station id past 8 bits.
    ProjectRows rows;
    rows.links = {{7, 1003}, {8, 2000}, {9, 1004}, {10, 1010}};
    rows.nodes = {{7, 5, 0, "10.0.0.1", 502}, {7, 12, 1, "10.0.0.2", 502}, {8, 3, 1, "10.0.0.3", 503},
                  {8, 4, 1, "10.0.0.4", 503}, {9, 6, 0, "10.0.0.5", 502}, {10, 300, 1, "10.0.0.6", 502}};
    ASSERT_TRUE(writeProjectDatabase(path, rows));
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db).setDatabaseName(path);
    const auto byPort = [&](int hmiPort) {
        int linkId = -1;
        unsigned char station = 99;
        const bool found = GetLinkIdAndDefaultStationId(db, hmiPort, linkId, station);
        return std::make_tuple(found, linkId, int(station));
    };
    EXPECT_EQ(byPort(1003), std::make_tuple(true, 7, 12));
    EXPECT_EQ(byPort(1010), std::make_tuple(true, 10, 44)); // 300 keeps its low 8 bits
    EXPECT_EQ(byPort(1004), std::make_tuple(false, -1, 99)) << "no default node";
    EXPECT_EQ(byPort(1005), std::make_tuple(false, -1, 99)) << "no link";
    // The lists: appended to, found when not empty afterwards.
    QList<LinkIdStationId> list, none;
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(db, 8, list));
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(db, 2000, "10.0.0.4", 503, list));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(QSet<int>({list[0].stationId, list[1].stationId}), QSet<int>({3, 4}));
    EXPECT_EQ(QSet<int>({list[0].linkId, list[1].linkId}), QSet<int>({8}));
    EXPECT_EQ(std::make_pair(list[2].linkId, int(list[2].stationId)), std::make_pair(8, 4));
    EXPECT_TRUE(GetLinkIdAndDefaultStationId(db, 9, list)) << "a list with records counts as found";
    // No default node, another TCP port, a node that is not a default one.
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(db, 9, none) || !none.isEmpty()
                 || GetLinkIdAndDefaultStationId(db, 2000, "10.0.0.4", 502, none)
                 || GetLinkIdAndDefaultStationId(db, 1003, "10.0.0.1", 502, none) || !none.isEmpty());
    // A database without the tables finds nothing.
    QSqlDatabase::database(db, false).close();
    ASSERT_TRUE(writeDatabaseWithoutTables(path));
    EXPECT_EQ(byPort(1003), std::make_tuple(false, -1, 99));
    EXPECT_FALSE(GetLinkIdAndDefaultStationId(db, 7, none)
                 || GetLinkIdAndDefaultStationId(db, 1003, "10.0.0.2", 502, none));
    QSqlDatabase::removeDatabase(db);
    removeProjectDirectories();
}
