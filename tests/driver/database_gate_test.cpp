// The one-time database gate: its states and error texts, a read-only
// connection of each driver's own, retries of a failed load, a map that is
// never reloaded, and the valid bit addresses the map takes from the tag table.

#include "support/database_fixture.h"

#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <thread>

namespace {

using GateTest = ProjectTest;

// The addresses of [start, start + 16) that the driver's map holds for the
// station: a byte read from a station whose every bit is on returns exactly
// the configured bits.
QSet<int> configured(DriverModbusRtuSlaveOverTcp &d, int station, bool inputs, unsigned short start)
{
    ScriptedDevice device(station);
    device.responder = healthyStation();
    const QByteArray bits = inputs ? d.readBytesFromDI(&device, start, 2) : d.readBytesFromDO(&device, start, 2);
    QSet<int> found;
    for (int i = 0; i < 8 * bits.size(); ++i) {
        if (bits.at(i / 8) & (1 << (i % 8)))
            found.insert((start + i) % 65536);
    }
    return found;
}

} // namespace

TEST_F(GateTest, MissingFileIsReportedAndTriedAgainUntilItExists)
{
    const QString path = projectDatabasePath(); // the directories exist, the file does not
    EXPECT_TRUE(driver.read(&device, CommunicatorCommand(2, 1, "HR1")).isEmpty());
    EXPECT_EQ(driver.getLastError(), "can not open database");
    // Tried again on the next request; the connection stays registered, so it gets as far as the lookup.
    EXPECT_FALSE(driver.write(&device, CommunicatorCommand(2, 1, "HR1"), hex("00 00")));
    EXPECT_EQ(driver.getLastError(), "failed to get default station id");
    EXPECT_TRUE(device.events.isEmpty()) << "a closed gate ends the request before any attempt";
    EXPECT_FALSE(QFile::exists(path)) << "a read-only open never creates the file";

    writeProject(projectOnCom2({"DI1"}));
    EXPECT_EQ(driver.read(&device, CommunicatorCommand(1, 1, "DI1")), hex("01"));
}

