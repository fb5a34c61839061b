// mbrtu on a serial line, over pseudo-terminal pairs made by socat: against
// libmodbus's own RTU server, with Debian's mbpoll as the master of
// `mbrtu simulate --serial`, echo on and off on both links, a gateway's
// exceptions, late replies, and a port that vanishes mid-poll and comes back.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

#include "../../support/program_runner.h"

namespace {

Outcome mbrtu(const QStringList &arguments)
{
    return runProgram(QStringLiteral(MBRTU_TOOL_PATH), arguments);
}

class SerialLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *program : {"socat", "mbpoll"}) {
            if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
                GTEST_SKIP() << program << " is not installed (Debian package " << program << ")";
        }
        ASSERT_TRUE(startPair());
    }
    void TearDown() override { stopPair(); }

    // The pair's two ends appear as links: the slave's end and the master's.
    bool startPair()
    {
        socat.setStandardErrorFile(QProcess::nullDevice());
        socat.start("socat", {"pty,raw,echo=0,link=" + slaveEnd, "pty,raw,echo=0,link=" + masterEnd});
        for (int i = 0; i < 1000 && !(QFileInfo::exists(slaveEnd) && QFileInfo::exists(masterEnd)); ++i)
            ::usleep(10000);
        return QFileInfo::exists(slaveEnd) && QFileInfo::exists(masterEnd);
    }
    void stopPair()
    {
        socat.terminate();
        socat.waitForFinished(kHangLimitMs);
    }

    QTemporaryDir links;
    const QString slaveEnd = links.filePath("slave"), masterEnd = links.filePath("master");
    QProcess socat;
};

TEST_F(SerialLine, MbrtuReadsAndWritesLibmodbusRtuServerWithEveryFunction)
{
#ifndef LIBMODBUS_PEER_PATH
    GTEST_SKIP() << "libmodbus-dev is not installed: no libmodbus peer";
#else
    // The peer's tables (zero-based i): holding 0x1000 + i, input 7 * i,
    // coil on for i % 3 == 0, discrete input on for i % 5 == 0.
    Background peer;
    ASSERT_TRUE(peer.start(LIBMODBUS_PEER_PATH, {"serial", slaveEnd, "19200", "N", "8", "2", "7"}, "ready"))
        << peer.said.toStdString();
    const QStringList link = {"--serial", masterEnd, "--baud", "19200", "--parity", "N", "--stop-bits", "2",
                              "--station", "7", "--retries", "0", "--trace"};
    const struct { QStringList arguments; QString out; } cases[] = {
        {{"read", "HR1", "--count", "3"}, "^link " + masterEnd + " 19200 8N2, station 7\n.* -> 07 03 00 00 00 03 .*HR1 +4096 .*HR3 +4098 "},
        {{"read", "IR11", "--type", "dword"}, "-> 07 04 00 0A 00 02 .*0x004D0046"}, // 77, 70: low word first
        {{"read", "DO1", "--type", "bit", "--count", "4"}, "-> 07 01 00 00 00 04 .*DO1 +1\nDO2 +0\nDO3 +0\nDO4 +1\n"},
        {{"read", "DI5", "--type", "bit", "--count", "3"}, "-> 07 02 00 04 00 03 .*DI5 +0\nDI6 +1\nDI7 +0\n"},
        {{"write", "HR100", "0x1234", "0x5678"}, "-> 07 10 00 63 00 02 04 12 34 56 78 .*wrote 2 word"},
        {{"write", "FN6HR200", "77"}, "-> 07 06 00 C7 00 4D .*wrote 1 word"},
        {{"write", "DO10", "1", "1", "0", "--type", "bit"}, "-> 07 0F 00 09 00 03 01 03 .*wrote 3 bit"},
        {{"write", "FN5DO20", "1", "--type", "bit"}, "-> 07 05 00 13 FF 00 .*wrote 1 bit"},
        {{"write", "HR301.4", "1", "--type", "bit"}, "-> 07 03 01 2C 00 01 .*wrote 1 bit"},
    };
    for (const auto &c : cases) {
        const Outcome run = mbrtu(c.arguments + link);
        EXPECT_EQ(run.status, 0) << c.arguments.join(' ').toStdString() << "\n" << run.err.toStdString();
        EXPECT_TRUE(matches(run.out, c.out)) << c.out.toStdString() << " not in:\n" << run.out.toStdString();
    }
    // What the peer's tables hold after the writes, as it reports them.
    EXPECT_TRUE(peer.waitFor("hr 300 \\d+\n")) << peer.said.toStdString();
    EXPECT_EQ(peer.said, "ready\nhr 99 4660\nhr 100 22136\nhr 199 77\ncoil 9 1\ncoil 10 1\ncoil 11 0\ncoil 19 1\n"
                         "hr 300 4412\n"); // 0x112C with bit 4 set
    peer.process.kill();
    peer.process.waitForFinished();
#endif
}

