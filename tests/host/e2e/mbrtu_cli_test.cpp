// mbrtu as a program, where the driver's transactions are not needed:
// usage errors and exit statuses, plug-in loading, the project command and
// the simulated slave.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "e2e/tool_process.h"
#include "host/sim_slave.h"
#include "host/tcp_device.h"
#include "host_test_util.h"

namespace {

struct ExitCase
{
    QStringList arguments;
    int exitCode;
    const char *said; // part of stderr (stdout for --help)
};

TEST(MbrtuExit, UsageErrorsAreStatusTwoWithAShortUsage)
{
    // One case per kind of mistake; tool_options_test has every reason.
    const ExitCase cases[] = {
        {{}, 2, "no command given"},
        {{"read", "XY1"}, 2, "unknown address area 'XY'"},
        {{"read", "HR1", "--bogus"}, 2, "unknown option '--bogus'"},
        {{"write", "HR1", "99999"}, 2, "is not a word"},
        {{"project", "--tags", "DI5-3"}, 2, "must run upwards"},
    };
    for (const ExitCase &c : cases) {
        const ToolRun run = runTool(c.arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.said))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("usage: mbrtu read"))) << "the usage follows the reason";
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(MbrtuExit, HelpIsStatusZeroOnStdout)
{
    for (const char *help : {"--help", "help", "-h"}) {
        const ToolRun run = runTool({QLatin1String(help)});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.out.contains(QStringLiteral("usage: mbrtu read")));
        EXPECT_TRUE(run.out.contains(QStringLiteral("Exit status")));
        EXPECT_TRUE(run.err.isEmpty());
    }
}

TEST(MbrtuPlugin, MissingPluginIsAFailureNamingWhereItLooked)
{
    const ToolRun byOption = runTool({"read", "HR1", "--plugin-dir", "/nonexistent/drivers"});
    EXPECT_EQ(byOption.exitCode, 1);
    EXPECT_TRUE(byOption.err.contains(QStringLiteral("no driver plug-in"))) << byOption.err.toStdString();
    EXPECT_TRUE(byOption.err.contains(QStringLiteral("/nonexistent/drivers")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MBRTU_PLUGIN_DIR"), QStringLiteral("/nonexistent/env"));
    const ToolRun byEnvironment = runTool({"write", "HR1", "5"}, environment);
    EXPECT_EQ(byEnvironment.exitCode, 1);
    EXPECT_TRUE(byEnvironment.err.contains(QStringLiteral("/nonexistent/env"))) << byEnvironment.err.toStdString();
}

TEST(MbrtuPlugin, AFileThatIsNoPluginIsRefused)
{
    QTemporaryDir dir;
    QFile fake(dir.filePath(QStringLiteral("fake.so")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("not an ELF file");
    fake.close();
    // --plugin-dir may also name the file itself.
    const ToolRun run = runTool({"read", "HR1", "--plugin-dir", fake.fileName()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot load plug-in"))) << run.err.toStdString();
}

TEST(MbrtuPlugin, LoadsFromBesideTheToolAndReportsARefusedLink)
{
    // The project beside mbrtu is whatever the last test left there: write
    // the one this test needs.
    ASSERT_EQ(runTool({"project", "--link", "COM2", "--station", "1"}).exitCode, 0);
    sim::SimSlave slave;
    ASSERT_TRUE(slave.start());
    const QString port = QString::number(slave.port());
    slave.stop();
    const ToolRun run = runTool({"read", "HR1", "--port", port, "--retries", "0", "--timeout", "500"});
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("mbrtu: ")) || run.err.contains(QStringLiteral("\nmbrtu: ")));
    EXPECT_TRUE(run.err.contains(QStringLiteral("connection refused (slave at 127.0.0.1:") + port))
            << run.err.toStdString();
}

TEST(MbrtuProject, WritesTheDatabaseBelowTheGivenApplicationDirectory)
{
    QTemporaryDir appDir;
    const ToolRun run = runTool({"project", "--app-dir", appDir.path(), "--link", "COM3", "--station", "4",
                                 "--tags", "DI1-64,DO1-32,2-DI5"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString path = QDir(appDir.path()).filePath(QStringLiteral("compile/database/database"));
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_TRUE(run.out.contains(path));
    EXPECT_TRUE(run.out.contains(QStringLiteral("link COM3 (HMI port 1004, link id 1), default station 4, 97 tag(s)")))
        << run.out.toStdString();
}

class MbrtuSimulate : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    // Starts mbrtu simulate on a free port and returns that port (0 on failure).
    quint16 start(const QStringList &extra)
    {
        process.start(QStringLiteral(MBRTU_TOOL_PATH), QStringList({"simulate", "--port", "0"}) + extra);
        if (!waitForOutput(process, QStringLiteral("stop with Ctrl-C"), &seen))
            return 0;
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)")).match(seen);
        return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    }

    QProcess process;
    QString seen;
};

TEST_F(MbrtuSimulate, ServesItsStationsUntilTerminated)
{
    const quint16 port = start({"--station", "1,5"});
    ASSERT_NE(port, 0) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("station(s) 1,5")));

    TcpDeviceSettings settings;
    settings.port = port;
    settings.responseTimeoutMs = 300;
    TcpDevice device(settings);
    ASSERT_TRUE(device.open());
    // Input registers start out holding their own addresses.
    const QByteArray request = rtuFrame("05 04 00 07 00 01");
    ASSERT_EQ(device.writeData(request.constData(), request.size()), request.size());
    QByteArray reply(7, '\0');
    ASSERT_EQ(device.readData(reply.data(), reply.size()), 7);
    EXPECT_EQ(reply, rtuFrame("05 04 02 00 07"));
    const QByteArray foreign = rtuFrame("02 04 00 07 00 01");
    ASSERT_EQ(device.writeData(foreign.constData(), foreign.size()), foreign.size());
    EXPECT_EQ(device.readData(reply.data(), 5), 0) << "station 2 is not simulated";

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kToolHangLimitMs));
    seen += QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(seen.contains(QStringLiteral("stopped: 1 connection(s), 2 request(s), 1 replies")))
        << seen.toStdString();
}

TEST_F(MbrtuSimulate, TracesEveryRequest)
{
    const quint16 port = start({"--trace"});
    ASSERT_NE(port, 0);
    TcpDeviceSettings settings;
    settings.port = port;
    TcpDevice device(settings);
    ASSERT_TRUE(device.open());
    const QByteArray request = rtuFrame("01 03 00 00 00 01");
    ASSERT_EQ(device.writeData(request.constData(), request.size()), request.size());
    char reply[7];
    ASSERT_EQ(device.readData(reply, 7), 7);
    EXPECT_TRUE(waitForOutput(process, QStringLiteral("-> 01 03 02 00 00"), &seen)) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("<- 01 03 00 00 00 01 84 0A")));
}

TEST(MbrtuSimulatePort, APortInUseIsAFailure)
{
    sim::SimSlave occupant;
    ASSERT_TRUE(occupant.start());
    const ToolRun run = runTool({"simulate", "--port", QString::number(occupant.port())});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot listen on 127.0.0.1:"))) << run.err.toStdString();
}

} // namespace
