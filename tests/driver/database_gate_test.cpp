// The one-time database gate: opening read-only, its three states, its error
// texts, retries of a failed load and a map that is never reloaded.

#include "support/database_fixture.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <functional>
#include <thread>

namespace {

using GateTest = ProjectTest;

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(GateTest, MissingFileIsReportedAndTriedAgainUntilItExists)
{
    const QString path = projectDatabasePath();
    EXPECT_TRUE(read(2, 1, "HR1").isEmpty());
    EXPECT_EQ(error(), "can not open database");
    // The connection stays registered: later requests get as far as the lookup.
    for (int request = 0; request < 2; ++request) {
        EXPECT_TRUE(read(2, 1, "HR1").isEmpty());
        EXPECT_EQ(error(), "failed to get default station id");
    }
    EXPECT_TRUE(device.events.isEmpty()) << "a closed gate ends the request before any attempt";
    EXPECT_FALSE(QFile::exists(path)) << "a read-only open never creates the file";

    writeProject(projectOnCom2({"DI1"}));
    EXPECT_FALSE(read(2, 1, "HR1").isEmpty());
    EXPECT_FALSE(driver.hasError());
}

TEST_F(GateTest, LookupFailuresEndEveryReadAndWrite)
{
    ProjectRows noDefaultNode = projectOnCom2({"DI1"});
    noDefaultNode.nodes.first().isDefault = 0;
    ProjectRows noTagTable = projectOnCom2({});
    noTagTable.withTagTable = false;
    // No rows: a database without the tables.
    const struct { const char *name; const ProjectRows *rows; const char *error; } cases[] = {
        {"no default node", &noDefaultNode, "failed to get default station id"},
        {"no tables at all", nullptr, "failed to get default station id"},
        {"no tag table", &noTagTable, "failed to initialize valid bit addresses table"},
    };
    const CommunicatorCommand requests[] = {{2, 1, "HR1"}, {1, 2, "DI1"}, {0, 3, "DO1"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        removeProjectDirectories();
        if (c.rows)
            writeProject(*c.rows);
        else
            ASSERT_TRUE(writeDatabaseWithoutTables(projectDatabasePath()));
        DriverModbusRtuSlaveOverTcp fresh;
        for (const CommunicatorCommand &request : requests) {
            EXPECT_TRUE(fresh.read(&device, request).isEmpty());
            EXPECT_EQ(fresh.getLastError(), c.error);
            EXPECT_FALSE(fresh.write(&device, request, hex("01 00")));
            EXPECT_EQ(fresh.getLastError(), c.error);
        }
    }
    EXPECT_TRUE(device.events.isEmpty());
}

TEST_F(GateTest, OpensItsOwnConnectionReadOnlyAndLeavesTheFileAsItWas)
{
    writeProject(projectOnCom2({"DI1", "2-DO5"}));
    const QString path = projectDatabasePath();
    {
        // An mtime an hour back shows any write, however quick.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const QDateTime anHourAgo = QDateTime::currentDateTime().addSecs(-3600);
        ASSERT_TRUE(file.setFileTime(anHourAgo, QFileDevice::FileModificationTime));
    }
    const QByteArray bytes = contents(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    const QStringList before = QSqlDatabase::connectionNames();
    EXPECT_TRUE(driver.readDB("COM2"));
    QStringList added = QSqlDatabase::connectionNames();
    for (const QString &name : before)
        added.removeOne(name);
    ASSERT_EQ(added.size(), 1);
    bool numeric = false;
    added.first().toInt(&numeric);
    EXPECT_TRUE(numeric) << added.first().toStdString();
    const QSqlDatabase connection = QSqlDatabase::database(added.first(), false);
    EXPECT_EQ(connection.connectOptions(), "QSQLITE_OPEN_READONLY");
    EXPECT_EQ(connection.databaseName(), path);
    EXPECT_FALSE(connection.isOpen()) << "closed once the map is loaded";
    EXPECT_EQ(contents(path), bytes);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
}

TEST_F(GateTest, LoadedMapIsNeverReloaded)
{
    writeProject(projectOnCom2({"DI1", "DI2", "DI3", "DI4", "DI5", "DI6", "DI7", "DI8"}));
    ASSERT_TRUE(driver.readDB("COM2"));
    // A different project, then none at all: the loaded map stays.
    writeProject(projectOnCom2({"DI3"}, 2));
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DI, 0, 1), (QSet<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    removeProjectDirectories();
    EXPECT_TRUE(driver.readDB("no such port"));
    EXPECT_EQ(read(1, 1, "DI1"), QByteArray(1, char(0xFF)));
    EXPECT_FALSE(driver.hasError()) << error().toStdString();
    ASSERT_EQ(device.written.size(), 1);
    EXPECT_EQ(parseReadRequest(device.written.first()).quantity, 8);
}

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool runSql(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("broken"));
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString &statement : statements)
            ok = ok && QSqlQuery(statement, db).isActive();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("broken"));
    return ok;
}

} // namespace