TEST_F(SerialLine, MbpollReadsAndWritesMbrtuSimulate)
{
    Background slave;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--serial", slaveEnd, "--parity", "N", "--trace"},
                            "stop with Ctrl-C")) << slave.said.toStdString();
    const QStringList link = {"-m", "rtu", "-b", "9600", "-P", "none", "-a", "1"};
    // mbpoll's -t: 0 coils, 1 discrete inputs, 3 input registers, 4 holding registers; -r counts from 1.
    const struct { QStringList options, values; QString out, request; } cases[] = {
        {{"-t", "3", "-r", "5", "-c", "2", "-1"}, {}, "\\[5\\]: \t4\n\\[6\\]: \t5\n", "01 04 00 04 00 02"},
        {{"-t", "1", "-r", "1", "-c", "3", "-1"}, {}, "\\[1\\]: \t1\n\\[2\\]: \t0\n\\[3\\]: \t1\n", "01 02 00 00 00 03"},
        {{"-t", "4", "-r", "10"}, {"1234"}, "Written 1 references", "01 06 00 09 04 D2"},
        {{"-t", "4", "-r", "20"}, {"1", "2"}, "Written 2 references", "01 10 00 13 00 02 04 00 01 00 02"},
        {{"-t", "0", "-r", "3"}, {"1"}, "Written 1 references", "01 05 00 02 FF 00"},
        {{"-t", "0", "-r", "7"}, {"1", "0", "1"}, "Written 3 references", "01 0F 00 06 00 03 01 05"},
        {{"-t", "4", "-r", "9", "-c", "2", "-1"}, {}, "\\[9\\]: \t0\n\\[10\\]: \t1234\n", "01 03 00 08 00 02"},
        {{"-t", "4", "-r", "20", "-c", "2", "-1"}, {}, "\\[20\\]: \t1\n\\[21\\]: \t2\n", "01 03 00 13 00 02"},
        {{"-t", "0", "-r", "2", "-c", "8", "-1"}, {},
         "\\[2\\]: \t0\n\\[3\\]: \t1\n.*\\[7\\]: \t1\n\\[8\\]: \t0\n\\[9\\]: \t1\n", "01 01 00 01 00 08"},
    };
    for (const auto &c : cases) {
        const QStringList arguments = link + c.options + QStringList{masterEnd} + c.values;
        const Outcome run = runProgram(QStringLiteral("mbpoll"), arguments);
        EXPECT_EQ(run.status, 0) << arguments.join(' ').toStdString() << "\n" << run.out.toStdString()
                                 << run.err.toStdString();
        EXPECT_TRUE(matches(run.out, c.out)) << c.out.toStdString() << " not in:\n" << run.out.toStdString();
        EXPECT_TRUE(slave.waitFor(" <- " + c.request + " ")) << c.request.toStdString() << " not in:\n"
                                                             << slave.said.toStdString();
    }
    EXPECT_EQ(slave.stop(), 0);
    EXPECT_TRUE(slave.said.contains("stopped: 1 opening(s) of the port, 9 request(s), 9 replies, 0 discarded"))
        << slave.said.toStdString();
}

