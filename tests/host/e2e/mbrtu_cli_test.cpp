// mbrtu as a program, where the driver's transactions are not needed:
// usage errors and exit statuses, plug-in loading failures, the project
// command and the simulated slave.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "e2e/tool_process.h"
#include "host/sim_slave.h"
#include "host_test_util.h"

namespace {

TEST(MbrtuExit, EveryOutcomeHasItsStatusAndSaysWhyOnItsStream)
{
    QTemporaryDir dir;
    QFile fake(dir.filePath(QStringLiteral("fake.so")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("not an ELF file");
    fake.close();
    sim::SimSlave occupant;
    ASSERT_TRUE(occupant.start());
    qputenv("MBRTU_PLUGIN_DIR", "/nonexistent/env"); // --plugin-dir wins over it
    // Usage errors all come from the parser: tool_options_test has every reason.
    const struct
    {
        ToolRun run;
        int exitCode;
        const char *said; // on stdout for status 0, else on stderr; the other stream stays empty
    } cases[] = {
        {runTool({}), 2, "mbrtu: no command given\nusage: mbrtu read"},
        {runTool({"write", "HR1", "99999"}), 2, "is not a word (-32768..65535 or 0x0..0xFFFF)\nusage: mbrtu read"},
        {runTool({"--help"}), 0, "usage: mbrtu read"},
        {runTool({"write", "HR1", "1", "-h"}), 0, "Exit status"},
        {runTool({"read", "HR1", "--plugin-dir", "/nonexistent/drivers"}), 1, " in /nonexistent/drivers (use --plugin-dir"},
        {runTool({"write", "HR1", "5"}), 1, " in /nonexistent/env ("},
        {runTool({"read", "HR1", "--plugin-dir", fake.fileName()}), 1, "cannot load plug-in"}, // the file itself
        {runTool({"simulate", "--port", QString::number(occupant.port())}), 1, "cannot listen on 127.0.0.1:"},
    };
    qunsetenv("MBRTU_PLUGIN_DIR");
    for (const auto &c : cases) {
        EXPECT_EQ(c.run.exitCode, c.exitCode) << c.said;
        EXPECT_TRUE((c.exitCode == 0 ? c.run.out : c.run.err).contains(QLatin1String(c.said)))
            << c.said << " in:\n" << (c.run.out + c.run.err).toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? c.run.err : c.run.out).isEmpty()) << c.said;
    }
}

TEST(MbrtuProject, WritesTheDatabaseBelowTheGivenApplicationDirectory)
{
    QTemporaryDir appDir;
    const ToolRun run = runTool({"project", "--app-dir", appDir.path(), "--link", "COM3", "--link-id", "4", "--station", "4",
                                 "--tags", "DI1-64,DO1-32,2-DI5"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString path = QDir(appDir.path()).filePath(QStringLiteral("compile/database/database"));
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_TRUE(run.out.contains(path));
    EXPECT_TRUE(run.out.contains(QStringLiteral("link COM3 (HMI port 1004, link id 4), default station 4, 97 tag(s)")))
        << run.out.toStdString();
}

TEST(MbrtuSimulate, ServesAndTracesItsStationsUntilTerminated)
{
    QProcess process;
    process.start(QStringLiteral(MBRTU_TOOL_PATH), {"simulate", "--port", "0", "--station", "1,5", "--trace"});
    QString seen;
    ASSERT_TRUE(waitForOutput(process, QStringLiteral("stop with Ctrl-C"), &seen)) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("station(s) 1,5")));
    TcpDeviceSettings settings;
    settings.port = quint16(QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)")).match(seen).captured(1).toUInt());
    settings.responseTimeoutMs = 300;
    TcpDevice device(settings);
    ASSERT_TRUE(device.open());
    // Input registers start out holding their own addresses; station 2 is not simulated.
    const QByteArray request = rtuFrame("05 04 00 07 00 01");
    EXPECT_EQ(exchange(device, request, 7), rtuFrame("05 04 02 00 07"));
    EXPECT_TRUE(exchange(device, rtuFrame("02 04 00 07 00 01"), 5).isEmpty());
    EXPECT_TRUE(waitForOutput(process, QStringLiteral("-> ") + hexOf(rtuFrame("05 04 02 00 07")), &seen));
    EXPECT_TRUE(seen.contains(QStringLiteral("<- ") + hexOf(request))) << seen.toStdString();
    EXPECT_TRUE(terminateAndWait(process, &seen));
    EXPECT_TRUE(seen.contains(QStringLiteral("stopped: 1 connection(s), 2 request(s), 1 replies"))) << seen.toStdString();
}

} // namespace
