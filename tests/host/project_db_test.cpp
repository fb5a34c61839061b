// The project database mbrtu writes, read back with the queries the driver
// runs on it.

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include "host/project_db.h"

namespace {

TEST(HmiPort, FollowsTheDeviceString)
{
    const struct
    {
        const char *device;
        int port;
    } cases[] = {
        {"COM2", 1003}, {"COM1", 1002}, {"COM10", 1011}, {"com0", 1001}, {"ttyS3", 1004},
        {"ETHERNET", 2000}, {"ethernet1", 2000}, {"Ethernet", 2000},
        {"COM", -1}, {"", -1}, {"12", -1}, {"serial", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hmiPortForDevice(QLatin1String(c.device)), c.port) << c.device;
}

TEST(TagList, ExpandsRangesAndStationPrefixes)
{
    const struct
    {
        const char *text;
        QStringList rows;
    } cases[] = {
        {"DI1-3", {"DI1", "DI2", "DI3"}},
        {"2-DI5", {"2-DI5"}},
        {"2-do5-6", {"2-DO5", "2-DO6"}},
        {"FN5DO7-8, HR1", {"FN5DO7", "FN5DO8", "HR1"}},
        {"di65536", {"DI65536"}},
        {"", {}},
        {"DI1,,DI2", {"DI1", "DI2"}},
    };
    for (const auto &c : cases) {
        QStringList rows;
        QString error;
        ASSERT_TRUE(expandTagList(QLatin1String(c.text), &rows, &error)) << c.text << ": " << error.toStdString();
        EXPECT_EQ(rows, c.rows) << c.text;
    }
    QStringList rows;
    QString error;
    ASSERT_TRUE(expandTagList(QStringLiteral("DI1-64,DO1-32,2-DI5"), &rows, &error));
    EXPECT_EQ(rows.size(), 64 + 32 + 1);
}

TEST(TagList, RefusesWithAReason)
{
    const struct
    {
        const char *text;
        const char *reason;
    } cases[] = {
        {"DI5-3", "must run upwards"},
        {"DI1-65537", "end at 65536"},
        {"256-DI1", "station 256 is above 255"},
        {"XY1", "unknown address area"},
        {"DI", "cannot read tag"},
        {"1-64", "has no area"},
        {"DI1.3", "cannot read tag"},
    };
    for (const auto &c : cases) {
        QStringList rows;
        QString error;
        EXPECT_FALSE(expandTagList(QLatin1String(c.text), &rows, &error)) << c.text;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.text << " gave: " << error.toStdString();
    }
}

class ProjectDatabaseTest : public ::testing::Test
{
protected:
    void TearDown() override { QSqlDatabase::removeDatabase(QStringLiteral("project_test")); }

    // Rows of a query on the written file, each row's columns joined by '|'.
    QStringList query(const QString &path, const QString &sql)
    {
        QStringList rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("project_test"));
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
            while (q.next()) {
                QStringList columns;
                for (int i = 0; i < q.record().count(); ++i)
                    columns.append(q.value(i).toString());
                rows.append(columns.join(QLatin1Char('|')));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("project_test"));
        return rows;
    }

    QTemporaryDir appDir;
};

TEST_F(ProjectDatabaseTest, LiesWhereTheDriverLooksAndAnswersItsQueries)
{
    ProjectSetup setup;
    setup.link = QStringLiteral("COM2");
    setup.linkId = 3;
    setup.station = 7;
    setup.nodePort = 1502;
    QString error;
    ASSERT_TRUE(expandTagList(QStringLiteral("DI1-2,2-DO5"), &setup.tagAddresses, &error));
    const QString path = projectDatabasePath(appDir.path());
    EXPECT_EQ(path, QDir(appDir.path()).filePath(QStringLiteral("compile/database/database")));
    ASSERT_TRUE(writeProjectDatabase(path, setup, &error)) << error.toStdString();

    EXPECT_EQ(query(path, QStringLiteral("SELECT LINK.LINKID, NODE.STATIONID FROM LINK, NODE WHERE LINK.HMIPORT = 1003 "
                                         "AND NODE.LINKID = LINK.LINKID AND NODE.ISDEFAULT = 1;")),
              QStringList({"3|7"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT address FROM custom_tag_table WHERE connector_id = 3")),
              QStringList({"DI1", "DI2", "2-DO5"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT IP, PORT FROM NODE")), QStringList({"127.0.0.1|1502"}));
}

TEST_F(ProjectDatabaseTest, ReplacesAnOldDatabase)
{
    const QString path = projectDatabasePath(appDir.path());
    ProjectSetup first;
    first.tagAddresses = QStringList({"DI1", "DI2"});
    QString error;
    ASSERT_TRUE(writeProjectDatabase(path, first, &error));
    ProjectSetup second;
    second.link = QStringLiteral("ETHERNET");
    second.tagAddresses = QStringList({"DO9"});
    ASSERT_TRUE(writeProjectDatabase(path, second, &error));
    EXPECT_EQ(query(path, QStringLiteral("SELECT HMIPORT FROM LINK")), QStringList({"2000"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT address FROM custom_tag_table")), QStringList({"DO9"}));
}

TEST_F(ProjectDatabaseTest, RefusesALinkWithoutPortAndAnUnwritablePlace)
{
    ProjectSetup setup;
    setup.link = QStringLiteral("serial");
    QString error;
    EXPECT_FALSE(writeProjectDatabase(projectDatabasePath(appDir.path()), setup, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("names no HMI port")));

    // A plain file where the compile directory should be.
    QFile blocker(QDir(appDir.path()).filePath(QStringLiteral("compile")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setup.link = QStringLiteral("COM2");
    EXPECT_FALSE(writeProjectDatabase(projectDatabasePath(appDir.path()), setup, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot create directory"))) << error.toStdString();
}

} // namespace
