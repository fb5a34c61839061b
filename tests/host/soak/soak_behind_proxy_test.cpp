// The soak run against an external slave: `mbrtu simulate` as its own
// process, the soak's in-process fault proxy in front of it injecting faults,
// requests kept to an address range away from 0. The run must pass (no wrong
// value accepted or written, no unknown error text, no hang) with every fault
// kind met, and the slave must end cleanly.
//
// Echo is left out: a coil or input read of 17 to 24 bits has a reply exactly
// as long as its request, and the driver takes an echo of such a request, CRC
// and all, for the reply (it does not check the byte count), so an echo fault
// there is a wrong value accepted.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

namespace {

constexpr int kSlaveStartMs = 60000;
constexpr int kSoakLimitMs = 280000;

TEST(SoakBehindProxy, PassesAgainstTheSimulatedSlaveAsAnExternalOne)
{
    QProcess slave;
    slave.start(QStringLiteral(MBRTU_TOOL_PATH), {"simulate", "--port", "0", "--station", "17"});
    QString slaveSaid;
    while (!slaveSaid.contains("stop with Ctrl-C") && slave.waitForReadyRead(kSlaveStartMs))
        slaveSaid += QString::fromLocal8Bit(slave.readAllStandardOutput());
    const QString port = QRegularExpression("127\\.0\\.0\\.1:(\\d+)").match(slaveSaid).captured(1);
    ASSERT_FALSE(port.isEmpty()) << slaveSaid.toStdString();

    QProcess soak;
    soak.setProcessChannelMode(QProcess::MergedChannels);
    soak.start(QStringLiteral(MBRTU_SOAK_PATH),
               {"--slave", "127.0.0.1:" + port, "--proxy-faults", "drop,delay,corrupt,split,close,late",
                "--fault-rate", "0.1", "--requests", "3000", "--timeout-ms", "50", "--seed", "20240612",
                "--addresses", "1000-1299", "--progress", "0"});
    const bool finished = soak.waitForFinished(kSoakLimitMs);
    const QString report = QString::fromLocal8Bit(soak.readAll());
    if (!finished)
        soak.kill();
    EXPECT_TRUE(finished && soak.exitStatus() == QProcess::NormalExit && soak.exitCode() == 0) << report.toStdString();
    for (const char *expected : {"external slave on 127\\.0\\.0\\.1:", "requests +3000 in ", "wrong values accepted +0\n",
                                 "wrong values written +0\n", "unknown error texts +0\n", "hangs +0\n",
                                 "result +PASS", "values checked +[1-9]\\d* bits"})
        EXPECT_TRUE(report.contains(QRegularExpression(expected))) << expected << " not in:\n" << report.toStdString();
    for (const char *kind : {"drop", "delay", "corrupt", "split", "close", "late"})
        EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("faults injected .*[:,] %1 [1-9]").arg(kind))))
            << kind << " never injected:\n" << report.toStdString();
    std::printf("%s", qPrintable(report)); // the figures, for the log

    slave.terminate();
    EXPECT_TRUE(slave.waitForFinished(kSlaveStartMs) && slave.exitCode() == 0);
    slaveSaid += QString::fromLocal8Bit(slave.readAllStandardOutput());
    EXPECT_TRUE(slaveSaid.contains(QRegularExpression("stopped: \\d+ connection\\(s\\), [1-9]\\d{3,} request"))) << slaveSaid.toStdString();
}

} // namespace
