// The one-time database gate: opening read-only, its three states, its error
// texts, retries of a failed load and a map that is never reloaded.

#include "database_fixture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>

namespace {

const CommunicatorCommand WORDS_AT_HR1(2, 1, QStringLiteral("HR1"));

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QStringList directoryEntries(const QString &filePath)
{
    return QFileInfo(filePath).dir().entryList(QDir::Files | QDir::Hidden);
}

// Connections registered while f runs.
template <typename F>
QStringList newConnections(F f)
{
    const QStringList before = QSqlDatabase::connectionNames();
    f();
    QStringList added;
    for (const QString &name : QSqlDatabase::connectionNames()) {
        if (!before.contains(name))
            added.append(name);
    }
    return added;
}

class GateTest : public ProjectTest
{
protected:
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;

    void SetUp() override
    {
        ProjectTest::SetUp();
        device.setResponder([](const QByteArray &request) { return replyToRead(request); });
    }

    // One register read through the gate; true when it returned data.
    bool readSucceeds() { return !driver.read(&device, WORDS_AT_HR1).isEmpty(); }
};

} // namespace

TEST_F(GateTest, MissingFileIsReportedAndTriedAgainUntilItExists)
{
    const QString path = projectDatabasePath();
    EXPECT_FALSE(readSucceeds());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("can not open database"));
    EXPECT_FALSE(QFile::exists(path)) << "a read-only open never creates the file";

    // The connection stays registered: later requests get as far as the lookup.
    for (int request = 0; request < 2; ++request) {
        EXPECT_FALSE(readSucceeds());
        EXPECT_EQ(driver.getLastError(), QStringLiteral("failed to get default station id"));
    }
    EXPECT_TRUE(device.written.isEmpty());
    EXPECT_EQ(device.delayCalls, 0) << "a closed gate ends the request before any attempt";
    EXPECT_FALSE(QFile::exists(path));

    writeProject(projectOnCom2({QStringLiteral("DI1")}));
    EXPECT_TRUE(readSucceeds());
    EXPECT_FALSE(driver.hasError());
    EXPECT_EQ(device.written.size(), 1);
}

TEST_F(GateTest, LookupFailuresEndEveryRequestWhateverTheArea)
{
    ProjectRows noDefaultNode = projectOnCom2({QStringLiteral("DI1")});
    noDefaultNode.nodes.first().isDefault = 0;
    ProjectRows otherPort = projectOnCom2({QStringLiteral("DI1")});
    otherPort.links.first().hmiPort = 1002;
    ProjectRows noTagTable = projectOnCom2({});
    noTagTable.withTagTable = false;

    const struct
    {
        const char *name;
        ProjectRows rows;
        bool withoutTables;
        const char *error;
    } cases[] = {
        {"no default node", noDefaultNode, false, "failed to get default station id"},
        {"no link on the port", otherPort, false, "failed to get default station id"},
        {"no tables at all", ProjectRows(), true, "failed to get default station id"},
        {"no tag table", noTagTable, false, "failed to initialize valid bit addresses table"},
    };
    const CommunicatorCommand requests[] = {
        WORDS_AT_HR1, {1, 2, QStringLiteral("DI1")}, {0, 3, QStringLiteral("DO1")}, WORDS_AT_HR1};
    for (const auto &c : cases) {
        removeProjectDirectories();
        if (c.withoutTables)
            ASSERT_TRUE(writeDatabaseWithoutTables(projectDatabasePath()));
        else
            writeProject(c.rows);
        DriverModbusRtuSlaveOverTcp fresh;
        ScriptedDevice link;
        for (const CommunicatorCommand &request : requests) {
            EXPECT_TRUE(fresh.read(&link, request).isEmpty()) << c.name;
            EXPECT_TRUE(fresh.hasError()) << c.name;
            EXPECT_EQ(fresh.getLastError(), QString::fromLatin1(c.error)) << c.name;
        }
        EXPECT_TRUE(link.written.isEmpty()) << c.name;
    }
}

TEST_F(GateTest, OpensItsOwnConnectionReadOnlyAndLeavesTheFileAsItWas)
{
    writeProject(projectOnCom2({QStringLiteral("DI1"), QStringLiteral("2-DO5")}));
    const QString path = projectDatabasePath();
    // An mtime an hour back shows any write, however quick.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
    const QByteArray digest = fileDigest(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    const QStringList entries = directoryEntries(path);

    const QStringList added = newConnections([&] { EXPECT_TRUE(driver.readDB("COM2")); });
    ASSERT_EQ(added.size(), 1);
    bool numeric = false;
    added.first().toInt(&numeric);
    EXPECT_TRUE(numeric) << added.first().toStdString();
    const QSqlDatabase connection = QSqlDatabase::database(added.first(), false);
    EXPECT_EQ(connection.connectOptions(), QStringLiteral("QSQLITE_OPEN_READONLY"));
    EXPECT_EQ(connection.databaseName(), path);
    EXPECT_FALSE(connection.isOpen()) << "closed once the map is loaded";

    EXPECT_EQ(fileDigest(path), digest);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_EQ(directoryEntries(path), entries) << "no journal or lock file left behind";
}

TEST_F(GateTest, LoadedMapIsNeverReloaded)
{
    QStringList eightInputs;
    for (int n = 1; n <= 8; ++n)
        eightInputs.append(QStringLiteral("DI%1").arg(n));
    writeProject(projectOnCom2(eightInputs));
    ASSERT_TRUE(driver.readDB(QStringLiteral("COM2")));

    // A different project, then none at all: the loaded map stays.
    writeProject(projectOnCom2({QStringLiteral("DI3")}, 2));
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DI, 0, 1), (QSet<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    removeProjectDirectories();
    EXPECT_TRUE(driver.readDB(QStringLiteral("COM2")));
    EXPECT_TRUE(driver.readDB(QStringLiteral("no such port")));
    const QByteArray inputs = driver.read(&device, CommunicatorCommand(1, 1, QStringLiteral("DI1")));
    EXPECT_EQ(inputs, QByteArray(1, char(0xFF)));
    EXPECT_FALSE(driver.hasError()) << driver.getLastError().toStdString();
    ASSERT_EQ(device.written.size(), 1);
    EXPECT_EQ(parseReadRequest(device.written.first()).quantity, 8);
}

TEST_F(GateTest, DefaultStationKeepsTheLowEightBitsOfItsId)
{
    writeProject(projectOnCom2({QStringLiteral("DI1"), QStringLiteral("DO2")}, 256));
    ASSERT_TRUE(driver.readDB(QStringLiteral("COM2")));
    EXPECT_EQ(configuredAddresses(driver, 0, Area::DI, 0), QSet<int>{0});
    EXPECT_EQ(configuredAddresses(driver, 0, Area::DO, 0), QSet<int>{1});
    EXPECT_TRUE(configuredAddresses(driver, 1, Area::DI, 0).isEmpty());
    EXPECT_EQ(driver.getLastError(), QStringLiteral("invalid address 1-DI"));
}

TEST_F(GateTest, EthernetDevicesUseHmiPort2000)
{
    ProjectRows rows = projectOnCom2({QStringLiteral("DO9")});
    rows.links.first().hmiPort = 2000;
    writeProject(rows);
    EXPECT_FALSE(driver.readDB(QStringLiteral("COM2")));
    EXPECT_TRUE(driver.readDB(QStringLiteral("ethernet")));
    EXPECT_EQ(configuredAddresses(driver, 1, Area::DO, 0), QSet<int>{8});
}
