// mbrtu as a program: command lines with their exit status and what each
// prints on stdout and stderr, from usage errors and plug-in loading failures
// to the plug-in, found beside mbrtu, driving the simulated slave through the
// TCP device; a late reply never taken for the next request's; the simulate
// command as a gateway, the proxy in front of it, and polling ended by a
// signal, each command's exit status when a signal ends it.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>
#include <optional>
#include <signal.h>

#include "host/sim/sim_slave.h"
#include "../../support/program_runner.h"

namespace {

// Runs mbrtu; read and write get the link options for the slave first, so
// that the case's own win.
Outcome runMbrtu(QStringList arguments, int port)
{
    if (arguments.value(0) == QLatin1String("read") || arguments.value(0) == QLatin1String("write"))
        arguments = arguments.mid(0, 1) + QStringList{"--port", QString::number(port), "--retries", "0", "--timeout",
                                                      "1000"} + arguments.mid(1);
    return runProgram(QStringLiteral(MBRTU_TOOL_PATH), arguments);
}

TEST(Mbrtu, AnswersEachCommandLineWithItsStatusAndOutput)
{
    sim::SimSlave slave;
    // HR50 counts its reads: each reply carries a value of its own.
    slave.setMonitor([&slave](const QByteArray &request, const QByteArray &) {
        if (request.startsWith(QByteArray::fromHex("01030031")))
            slave.withData([](sim::SlaveData &d) { ++d.holdingRegisters[49]; });
    });
    ASSERT_TRUE(slave.start());
    slave.withData([](sim::SlaveData &d) {
        d.holdingRegisters[49] = 1000;
        d.holdingRegisters[0] = 10;
        d.holdingRegisters[1] = 0xFFFE;
        d.inputRegisters[4] = 0x4049;
        d.inputRegisters[5] = 0x0FDB;
        std::fill_n(d.discreteInputs.begin(), 16, 1);
    });
    QTemporaryDir dir;
    const QString fake = dir.filePath(QStringLiteral("fake.so"));
    QFile(fake).open(QIODevice::WriteOnly);
    const QString port = QString::number(slave.port());
    // out and err are regular expressions (. matching newlines too), "" for nothing printed; the
    // fault goes into the first reply.
    const struct { QStringList arguments; int status; QString out, err; std::optional<sim::Fault> fault;
                   bool pluginDirInEnvironment = false; } cases[] = {
        {{}, 2, "", "^mbrtu: no command given\nusage: mbrtu read"},
        {{"write", "HR1", "1", "-h"}, 0, "^usage: mbrtu read.*Exit status", ""},
        {{"read", "HR1", "--plugin-dir", "/nonexistent/drivers"}, 1, "", " in /nonexistent/drivers \\(use --plugin-dir",
         {}, true},
        {{"write", "HR1", "5"}, 1, "", " in /nonexistent/env \\(", {}, true},
        {{"read", "HR1", "--plugin-dir", fake}, 1, "", "cannot load plug-in"},
        {{"simulate", "--port", port}, 1, "", "cannot listen on 127.0.0.1:" + port},
        {{"project", "--app-dir", dir.path(), "--link", "COM3", "--link-id", "4", "--station", "4", "--tags",
          "DI1-64,DO1-32,2-DI5"},
         0, "^wrote .*/compile/database/database: link COM3 \\(HMI port 1004, link id 4\\), default station 4, slave at "
            "127\\.0\\.0\\.1:5020, 97 tag",
         ""},
        {{"project", "--app-dir", dir.path(), "--link", "ethernet2"}, 0, "link ethernet2 \\(HMI port 2000, ", ""},
        // The driver reads its project database beside mbrtu.
        {{"project", "--link", "COM2", "--station", "1", "--tags", "DI1-8,DI11-12", "--port", port}, 0,
         "station 1, slave at 127.0.0.1:" + port + ", 10 tag", ""},
        // Written again without --port: the slave's address stays.
        {{"project", "--link", "COM2", "--station", "1", "--tags", "DI1-8,DI11-12"}, 0,
         "station 1, slave at 127.0.0.1:" + port + ", 10 tag", ""},
        {{"project", "--show"}, 0, "^/.*/compile/database/database: link COM2 \\(HMI port 1003, link id 1\\), default "
         "station 1, slave at 127.0.0.1:" + port + ", 10 tag\\(s\\)\ntags: DI1-8,DI11-12\n$", ""},
        {{"project", "--show", "--link", "COM4"}, 1, "", " holds no project for link COM4; write one with: mbrtu project --link COM4\n$"},
        // Without --tags, watch polls the project's tags: DI1-8 and DI11-12 in one request.
        {{"watch", "--once"}, 0,
         "^link 127.0.0.1:" + port + " \\(stored in the project for COM2\\), station 1\n.*\nDI12 +DI12 +1 +ok\n"
         "10 tag\\(s\\) in 1 request\\(s\\), 1 cycle\\(s\\) in \\d+\\.\\d s: 10 read, 0 failed\n$", ""},
        // Without --port, scan goes where the project put the slave.
        {{"scan", "--stations", "1-3,9"}, 0,
         "^link 127.0.0.1:" + port + " \\(stored in the project for COM2\\), 4 station\\(s\\)\nscanning for HR1, 200 ms "
         "each\nstation   1  answered .*\n1 of 4 station\\(s\\) tried answered\n$", ""},
        {{"scan", "--stations", "5-9"}, 1, "\n0 of 5 station\\(s\\) tried answered\n$", ""},
        {{"--version"}, 0, "^mbrtu 1\\.0\\.0\nplug-in Modbus RTU Slave over TCP 1\\.0\\.0 from .*\\.so\n$", ""},
        {{"read", "IR5", "--station", "1,9", "--timeout", "200"}, 1,
         "^link 127.0.0.1:" + port + ", stations 1,9\nstation 1:\n.*IR5 +16457 .*\nstation 9:\n$",
         "^mbrtu: PLC no response \\(read 1 word\\(s\\) from 9-IR5\\): no reply within 200 ms\n$"},
        {{"write", "HR700", "-1.5", "--type", "float32", "--order", "CDAB", "--trace"}, 0, "-> 01 10 02 BB 00 02 04 00 00 BF C0 ", ""},
        {{"read", "HR700", "--type", "float32", "--order", "CDAB", "--count", "1"}, 0, "\nHR700 +-1\\.5\n$", ""},
        // The device gathers a split reply; the trace joins its pieces.
        {{"read", "HR1", "--count", "2", "--trace"}, 0,
         "^link 127.0.0.1:" + port + ", station 1\n\\d\\d:\\d\\d:\\d\\d\\.\\d{3} -> 01 03 00 00 00 02 C4 0B\n.* <- 01 03 04 00 0A FF FE .*\n"
         "address .*\nHR1 +10 +10 +0x000A\nHR2 +65534 +-2 +0xFFFE\n$",
         "", sim::Fault::split(3, 50)},
        {{"read", "IR5SW", "--type", "dword", "--json"}, 0, "\"float\":3\\.14159.*\"hex\":\"0x40490FDB\"", ""},
        {{"read", "IR5", "--type=dword"}, 0, "0x0FDB4049", ""},
        // Byte reads of DI fetch only the inputs the project configures.
        {{"read", "DI1", "--type", "byte", "--count", "2", "--trace"}, 0,
         "-> 01 02 00 00 00 08 .*-> 01 02 00 0A 00 02 .*DI9-16 .*00001100", ""},
        {{"read", "HR1", "--poll", "20", "--polls", "3", "--timeout", "200"}, 1, // 1: a poll failed
         "^link [^\n]*\npoll 1: good 0, failed 1\nerror: PLC no response \\(read 1 word\\(s\\) from 1-HR1\\): no reply within 200 ms\n"
         ".*poll 3: good 2, failed 1\n.*3 polls: 2 good, 1 failed \\(timeout 1\\), loss 33\\.3 %\n"
         "response time: min \\d+\\.\\d ms, average .*, 99th percentile \\d+\\.\\d ms\n$", "", sim::Fault::drop()},
        // The first reply (1000) comes after the time-out, while the second request is under way.
        {{"read", "HR50", "--poll", "20", "--polls", "2", "--timeout", "200"}, 1,
         "^link [^\n]*\npoll 1: good 0, failed 1\nerror: PLC no response .*poll 2: good 1, failed 1\n.*\nHR50 +1001 .*2 polls", "",
         sim::Fault::late(300)},
        // Every tag once, in as few requests as the block sizes allow; station 3 is not served.
        {{"watch", "--once", "--tags", "IR5:float32,IR7:int16,DI1-3,HR50,HR55.1,3-HR1", "--port", port, "--timeout", "200",
          "--retries", "0", "--trace"}, 1,
         "^(.* -> [^\n]*\n){4}.*\nIR5 +IR5 +3\\.1415927 +ok\nIR7 +IR7 +0 +ok\nDI1 +DI1 +1 +ok\n.*"
         "\n3-HR1 +HR1 + PLC no response \\(read 1 word\\(s\\) from 3-HR1\\): no reply within 200 ms\n"
         "8 tag\\(s\\) in 4 request\\(s\\), 1 cycle\\(s\\) in \\d+\\.\\d s: 7 read, 1 failed\n$", ""},
        {{"watch", "--once", "--tags", "HR50", "--port", port}, 0, "\nHR50 +HR50 +10\\d\\d +ok\n1 tag", ""},
        // Not on a terminal: a record per tag per cycle; the silent station waits out its back-off.
        // Not on a terminal: a record per tag per cycle, stamped when its reply came; the silent
        // station's tags say each cycle that it is backed off and when its next try is.
        {{"watch", "--tags", "HR50,3-HR1", "--port", port, "--period", "50", "--polls", "3", "--json", "--timeout", "100",
          "--retries", "0"}, 1,
         "^\\{\"address\":\"HR50\",\"link\":\"127.0.0.1:" + port + "\",\"ok\":true,\"station\":1,\"tag\":\"HR50\","
         "\"time\":\"20[-0-9T:.]+Z\",\"value\":10\\d\\d\\}\n"
         "\\{\"address\":\"HR1\",\"error\":\"PLC no response [^\n]*\",\"kind\":\"timeout\",\"link\":\"[^\"]+\","
         "\"nextTry\":\"20[-0-9T:.]+Z\",\"nextTryInMs\":[1-9]\\d{3},\"ok\":false,\"station\":3,[^\n]*\n"
         "(\\{\"address\":\"HR50\",[^\n]*\n\\{\"address\":\"HR1\",\"error\":\"PLC no response [^\n]*\"kind\":"
         "\"backed-off\",[^\n]*\"nextTryInMs\":\\d+,\"ok\":false,[^\n]*\n){2}$",
         "^2 tag\\(s\\) in 2 request\\(s\\), 3 cycle\\(s\\) in \\d+\\.\\d s: 3 read, 3 failed\n$"},
        {{"watch", "--once", "--tags", "HR50,IR7:int16", "--port", port, "--csv"}, 0,
         "^time,link,station,tag,address,value,error\n20[-0-9T:.]+Z,127.0.0.1:" + port + ",1,HR50,HR50,10\\d\\d,\n"
         "20[-0-9T:.]+Z,127.0.0.1:" + port + ",1,IR7,IR7,0,\n$", "^2 tag\\(s\\) in 2 request\\(s\\), 1 cycle"},
        {{"write", "HR10", "-1", "0x1234"}, 0, "^link 127.0.0.1:" + port + ", station 1\nwrote 2 word\\(s\\) to HR10 on station 1\n$", ""},
        {{"write", "HR90", "0x55", "--station", "0"}, 0, "to HR90 as a broadcast to station 0 \\(sent once, no reply awaited\\)\n$", ""},
        {{"write", "HR20SW", "1.5", "--type", "dword"}, 0, "wrote 1 dword", ""},
        {{"write", "FN5DO3", "--type", "bit", "--", "1", "0", "1"}, 0, "wrote 3 bit", ""},
        {{"write", "HR30.4", "1", "--type", "bit", "--json"}, 0, "\"ok\":true", ""},
        {{"read", "HR1", "--station", "9", "--timeout", "200", "--json"}, 1,
         "^\\{\"address\":\"HR1\",\"count\":1,\"error\":\"PLC no response \\(read 1 word\\(s\\) from 9-HR1\\)\",\"explanation\":"
         "\"no reply within 200 ms\",\"kind\":\"timeout\",\"link\":\"127.0.0.1:" + port + "\",\"ok\":false,\"station\":9,\"time\":\"20\\d\\d-\\d\\d-\\d\\dT[0-9:.]+Z\","
         "\"type\":\"word\"\\}\n$",
         "^mbrtu: PLC no response \\(read 1 word\\(s\\) from 9-HR1\\): no reply within 200 ms\n$"},
        // Over one request's limit: two requests, one result.
        {{"read", "DI1", "--type", "bit", "--count", "2008", "--trace"}, 0,
         "-> 01 02 00 00 07 D0 .*-> 01 02 07 D0 00 08 .*\nDI2008 +0\n$", ""},
        {{"read", "DI1", "--type", "byte", "--station", "2"}, 1, "^link [^\n]*, station 2\n$", "add them with: mbrtu project --tags"},
        {{"read", "HR1", "--link", "COM5"}, 1, "^link [^\n]*, station 1\n$", "write one with: mbrtu project --link COM5"},
        {{"read", "HR1", "--port", "1"}, 1, "^link 127.0.0.1:1, station 1\n$", "^mbrtu: connection refused \\(slave at 127.0.0.1:1\\)"},
    };
    for (const auto &c : cases) {
        if (c.fault)
            slave.injectFault(*c.fault);
        if (c.pluginDirInEnvironment) // --plugin-dir wins over it
            qputenv("MBRTU_PLUGIN_DIR", "/nonexistent/env");
        const Outcome run = runMbrtu(c.arguments, slave.port());
        qunsetenv("MBRTU_PLUGIN_DIR");
        EXPECT_EQ(run.status, c.status) << c.arguments.join(' ').toStdString();
        expectPrinted(run, c.out, c.err, c.arguments.join(' '));
    }
    slave.withData([](sim::SlaveData &d) {
        EXPECT_EQ(QList<int>({d.holdingRegisters[9], d.holdingRegisters[10], d.holdingRegisters[19],
                              d.holdingRegisters[20], d.holdingRegisters[29], d.holdingRegisters[89]}),
                  QList<int>({0xFFFF, 0x1234, 0x3FC0, 0x0000, 0x0010, 0x55})); // 1.5f is 0x3FC00000, high word first
        EXPECT_EQ(QList<int>({d.coils[2], d.coils[3], d.coils[4]}), QList<int>({1, 0, 1}));
    });
}

TEST(Mbrtu, TalksToTheSimulatedGatewayDirectlyAndThroughTheProxy)
{
    Background gateway, proxy;
    ASSERT_TRUE(gateway.start(MBRTU_TOOL_PATH, {"simulate", "--port", "0", "--gateway", "--line-baud", "9600"},
                              "stop with Ctrl-C")) << gateway.said.toStdString();
    const int gatewayPort = gateway.listeningPort();
    ASSERT_TRUE(proxy.start(MBRTU_TOOL_PATH, {"proxy", "--listen", "0", "--to", "127.0.0.1:" + QString::number(gatewayPort),
                                              "--trace"}, "stop with Ctrl-C")) << proxy.said.toStdString();
    const int proxyPort = proxy.listeningPort();
    const struct { QStringList arguments; int port, status; QString out, err; int atLeastMs; } cases[] = {
        {{"read", "HR1", "--station", "3"}, proxyPort, 1, "^link 127.0.0.1:\\d+, station 3\n$",
         "^(mbrtu: no project database yet[^\n]*\n)?mbrtu: exception code:0x0B \\(read 1 word\\(s\\) from 3-HR1\\): gateway fault: "
         "target device failed to respond\n$"},
        {{"write", "HR40", "0x1234", "7", "--trace"}, proxyPort, 0, "-> 01 10 00 27 00 02 04 12 34 00 07 .*\nwrote 2 word", ""},
        {{"read", "HR40", "--count", "2", "--trace"}, proxyPort, 0, "<- 01 03 04 12 34 00 07 .*HR41 +7 ", ""},
        // 8 + 255 bytes at 11 bits a byte take 301 ms on the line.
        {{"read", "IR1", "--count", "125"}, gatewayPort, 0, "IR125 +124 ", "", 250},
    };
    QString traced;
    for (const auto &c : cases) {
        QElapsedTimer timer;
        timer.start();
        const Outcome run = runMbrtu(c.arguments, c.port);
        EXPECT_EQ(run.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_GE(timer.elapsed(), c.atLeastMs);
        expectPrinted(run, c.out, c.err, c.arguments.join(' '));
        traced += run.out;
    }
    EXPECT_EQ(proxy.stop(), 0);
    // Every frame went through the proxy as it was.
    const QRegularExpression frame(QStringLiteral("\\d\\d\\.\\d{3} (->|<-) ([0-9A-F ]+)\n"));
    int frames = 0;
    for (auto match = frame.globalMatch(traced); match.hasNext(); ++frames) {
        const QRegularExpressionMatch m = match.next();
        EXPECT_TRUE(proxy.said.contains(QRegularExpression(" #\\d+ " + m.captured(1) + " " + m.captured(2) + "\n")))
            << m.captured(0).toStdString() << " not in the proxy's trace:\n" << proxy.said.toStdString();
    }
    EXPECT_EQ(frames, 4);
    EXPECT_TRUE(proxy.said.contains("stopped: 3 connection(s) (0 could not reach the slave), 3 replies, 0 piece(s) passed on"))
        << proxy.said.toStdString();
    EXPECT_EQ(gateway.stop(), 0);
}

TEST(Mbrtu, PollsTheSimulatedSlaveUntilInterruptedAndBothSumUp)
{
    Background slave, poll;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--port", "0", "--station", "1,5", "--trace"},
                            "stop with Ctrl-C")) << slave.said.toStdString();
    // Input registers start out holding their own zero-based addresses.
    ASSERT_TRUE(poll.start(MBRTU_TOOL_PATH, {"read", "IR8", "--station", "5", "--poll", "20", "--port",
                                             QString::number(slave.listeningPort())}, "poll 2: good 2, failed 0"))
        << poll.said.toStdString();
    EXPECT_EQ(poll.stop(), 143); // SIGTERM, every poll good
    EXPECT_TRUE(matches(poll.said, "IR8 +7 +7 +0x0007\n.*\n(\\d+) polls: \\1 good, 0 failed, loss 0\\.0 %\nresponse time: min ")) << poll.said.toStdString();
    EXPECT_EQ(slave.stop(), 0);
    EXPECT_TRUE(matches(slave.said, "<- 05 04 00 07 00 01 .*\n.* -> 05 04 02 00 07 .*\n"
                                    "stopped: 1 connection\\(s\\), (\\d+) request\\(s\\), \\1 replies"))
        << slave.said.toStdString();
}

