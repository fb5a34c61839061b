// mbrtu as a program: exit statuses and where it says why, plug-in loading
// failures, the project and simulate commands, and end to end the plug-in,
// found beside mbrtu, driving the simulated slave through the TCP device.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "host/sim_slave.h"
#include "host_test_util.h"

namespace {

struct ToolRun
{
    int exitCode = -1; // -1 also when it crashed or hung and was killed
    QString out;
    QString err;
};

// A generous bound for a hang; no test relies on how fast mbrtu is.
constexpr int kToolHangLimitMs = 60000;

ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(MBRTU_TOOL_PATH), arguments);
    ToolRun run;
    if (!process.waitForFinished(kToolHangLimitMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Waits until the process has printed text on stdout (kept in seen).
bool waitForOutput(QProcess &process, const QString &text, QString *seen)
{
    while (!seen->contains(text)) {
        if (!process.waitForReadyRead(kToolHangLimitMs))
            return false;
        *seen += QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    return true;
}

// Terminates a long-running mbrtu and collects the rest of its output.
bool terminateAndWait(QProcess &process, QString *seen)
{
    process.terminate();
    const bool finished = process.waitForFinished(kToolHangLimitMs);
    *seen += QString::fromLocal8Bit(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

TEST(MbrtuExit, EveryOutcomeHasItsStatusAndSaysWhatHappenedOnItsStream)
{
    QTemporaryDir dir;
    QFile fake(dir.filePath(QStringLiteral("fake.so")));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("not an ELF file");
    fake.close();
    sim::SimSlave occupant;
    ASSERT_TRUE(occupant.start());
    qputenv("MBRTU_PLUGIN_DIR", "/nonexistent/env"); // --plugin-dir wins over it
    // Usage errors all come from the parser, whose reasons tool_options_test checks.
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
        {runTool({"project", "--app-dir", dir.path(), "--link", "COM3", "--link-id", "4", "--station", "4", "--tags",
                  "DI1-64,DO1-32,2-DI5"}),
         0, "link COM3 (HMI port 1004, link id 4), default station 4, 97 tag(s)"},
    };
    qunsetenv("MBRTU_PLUGIN_DIR");
    for (const auto &c : cases) {
        EXPECT_EQ(c.run.exitCode, c.exitCode) << c.said;
        EXPECT_TRUE((c.exitCode == 0 ? c.run.out : c.run.err).contains(QLatin1String(c.said)))
            << c.said << " in:\n" << (c.run.out + c.run.err).toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? c.run.err : c.run.out).isEmpty()) << c.said;
    }
    EXPECT_TRUE(QFileInfo(QDir(dir.path()).filePath(QStringLiteral("compile/database/database"))).isFile());
}

TEST(MbrtuSimulate, ServesAndTracesItsStationsUntilTerminated)
{
    QProcess process;
    process.start(QStringLiteral(MBRTU_TOOL_PATH), {"simulate", "--port", "0", "--station", "1,5", "--trace"});
    QString seen;
    ASSERT_TRUE(waitForOutput(process, QStringLiteral("stop with Ctrl-C"), &seen)) << seen.toStdString();
    TcpDeviceSettings settings;
    settings.port = quint16(QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)")).match(seen).captured(1).toUInt());
    settings.responseTimeoutMs = 300;
    TcpDevice device(settings);
    ASSERT_TRUE(device.open());
    // Input registers start out holding their own addresses; station 5 is simulated, 2 is not.
    const QByteArray request = rtuFrame("05 04 00 07 00 01");
    EXPECT_EQ(exchange(device, request, 7), rtuFrame("05 04 02 00 07"));
    EXPECT_TRUE(exchange(device, rtuFrame("02 04 00 07 00 01"), 5).isEmpty());
    EXPECT_TRUE(waitForOutput(process, QStringLiteral("-> ") + hexOf(rtuFrame("05 04 02 00 07")), &seen));
    EXPECT_TRUE(seen.contains(QStringLiteral("<- ") + hexOf(request))) << seen.toStdString();
    EXPECT_TRUE(terminateAndWait(process, &seen));
    EXPECT_TRUE(seen.contains(QStringLiteral("stopped: 1 connection(s), 2 request(s), 1 replies"))) << seen.toStdString();
}

QJsonObject jsonOf(const QString &line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

class MbrtuDriver : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The driver reads its project database beside mbrtu.
        const ToolRun project = runTool({"project", "--link", "COM2", "--station", "1", "--tags", "DI1-8,DI11-12"});
        ASSERT_EQ(project.exitCode, 0) << project.err.toStdString();
        ASSERT_TRUE(slave.start());
        slave.withData([](sim::SlaveData &d) {
            d.holdingRegisters[0] = 10;
            d.holdingRegisters[1] = 0xFFFE;
            d.inputRegisters[4] = 0x4049;
            d.inputRegisters[5] = 0x0FDB;
            for (int i = 0; i < 16; ++i)
                d.discreteInputs[std::size_t(i)] = 1;
        });
    }

    // mbrtu with the link options for the simulated slave; the test's own
    // options come later and so win.
    ToolRun run(const QStringList &arguments)
    {
        const QStringList link = {"--port", QString::number(slave.port()), "--retries", "0", "--timeout", "1000"};
        return runTool(arguments.mid(0, 1) + link + arguments.mid(1));
    }

    // Runs mbrtu, which must succeed, and looks for each regular expression
    // in what it printed.
    void expectOutput(const QStringList &arguments, const QStringList &patterns)
    {
        const ToolRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        for (const QString &pattern : patterns)
            EXPECT_TRUE(QRegularExpression(pattern).match(result.out).hasMatch())
                << pattern.toStdString() << " in:\n" << result.out.toStdString();
    }

    sim::SimSlave slave;
};

TEST_F(MbrtuDriver, ReadsShowTheirValuesAndFrames)
{
    slave.injectFault(sim::Fault::split(3, 50)); // the device gathers the pieces, the trace joins them
    expectOutput({"read", "HR1", "--count", "2", "--trace"},
                 {"\\d\\d:\\d\\d:\\d\\d\\.\\d{3} -> 01 03 00 00 00 02 C4 0B\n", "<- 01 03 04 00 0A FF FE ",
                  "HR1 +10 +10 +0x000A\n", "HR2 +65534 +-2 +0xFFFE\n"});
    expectOutput({"read", "IR5SW", "--type", "dword", "--json"}, {"\"float\":3\\.14159", "\"hex\":\"0x40490FDB\""});
    expectOutput({"read", "IR5", "--type", "dword"}, {"0x0FDB4049"});
    // Byte reads of DI fetch only the inputs the project configures.
    expectOutput({"read", "DI1", "--type", "byte", "--count", "2", "--trace"},
                 {"-> 01 02 00 00 00 08 ", "-> 01 02 00 0A 00 02 ", "DI9-16 .*00001100"});
    slave.injectFault(sim::Fault::drop());
    expectOutput({"read", "HR1", "--poll", "20", "--polls", "3", "--timeout", "200"}, // 0: the last poll was good
                 {"poll 1: good 0, failed 1", "error: PLC no response \\(read 1 word\\(s\\) from 1-HR1\\)",
                  "poll 3: good 2, failed 1", "3 polls: 2 good, 1 failed"});
}

TEST_F(MbrtuDriver, WritesTypedValuesThatTheSlaveThenHolds)
{
    expectOutput({"write", "HR10", "-1", "0x1234"}, {"wrote 2 word\\(s\\) to HR10 on station 1"});
    expectOutput({"write", "HR20SW", "1.5", "--type", "dword"}, {});
    expectOutput({"write", "FN5DO3", "--type", "bit", "--", "1", "0", "1"}, {});
    expectOutput({"write", "HR30.4", "1", "--type", "bit", "--json"}, {"\"ok\":true"});
    slave.withData([](sim::SlaveData &d) {
        EXPECT_EQ(d.holdingRegisters[9], 0xFFFF);
        EXPECT_EQ(d.holdingRegisters[10], 0x1234);
        EXPECT_EQ(d.holdingRegisters[19], 0x3FC0); // 1.5f is 0x3FC00000, high word first
        EXPECT_EQ(d.holdingRegisters[20], 0x0000);
        EXPECT_EQ(QList<int>({d.coils[2], d.coils[3], d.coils[4]}), QList<int>({1, 0, 1}));
        EXPECT_EQ(d.holdingRegisters[29], 0x0010);
    });
}

TEST_F(MbrtuDriver, PollingStopsOnAnInterruptWithASummary)
{
    QProcess process;
    process.start(QStringLiteral(MBRTU_TOOL_PATH), {"read", "HR1", "--poll", "20", "--port", QString::number(slave.port())});
    QString seen;
    ASSERT_TRUE(waitForOutput(process, QStringLiteral("poll 2: good 2, failed 0"), &seen)) << seen.toStdString();
    EXPECT_TRUE(terminateAndWait(process, &seen));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\n(\\d+) polls: \\1 good, 0 failed\n$")).match(seen).hasMatch())
        << seen.toStdString();
}

TEST_F(MbrtuDriver, AFailedRequestIsStatusOneWithTheDriversError)
{
    sim::SimSlave gone;
    ASSERT_TRUE(gone.start());
    const QString gonePort = QString::number(gone.port());
    gone.stop();
    const struct
    {
        QStringList arguments;
        QString error;
    } cases[] = {
        {{"read", "HR1", "--station", "9", "--timeout", "200"}, "mbrtu: PLC no response (read 1 word(s) from 9-HR1)"},
        {{"read", "DI1", "--type", "bit", "--count", "2008"}, "mbrtu: exception code:0x03 (read 2008 bit(s) from 1-DI1)"},
        {{"read", "DI1", "--type", "byte", "--station", "2"}, "add them with: mbrtu project --tags"},
        {{"read", "HR1", "--link", "COM5"}, "write one with: mbrtu project --link COM5"},
        {{"read", "HR1", "--port", gonePort}, "mbrtu: connection refused (slave at 127.0.0.1:" + gonePort + ")"},
    };
    for (const auto &c : cases) {
        const ToolRun result = run(c.arguments + QStringList({"--json"}));
        EXPECT_EQ(result.exitCode, 1) << c.error.toStdString();
        EXPECT_TRUE(result.err.contains(c.error)) << result.err.toStdString();
        EXPECT_FALSE(jsonOf(result.out).value(QStringLiteral("ok")).toBool(true)) << c.error.toStdString();
    }
}

} // namespace
