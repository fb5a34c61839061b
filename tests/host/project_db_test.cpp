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
        {"COM1", 1002}, {"COM10", 1011}, {"com0", 1001}, {"ttyS3", 1004},
        {"ETHERNET", 2000}, {"ethernet1", 2000}, {"COM", -1}, {"", -1}, {"serial", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hmiPortForDevice(QLatin1String(c.device)), c.port) << c.device;
}

TEST(TagList, ExpandsRangesAndStationPrefixesOrSaysWhyNot)
{
    const struct
    {
        const char *text;
        bool ok;
        const char *result; // the rows joined by commas, or part of the error
    } cases[] = {
        {"2-do5-6", true, "2-DO5,2-DO6"},
        {"FN5DO7-8, HR1", true, "FN5DO7,FN5DO8,HR1"},
        {"di65536", true, "DI65536"},
        {"DI1,,DI2", true, "DI1,DI2"},
        {"", true, ""},
        {"DI5-3", false, "must run upwards"},
        {"DI1-65537", false, "end at 65536"},
        {"256-DI1", false, "station 256 is above 255"},
        {"XY1", false, "unknown address area"},
        {"1-64", false, "has no area"},
        {"DI1.3", false, "cannot read tag"},
    };
    for (const auto &c : cases) {
        QStringList rows;
        QString error;
        ASSERT_EQ(expandTagList(QLatin1String(c.text), &rows, &error), c.ok) << c.text << ": " << error.toStdString();
        EXPECT_TRUE(c.ok ? rows.join(QLatin1Char(',')) == QLatin1String(c.result) : error.contains(QLatin1String(c.result)))
            << c.text << " gave: " << (rows.join(QLatin1Char(',')) + error).toStdString();
    }
}

// Every row of the written database, as "TABLE column|column|...".
QStringList dump(const QString &path)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("project_test"));
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        for (const QString table : {"LINK", "NODE", "custom_tag_table"}) {
            QSqlQuery q(QStringLiteral("SELECT * FROM ") + table, db);
            while (q.next()) {
                QStringList columns;
                for (int i = 0; i < q.record().count(); ++i)
                    columns.append(q.value(i).toString());
                rows.append(table + QLatin1Char(' ') + columns.join(QLatin1Char('|')));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("project_test"));
    return rows;
}

TEST(ProjectDatabase, ReplacesAnOldOneWhereTheDriverLooks)
{
    QTemporaryDir appDir;
    const QString path = projectDatabasePath(appDir.path());
    EXPECT_EQ(path, QDir(appDir.path()).filePath(QStringLiteral("compile/database/database")));
    ProjectSetup setup;
    setup.link = QStringLiteral("ETHERNET");
    setup.tagAddresses = QStringList({"DI1", "DO9"});
    QString error;
    ASSERT_TRUE(writeProjectDatabase(path, setup, &error)) << error.toStdString();
    setup.link = QStringLiteral("COM2");
    setup.linkId = 3;
    setup.station = 7;
    setup.nodePort = 1502;
    setup.tagAddresses = QStringList({"DI1", "2-DO5"});
    ASSERT_TRUE(writeProjectDatabase(path, setup, &error)) << error.toStdString();
    EXPECT_EQ(dump(path), QStringList({"LINK 3|1003", "NODE 3|7|1|127.0.0.1|1502", "custom_tag_table DI1|3",
                                       "custom_tag_table 2-DO5|3"}));
}

TEST(ProjectDatabase, RefusesAnUnwritablePlace)
{
    QTemporaryDir appDir;
    ProjectSetup setup;
    QString error;
    QFile blocker(QDir(appDir.path()).filePath(QStringLiteral("compile"))); // a file where a directory belongs
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(writeProjectDatabase(projectDatabasePath(appDir.path()), setup, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot create directory"))) << error.toStdString();
}

} // namespace
