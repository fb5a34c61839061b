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
#include "host_test_util.h"

namespace {

TEST(HmiPort, FollowsTheDeviceString)
{
    const struct
    {
        const char *device;
        int port;
    } cases[] = {
        {"COM1", 1002}, {"COM10", 1011}, {"com0", 1001}, {"ttyS3", 1004},
        {"ETHERNET", 2000}, {"ethernet1", 2000}, {"COM", -1}, {"", -1}, {"serial", -1},
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
        {"2-do5-6", {"2-DO5", "2-DO6"}},
        {"FN5DO7-8, HR1", {"FN5DO7", "FN5DO8", "HR1"}},
        {"di65536", {"DI65536"}},
        {"DI1,,DI2", {"DI1", "DI2"}},
        {"", {}},
    };
    for (const auto &c : cases) {
        QStringList rows;
        QString error;
        ASSERT_TRUE(expandTagList(QLatin1String(c.text), &rows, &error)) << c.text << ": " << error.toStdString();
        EXPECT_EQ(rows, c.rows) << c.text;
    }
}

TEST(TagList, RefusesWithAReason)
{
    expectRefusals({{"DI5-3", "must run upwards"},
                    {"DI1-65537", "end at 65536"},
                    {"256-DI1", "station 256 is above 255"},
                    {"XY1", "unknown address area"},
                    {"1-64", "has no area"},
                    {"DI1.3", "cannot read tag"}},
                   [](const QString &text, QString *error) {
                       QStringList rows;
                       return expandTagList(text, &rows, error);
                   });
}

// Rows of a query on the written file, each row's columns joined by '|'.
QStringList query(const QString &path, const QString &sql)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("project_test"));
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next()) {
            QStringList columns;
            for (int i = 0; i < q.record().count(); ++i)
                columns.append(q.value(i).toString());
            rows.append(columns.join(QLatin1Char('|')));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("project_test"));
    return rows;
}

TEST(ProjectDatabase, ReplacesAnOldOneWhereTheDriverLooksAndAnswersItsQueries)
{
    QTemporaryDir appDir;
    const QString path = projectDatabasePath(appDir.path());
    EXPECT_EQ(path, QDir(appDir.path()).filePath(QStringLiteral("compile/database/database")));
    ProjectSetup old;
    old.link = QStringLiteral("ETHERNET");
    old.tagAddresses = QStringList({"DI1", "DO9"});
    QString error;
    ASSERT_TRUE(writeProjectDatabase(path, old, &error)) << error.toStdString();

    ProjectSetup setup;
    setup.link = QStringLiteral("COM2");
    setup.linkId = 3;
    setup.station = 7;
    setup.nodePort = 1502;
    setup.tagAddresses = QStringList({"DI1", "DI2", "2-DO5"});
    ASSERT_TRUE(writeProjectDatabase(path, setup, &error)) << error.toStdString();
    EXPECT_EQ(query(path, QStringLiteral("SELECT LINK.LINKID, NODE.STATIONID FROM LINK, NODE WHERE LINK.HMIPORT = 1003 "
                                         "AND NODE.LINKID = LINK.LINKID AND NODE.ISDEFAULT = 1;")),
              QStringList({"3|7"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT address, connector_id FROM custom_tag_table")),
              QStringList({"DI1|3", "DI2|3", "2-DO5|3"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT IP, PORT FROM NODE")), QStringList({"127.0.0.1|1502"}));
    EXPECT_EQ(query(path, QStringLiteral("SELECT HMIPORT FROM LINK")), QStringList({"1003"}));
}

TEST(ProjectDatabase, RefusesALinkWithoutPortAndAnUnwritablePlace)
{
    QTemporaryDir appDir;
    ProjectSetup setup;
    setup.link = QStringLiteral("serial");
    QString error;
    EXPECT_FALSE(writeProjectDatabase(projectDatabasePath(appDir.path()), setup, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("names no HMI port")));
    QFile blocker(QDir(appDir.path()).filePath(QStringLiteral("compile"))); // a file where a directory belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setup.link = QStringLiteral("COM2");
    EXPECT_FALSE(writeProjectDatabase(projectDatabasePath(appDir.path()), setup, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot create directory"))) << error.toStdString();
}

} // namespace