TEST(Mbrtu, ARunEndedBySignalSumsUpWithTheRequestCutOffAsStoppedAndExitsByTheOneRule)
{
    Background slave;
    ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--port", "0", "--station", "1,2"}, "stop with Ctrl-C"));
    const QStringList link{"--port", QString::number(slave.listeningPort())};
    // Station 9 never answers: with a time-out of 30 s every run is cut off under way, unless it
    // failed before (station 8 with 200 ms) or was between requests.
    const struct { QStringList arguments; int signal, status; QString out, err; } cases[] = {
        {{"read", "HR1", "--station", "9", "--timeout", "30000"}, SIGTERM, 143, "^link [^\n]*\n$",
         ": stopped by Ctrl-C or SIGTERM\n$"},
        {{"read", "HR1", "--station", "9", "--timeout", "30000", "--poll", "10"}, SIGINT, 130,
         "^link [^\n]*\n1 polls: 0 good, 0 failed, 1 stopped, loss 0\\.0 %\nresponse time: no good poll\n$", ""},
        {{"read", "HR1", "--poll", "10"}, SIGTERM, 143, "\n(\\d+) polls: \\1 good, 0 failed, loss 0\\.0 %\n", ""},
        {{"write", "HR1", "5", "--station", "9", "--timeout", "30000"}, SIGINT, 130, "^link [^\n]*\n$",
         ": stopped by Ctrl-C or SIGTERM\n$"},
        {{"scan", "--stations", "1-2,9", "--timeout", "30000"}, SIGINT, 130,
         "\nstation   2  answered .*\n2 of 2 station\\(s\\) tried answered \\(interrupted by Ctrl-C after 2 of 3\\)\n$", ""},
        {{"watch", "--tags", "HR1,2-HR1,9-HR1", "--timeout", "30000"}, SIGTERM, 143,
         "\n3 tag\\(s\\) in 3 request\\(s\\), 1 cycle\\(s\\) in [0-9.]+ s: 2 read, 0 failed, 1 stopped; interrupted by SIGTERM\n$", ""},
        {{"watch", "--tags", "HR1,8-HR1", "--timeout", "200", "--retries", "0", "--period", "50"}, SIGINT, 1,
         "\n2 tag\\(s\\) in 2 request\\(s\\), \\d+ cycle\\(s\\) in [0-9.]+ s: \\d+ read, \\d+ failed, 0 stopped; interrupted by Ctrl-C\n$",
         ""},
    };
    for (const auto &c : cases) {
        QProcess run;
        run.start(MBRTU_TOOL_PATH, c.arguments + link);
        ASSERT_TRUE(run.waitForStarted());
        QThread::msleep(800);
        ::kill(pid_t(run.processId()), c.signal);
        ASSERT_TRUE(run.waitForFinished(kHangLimitMs));
        const Outcome outcome{run.exitCode(), QString::fromLocal8Bit(run.readAllStandardOutput()),
                              QString::fromLocal8Bit(run.readAllStandardError())};
        EXPECT_EQ(outcome.status, c.status) << c.arguments.join(' ').toStdString() << "\n" << outcome.err.toStdString();
        expectPrinted(outcome, c.out, c.err, c.arguments.join(' '));
    }
    EXPECT_EQ(slave.stop(), 0);
}

} // namespace