TEST_F(SerialLine, EchoesGatewayExceptionsAndLateRepliesOnBothLinks)
{
    // Each row runs against a fresh `mbrtu simulate` with its options, once on
    // the serial line and once on TCP.
    const struct { QStringList slave, read; int status; QString err, out; } cases[] = {
        {{"--echo"}, {"--echo"}, 0, "", "HR1 +0 "},
        {{}, {"--echo"}, 1, "PLC no response .*: echo did not match the request\nmbrtu: --echo expects every request handed back"},
        {{}, {"--echo", "--station", "9"}, 1, "PLC no response .*: no echo of the request\n"},
        {{"--echo"}, {}, 1, "^mbrtu: CRC error \\(read 1 word\\(s\\) from 1-HR1\\)\n$"},
        {{"--gateway", "--unreachable", "5"}, {"--station", "3"}, 1,
         "^mbrtu: exception code:0x0B \\(read 1 word\\(s\\) from 3-HR1\\): gateway fault: target device failed to respond\n$"},
        {{"--gateway", "--unreachable", "5"}, {"--station", "5"}, 1,
         "^mbrtu: exception code:0x0A \\(read 1 word\\(s\\) from 5-HR1\\): gateway fault: path unavailable\n$"},
        // Every reply comes 300 ms after its request, after the time-out and
        // before the next request: none may be taken for the next one's.
        {{"--faults", "late", "--fault-rate", "1", "--late-ms", "300"}, {"--poll", "400", "--polls", "3"}, 1, "",
         "\n3 polls: 0 good, 3 failed \\(timeout 3\\), loss 100\\.0 %\n"},
    };
    for (const bool serial : {true, false}) {
        for (const auto &c : cases) {
            Background slave;
            const QStringList where = serial ? QStringList{"--serial", slaveEnd} : QStringList{"--port", "0"};
            ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, QStringList{"simulate"} + where + c.slave, "stop with Ctrl-C"))
                << slave.said.toStdString();
            const QStringList link = serial ? QStringList{"--serial", masterEnd}
                                            : QStringList{"--port", QString::number(slave.listeningPort())};
            const Outcome run = mbrtu(QStringList{"read", "HR1", "--retries", "0", "--timeout", "200"} + link + c.read);
            const QString what = (c.slave + QStringList{"/"} + c.read).join(' ') + (serial ? " on serial" : " on TCP");
            EXPECT_EQ(run.status, c.status) << what.toStdString() << "\n" << run.err.toStdString();
            EXPECT_TRUE(c.err.isEmpty() || matches(run.err, c.err))
                << what.toStdString() << ": " << c.err.toStdString() << " in:\n" << run.err.toStdString();
            EXPECT_TRUE(c.out.isEmpty() || matches(run.out, c.out))
                << what.toStdString() << ": " << c.out.toStdString() << " in:\n" << run.out.toStdString();
            EXPECT_EQ(slave.stop(), 0) << what.toStdString();
        }
    }
}

// The stations of one line share its port: watch opens it once for all.
TEST_F(SerialLine, WatchReadsSeveralStationsThroughOnePort)
{
    Background slave;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--serial", slaveEnd, "--station", "1,2"}, "stop with Ctrl-C"));
    const Outcome run = mbrtu({"watch", "--once", "--serial", masterEnd, "--tags", "HR1,2-HR5,3-HR1,2-IR7", "--timeout",
                               "200", "--retries", "0"});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    expectPrinted(run,
                  "^link " + masterEnd + " 9600 8E1, stations 1,2,3\n.*"
                  "\nHR1 +HR1 +0 +ok\n2-HR5 +HR5 +0 +ok\n3-HR1 +HR1 + PLC no response .*: no reply within 200 ms\n"
                  "2-IR7 +IR7 +6 +ok\n4 tag\\(s\\) in 4 request\\(s\\), 1 cycle\\(s\\) in [0-9.]+ s: 3 read, 1 failed\n$",
                  ".*", "watch on a serial line");
    EXPECT_EQ(slave.stop(), 0);
}

