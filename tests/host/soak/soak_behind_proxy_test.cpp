// The soak run against external slaves: `mbrtu simulate` and libmodbus's RTU
// server on TCP, each as its own process, the soak's fault proxy (the one
// `mbrtu proxy` runs) in front of it injecting faults, requests kept to an
// address range away from 0. The run must pass (no wrong value accepted or
// written, no unknown error text, no hang) with every fault kind met, and the
// slave must still serve at the end.
//
// Echo is left out: a coil or input read of 17 to 24 bits has a reply exactly
// as long as its request, and the driver takes an echo of such a request, CRC
// and all, for the reply (it does not check the byte count), so an echo fault
// there is a wrong value accepted.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThread>

namespace {

constexpr int kSlaveStartMs = 60000;
constexpr int kSoakLimitMs = 280000;

struct ExternalSlave
{
    const char *name;
    QString program;
    QStringList arguments;
    const char *requests;
    const char *seed;
};

void soakAgainst(const ExternalSlave &external)
{
    // The slave's output goes to a file: it may print more than a pipe holds
    // while nobody reads it.
    QTemporaryFile slaveOutput;
    ASSERT_TRUE(slaveOutput.open());
    QProcess slave;
    slave.setStandardOutputFile(slaveOutput.fileName());
    slave.start(external.program, external.arguments);
    ASSERT_TRUE(slave.waitForStarted(kSlaveStartMs)) << external.name;
    // "listening on 127.0.0.1:PORT" (mbrtu simulate) or "ready port PORT" (libmodbus)
    const QRegularExpression portText("(?:127\\.0\\.0\\.1:|ready port )(\\d+)");
    QString slaveSaid;
    QElapsedTimer waited;
    waited.start();
    while (!portText.match(slaveSaid).hasMatch() && waited.elapsed() < kSlaveStartMs) {
        QThread::msleep(10);
        slaveSaid += QString::fromLocal8Bit(slaveOutput.readAll());
    }
    const QString port = portText.match(slaveSaid).captured(1);
    ASSERT_FALSE(port.isEmpty()) << slaveSaid.toStdString();

    QProcess soak;
    soak.setProcessChannelMode(QProcess::MergedChannels);
    soak.start(QStringLiteral(MBRTU_SOAK_PATH),
               {"--slave", "127.0.0.1:" + port, "--station", "17", "--proxy-faults", "drop,delay,corrupt,split,close,late",
                "--fault-rate", "0.1", "--requests", external.requests, "--timeout-ms", "50", "--seed", external.seed,
                "--addresses", "1000-1299", "--progress", "0"});
    const bool finished = soak.waitForFinished(kSoakLimitMs);
    const QString report = QString::fromLocal8Bit(soak.readAll());
    if (!finished)
        soak.kill();
    EXPECT_TRUE(finished && soak.exitStatus() == QProcess::NormalExit && soak.exitCode() == 0) << report.toStdString();
    for (const QString &expected : {QStringLiteral("external slave on 127\\.0\\.0\\.1:"),
                                    QStringLiteral("requests +%1 in ").arg(external.requests),
                                    QStringLiteral("wrong values accepted +0\n"), QStringLiteral("wrong values written +0\n"),
                                    QStringLiteral("unknown error texts +0\n"), QStringLiteral("hangs +0\n"),
                                    QStringLiteral("result +PASS"), QStringLiteral("values checked +[1-9]\\d* bits")})
        EXPECT_TRUE(report.contains(QRegularExpression(expected))) << expected.toStdString() << " not in:\n"
                                                                   << report.toStdString();
    for (const char *kind : {"drop", "delay", "corrupt", "split", "close", "late"})
        EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("faults injected .*[:,] %1 [1-9]").arg(kind))))
            << kind << " never injected:\n" << report.toStdString();
    std::printf("%s: %s", external.name, qPrintable(report)); // the figures, for the log

    EXPECT_FALSE(slave.waitForFinished(0)) << external.name << " ended during the soak";
    slave.terminate();
    EXPECT_TRUE(slave.waitForFinished(kSlaveStartMs));
}

TEST(SoakBehindProxy, PassesAgainstMbrtuSimulate)
{
    soakAgainst({"mbrtu simulate", QStringLiteral(MBRTU_TOOL_PATH), {"simulate", "--port", "0", "--station", "17"},
                 "3000", "20240612"});
}

TEST(SoakBehindProxy, PassesAgainstLibmodbus)
{
#ifndef LIBMODBUS_PEER_PATH
    GTEST_SKIP() << "libmodbus-dev is not installed: no libmodbus peer";
#else
    soakAgainst({"libmodbus", QStringLiteral(LIBMODBUS_PEER_PATH), {"tcp", "0", "17"}, "5000", "20261208"});
#endif
}

} // namespace