TEST_F(GateTest, BrokenFilesGiveTheGateTextsAndStayAsTheyWere)
{
    const QString path = projectDatabasePath();
    const QStringList wrongColumns = {"CREATE TABLE LINK (ID INTEGER, PORT INTEGER)",
                                      "CREATE TABLE NODE (ID INTEGER)",
                                      "CREATE TABLE custom_tag_table (tag TEXT)"};
    const QStringList wrongTagColumns = {"CREATE TABLE LINK (LINKID INTEGER, HMIPORT INTEGER)",
                                         "CREATE TABLE NODE (LINKID INTEGER, STATIONID INTEGER, ISDEFAULT INTEGER, IP TEXT, PORT INTEGER)",
                                         "CREATE TABLE custom_tag_table (tag TEXT, link INTEGER)",
                                         "INSERT INTO LINK VALUES (1, 1003)",
                                         "INSERT INTO NODE VALUES (1, 1, 1, '', 0)"};
    const struct { const char *name; std::function<bool()> make; const char *error; } cases[] = {
        {"not a database", [&] { return writeFile(path, QByteArray(4096, 'x')); },
         "failed to get default station id"},
        {"header destroyed", [&] {
             writeProject(projectOnCom2({"DI1"}));
             QByteArray bytes = contents(path);
             bytes.replace(0, 100, QByteArray(100, '\xA5'));
             return writeFile(path, bytes);
         }, "failed to get default station id"},
        {"cut short", [&] {
             writeProject(projectOnCom2({"DI1"}));
             return writeFile(path, contents(path).left(700));
         }, "failed to get default station id"},
        {"link tables with other columns", [&] { return runSql(path, wrongColumns); },
         "failed to get default station id"},
        {"tag table with other columns", [&] { return runSql(path, wrongTagColumns); },
         "failed to initialize valid bit addresses table"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        removeProjectDirectories();
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(c.make());
        const QByteArray before = contents(path);
        DriverModbusRtuSlaveOverTcp fresh;
        EXPECT_TRUE(fresh.read(&device, CommunicatorCommand(2, 1, "HR1")).isEmpty());
        EXPECT_EQ(fresh.getLastError(), c.error);
        EXPECT_FALSE(fresh.write(&device, CommunicatorCommand(0, 1, "DO1"), hex("01")));
        EXPECT_EQ(fresh.getLastError(), c.error);
        EXPECT_EQ(contents(path), before) << "the driver never writes the project database";
    }
    EXPECT_TRUE(device.events.isEmpty());
}

TEST_F(GateTest, DriversOnTwoThreadsEachReadThroughAConnectionOfTheirOwn)
{
    writeProject(projectOnCom2({"DI1"}));
    // The generator is seeded per thread: each thread's first driver draws
    // the same number, and the first thread's connection stays registered
    // after its driver is gone.
    for (int thread = 0; thread < 2; ++thread) {
        QString failure;
        std::thread([&failure] {
            DriverModbusRtuSlaveOverTcp threadDriver;
            ScriptedDevice threadDevice;
            answerEveryRead(threadDevice);
            threadDriver.read(&threadDevice, CommunicatorCommand(WordData, 1, QStringLiteral("HR1")));
            if (threadDriver.hasError())
                failure = threadDriver.getLastError();
        }).join();
        EXPECT_EQ(failure, QString()) << "thread " << thread;
    }
}