TEST_F(GateTest, LookupFailuresEndEveryRequest)
{
    ProjectRows noDefaultNode = projectOnCom2({"DI1"}), noTagTable = projectOnCom2({});
    noDefaultNode.nodes.first().isDefault = 0;
    noTagTable.withTagTable = false;
    const char *const noStation = "failed to get default station id";
    const struct { const char *name; std::function<bool()> make; const char *error; } cases[] = {
        {"no default node", [&] { return writeProjectDatabase(projectDatabasePath(), noDefaultNode); }, noStation},
        {"no tables at all", [&] { return writeDatabaseWithoutTables(projectDatabasePath()); }, noStation},
        {"not a database", [&] {
             QFile file(projectDatabasePath());
             return file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x'));
         }, noStation},
        {"no tag table", [&] { return writeProjectDatabase(projectDatabasePath(), noTagTable); },
         "failed to initialize valid bit addresses table"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        removeProjectDirectories();
        ASSERT_TRUE(c.make());
        DriverModbusRtuSlaveOverTcp fresh;
        EXPECT_TRUE(fresh.read(&device, CommunicatorCommand(1, 1, "DI1")).isEmpty());
        EXPECT_EQ(fresh.getLastError(), c.error);
        EXPECT_FALSE(fresh.write(&device, CommunicatorCommand(0, 1, "DO1"), hex("01")));
        EXPECT_EQ(fresh.getLastError(), c.error);
    }
}

TEST_F(GateTest, LoadsOnceThroughAReadOnlyConnectionOfItsOwnAndNeverReloads)
{
    writeProject(projectOnCom2({"DI1", "DI2", "DI3", "DI4", "DI5", "DI6", "DI7", "DI8"}));
    const QStringList before = QSqlDatabase::connectionNames();
    ASSERT_TRUE(driver.readDB("COM2"));
    QStringList added = QSqlDatabase::connectionNames();
    for (const QString &name : before)
        added.removeOne(name);
    ASSERT_EQ(added.size(), 1);
    const QSqlDatabase connection = QSqlDatabase::database(added.first(), false);
    EXPECT_EQ(connection.connectOptions(), "QSQLITE_OPEN_READONLY");
    EXPECT_FALSE(connection.isOpen()) << "closed once the map is loaded";
    // A different project, then none at all: the loaded map stays.
    writeProject(projectOnCom2({"DI3"}, 2));
    EXPECT_EQ(configured(driver, 1, true, 0), (QSet<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    removeProjectDirectories();
    EXPECT_TRUE(driver.readDB("no such port"));
    EXPECT_EQ(driver.read(&device, CommunicatorCommand(1, 1, "DI1")), hex("FF"));
    EXPECT_FALSE(driver.hasError()) << qPrintable(driver.getLastError());
    EXPECT_EQ(device.written, rtuFrames({"01 02 00 00 00 08"}));
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
            threadDevice.responder = healthyStation();
            threadDriver.read(&threadDevice, CommunicatorCommand(WordData, 1, QStringLiteral("HR1")));
            if (threadDriver.hasError())
                failure = threadDriver.getLastError();
        }).join();
        EXPECT_EQ(failure, QString()) << "thread " << thread;
    }

    // A runtime serving the link from a pool of threads: the driver is made
    // here, its first request runs on one thread and fails, the project is
    // then put right, and the next requests come on another thread and here.
    ProjectRows noDefaultNode = projectOnCom2({"DI1"});
    noDefaultNode.nodes.first().isDefault = 0;
    const struct { const char *name; std::function<void()> before; const char *error; } cases[] = {
        {"no file yet", [] {}, "can not open database"},
        {"no default node: left open", [&] { writeProject(noDefaultNode); }, "failed to get default station id"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        removeProjectDirectories();
        projectDatabasePath(); // the directories exist, the file may not
        c.before();
        DriverModbusRtuSlaveOverTcp fresh;
        const auto readOn = [&fresh](bool otherThread) {
            ScriptedDevice threadDevice;
            threadDevice.responder = healthyStation();
            QByteArray data;
            const auto read = [&] { data = fresh.read(&threadDevice, CommunicatorCommand(BitData, 1, "DI1")); };
            otherThread ? std::thread(read).join() : read();
            return fresh.hasError() ? fresh.getLastError() : QString(toHex(data));
        };
        EXPECT_EQ(readOn(true), c.error);
        writeProject(projectOnCom2({"DI1"}));
        EXPECT_EQ(readOn(true), "01");
        EXPECT_EQ(readOn(false), "01");
    }
}

TEST_F(GateTest, TheMapHoldsTheDiAndDoTagsOfEachStationOnTheLink)
{
    struct Set { int station; bool inputs; unsigned short start; QSet<int> addresses; };
    // The default station, the tags of the link, tags of others, the map expected and stations without entry.
    const struct { int station; QStringList tags; QList<TagRow> others; QList<Set> map; QList<int> none; } cases[] = {
        {1, {"DI1", "DI1", "di3", "2-DI7", "2-do1", "FN5DO4", "HR10", "1-HR5", "3-HR5", "IR7", "FN6HR3"},
         {{"DI2", 2}, {"1-DI4", 3}, {QString(), 1}}, // other connectors, and a NULL address
         {{1, true, 0, {0, 2}}, {1, false, 0, {3}}, {2, true, 0, {6}}, {2, false, 0, {0}}}, {3}},
        // A prefix naming the default station joins its entry; the sets are sorted.
        {4, {"DI9", "4-DI2", "4-DO3", "DO4", "4-di9", "DI1"}, {}, {{4, true, 0, {0, 1, 8}}, {4, false, 0, {2, 3}}}, {}},
        // Odd numbers wrap or fall back to 65535; rows that fit no rule make no entry.
        {5, {"DI0", "300-DI1", "1-DI65537", "DO70000", "", "X1", "-DI4", "8-DIX"}, {},
         {{5, true, 65528, {65535}}, {44, true, 0, {0}}, {1, true, 0, {0}}, {5, false, 4456, {4463}}}, {0, 8}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.station);
        ProjectRows rows = projectOnCom2(c.tags, c.station);
        rows.tags << c.others;
        writeProject(rows);
        DriverModbusRtuSlaveOverTcp fresh;
        ASSERT_TRUE(fresh.readDB("COM2")) << qPrintable(fresh.getLastError());
        for (const Set &e : c.map)
            EXPECT_EQ(configured(fresh, e.station, e.inputs, e.start), e.addresses) << "station " << e.station;
        for (int station : c.none) {
            EXPECT_TRUE(configured(fresh, station, true, 0).isEmpty());
            EXPECT_EQ(fresh.getLastError(), QStringLiteral("invalid address %1-DI").arg(station));
        }
    }
}
