// mbrtu end to end: the plug-in, found beside mbrtu, driving the simulated
// slave through the TCP device.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "e2e/tool_process.h"
#include "host/sim_slave.h"

namespace {

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
    process.start(QStringLiteral(MBRTU_TOOL_PATH),
                  {"read", "HR1", "--poll", "20", "--json", "--port", QString::number(slave.port())});
    QString seen;
    ASSERT_TRUE(waitForOutput(process, QStringLiteral("\"poll\":2"), &seen)) << seen.toStdString();
    EXPECT_TRUE(terminateAndWait(process, &seen));
    for (const QString &line : seen.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject poll = jsonOf(line);
        EXPECT_TRUE(poll.value(QStringLiteral("ok")).toBool()) << line.toStdString();
        EXPECT_EQ(poll.value(QStringLiteral("good")).toInt(), poll.value(QStringLiteral("poll")).toInt());
    }
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