// The project keeps the serial line: later commands go there without --serial
// until --host or --port puts the link back on TCP.
TEST_F(SerialLine, ProjectStoresTheSerialLineForLaterCommands)
{
    Background slave;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--serial", slaveEnd, "--station", "1,2"}, "stop with Ctrl-C"));
    QTemporaryDir app;
    const QString dir = app.path();
    const struct
    {
        QStringList arguments;
        int status;
        QString printed;
    } steps[] = {
        {{"project", "--serial", masterEnd, "--baud", "19200", "--station", "2"}, 0,
         ", default station 2, serial line " + masterEnd + " 19200 8E1, 0 tag\\(s\\)\n$"},
        {{"project", "--tags", "DI1-4"}, 0, ", default station 1, serial line " + masterEnd + " 19200 8E1, 4 tag"},
        {{"read", "IR8", "--station", "2"}, 0,
         "^link " + masterEnd + " 19200 8E1 \\(stored in the project for COM2\\), station 2\n.*\nIR8 +7 "},
        {{"project", "--port", "1"}, 0, ", slave at 127.0.0.1:1, 0 tag"},
        {{"project", "--show"}, 0, ", default station 1, slave at 127.0.0.1:1, 0 tag\\(s\\)\n$"},
    };
    for (const auto &step : steps) {
        const Outcome run = mbrtu(QStringList(step.arguments) << "--app-dir" << dir);
        EXPECT_EQ(run.status, step.status) << step.arguments.join(' ').toStdString() << '\n' << run.err.toStdString();
        expectPrinted(run, step.printed, "", step.arguments.join(' ').toStdString().c_str());
    }
    EXPECT_EQ(slave.stop(), 0);
}

TEST_F(SerialLine, PollingFailsCleanlyWhileThePortIsGoneAndGoesOnOnceItIsBack)
{
    Background slave, poll;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--serial", slaveEnd}, "stop with Ctrl-C"));
    ASSERT_TRUE(poll.start(MBRTU_TOOL_PATH, {"read", "IR8", "--serial", masterEnd, "--poll", "50", "--timeout", "200",
                                             "--retries", "0"}, "poll 2: good 2, failed 0"))
        << poll.said.toStdString();
    stopPair();
    ASSERT_TRUE(poll.waitFor("failed 2\n")) << poll.said.toStdString();
    ASSERT_TRUE(startPair());
    const int back = poll.said.size();
    EXPECT_TRUE(poll.waitFor("poll \\d+: good \\d+, failed [1-9]\\d*\naddress[^\n]*\nIR8 +7 ", back)) << poll.said.toStdString();
    EXPECT_EQ(poll.stop(), 1); // polls failed
    // Each failure names the port gone, or the port missing while it was.
    const QStringList errors = poll.said.split('\n').filter(QRegularExpression("^error: "));
    EXPECT_GE(errors.size(), 2);
    for (const QString &error : errors)
        EXPECT_TRUE(matches(error, "^error: (port gone \\(read 1 word\\(s\\) from 1-IR8\\)|no such port \\(serial port "
                                   ".*/master\\)|PLC no response .*)$"))
            << error.toStdString();
    EXPECT_TRUE(matches(poll.said, "\n\\d+ polls: \\d+ good, [2-9]\\d* failed \\(")) << poll.said.toStdString();
    EXPECT_EQ(slave.stop(), 0);
    EXPECT_TRUE(slave.said.contains(QRegularExpression("stopped: [2-9] opening\\(s\\) of the port")))
        << slave.said.toStdString();
}

} // namespace
