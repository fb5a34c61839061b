// mbrtu watch against `mbrtu simulate` serving stations 1 and 2, its HR1
// counting up: --once with a third station nobody serves, and the live view
// in a tmux pane: the table on screen, a value that changes, and after
// Ctrl-C the terminal as it was (main screen, cursor shown).

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

#include "../../support/program_runner.h"

namespace {

const QString kMbrtu = QStringLiteral(MBRTU_TOOL_PATH);
constexpr int kScreenWaitMs = 10000;

class WatchAgainstSimulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(slave.start(kMbrtu,
                                {"simulate", "--port", "0", "--station", "1,2", "--count-up", "HR1",
                                 "--count-every", "200"},
                                "listening on"))
            << qPrintable(slave.said);
        port = QString::number(slave.listeningPort());
    }
    void TearDown() override { EXPECT_EQ(slave.stop(), 0); }

    Background slave;
    QString port;
};

TEST_F(WatchAgainstSimulator, OnceReadsTwoStationsAndGivesTheUnservedThirdsTagsTheirError)
{
    const Outcome run = runProgram(kMbrtu, {"watch", "--once", "--port", port, "--timeout", "200", "--retries", "0",
                                            "--tags", "HR1,IR7:int16,2-HR5,2-HR10:float32,3-HR1,3-IR2"});
    EXPECT_EQ(run.status, 1) << qPrintable(run.err);
    expectPrinted(run,
                  "^link 127.0.0.1:" + port + ", stations 1,2,3\n"
                  "tag +address +value +status\n"
                  "HR1 +HR1 +\\d+ +ok\n"
                  "IR7 +IR7 +6 +ok\n"
                  "2-HR5 +HR5 +0 +ok\n"
                  "2-HR10 +HR10 +0 +ok\n"
                  "3-HR1 +HR1 + PLC no response \\(read 1 word\\(s\\) from 3-(HR1|IR2)\\): no reply within 200 ms.*\n"
                  "3-IR2 +IR2 + PLC no response \\(read 1 word\\(s\\) from 3-(HR1|IR2)\\): no reply within 200 ms.*\n"
                  "6 tag\\(s\\) in 5 request\\(s\\), 1 cycle\\(s\\) in [0-9.]+ s: 4 read, 2 failed\n$",
                  ".*", "watch --once");
    // One request of the silent station goes out; the other carries its failure unsent.
    EXPECT_EQ(run.out.count(QStringLiteral("(not sent: the station gave no reply)")), 1) << qPrintable(run.out);
}

// Against libmodbus's RTU slave (station 7, RTU frames over TCP), which ignores
// station 9: the records of each cycle, numbers where values are, the silent
// station's tags noted backed off with the next try, exactly the cycles asked for.
TEST(WatchAgainstLibmodbus, RecordsEveryTagEveryCycleAndTheSilentStationsBackOff)
{
#ifndef LIBMODBUS_PEER_PATH
    GTEST_SKIP() << "libmodbus-dev is not installed: no libmodbus peer";
#else
    Background peer;
    ASSERT_TRUE(peer.start(LIBMODBUS_PEER_PATH, {"tcp", "0", "7"}, "ready port \\d+")) << qPrintable(peer.said);
    const QString port = QRegularExpression(QStringLiteral("port (\\d+)")).match(peer.said).captured(1);
    const Outcome run = runProgram(kMbrtu, {"watch", "--port", port, "--station", "7", "--tags", "HR1,IR3:int16,9-HR1",
                                            "--timeout", "300", "--retries", "1", "--period", "100", "--polls", "4", "--json"});
    EXPECT_EQ(run.status, 1) << qPrintable(run.err);
    const QString cycle = QStringLiteral("\\{\"address\":\"HR1\",\"link\":\"127.0.0.1:%1\",\"ok\":true,\"station\":7,"
                                         "\"tag\":\"HR1\",\"time\":\"[^\"]+\",\"value\":4096\\}\n"
                                         "\\{\"address\":\"IR3\",[^\n]*\"value\":14\\}\n"
                                         "\\{\"address\":\"HR1\",\"error\":\"PLC no response [^\n]*\"kind\":\"%2\",[^\n]*"
                                         "\"nextTryInMs\":\\d+,\"ok\":false,\"station\":9,[^\n]*\n").arg(port);
    expectPrinted(run, "^" + cycle.arg("timeout") + "(" + cycle.arg("backed-off") + "){3}$",
                  "^(mbrtu: no project database yet[^\n]*\n)?3 tag\\(s\\) in 3 request\\(s\\), 4 cycle\\(s\\) in [0-9.]+ s: 8 read, 4 failed\n$", "watch --json");
    peer.process.kill();
    peer.process.waitForFinished();
#endif
}

// A tmux server of its own, its one pane running a command.
class TmuxPane
{
public:
    explicit TmuxPane(const QString &command)
        : m_socket(QStringLiteral("mbrtu-watch-test-%1").arg(::getpid()))
    {
        m_started = tmux({"-f", "/dev/null", "new-session", "-d", "-x", "160", "-y", "30", "-s", "watch",
                          command})
                        .status == 0;
    }
    ~TmuxPane() { tmux({"kill-server"}); }

    bool started() const { return m_started; }
    QString screen() const { return tmux({"capture-pane", "-p", "-t", "watch"}).out; }
    QString format(const char *text) const { return tmux({"display-message", "-p", "-t", "watch", text}).out.trimmed(); }
    void press(const char *key) const { tmux({"send-keys", "-t", "watch", key}); }

    // Waits until the screen matches pattern; the first match, empty when none came.
    QString waitFor(const QString &pattern) const
    {
        const QRegularExpression wanted(pattern, QRegularExpression::MultilineOption);
        for (int waited = 0; waited < kScreenWaitMs; waited += 50) {
            const QRegularExpressionMatch match = wanted.match(screen());
            if (match.hasMatch())
                return match.captured(match.lastCapturedIndex());
            QThread::msleep(50);
        }
        return QString();
    }

private:
    Outcome tmux(QStringList arguments) const
    {
        arguments.prepend(m_socket);
        arguments.prepend(QStringLiteral("-L"));
        arguments.prepend(QStringLiteral("-u"));
        return runProgram(QStringLiteral("tmux"), arguments);
    }

    QString m_socket;
    bool m_started = false;
};

TEST_F(WatchAgainstSimulator, LiveViewInTmuxShowsTheTableAndACountingValueAndCtrlCRestoresTheTerminal)
{
    if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty())
        GTEST_SKIP() << "tmux is not installed (Debian package tmux)";
    // The project database first, so that nothing but the view is on the screen.
    const TmuxPane pane(QStringLiteral("%1 project --port %2 >/dev/null; printf 'before the view\\n'; "
                                       "env LANG=C.UTF-8 %1 watch --port %2 --period 200 "
                                       "--timeout 1000 --retries 0 --tags HR1,2-HR5,3-HR1; echo watch-exit=$?; sleep 60")
                            .arg(kMbrtu, port));
    ASSERT_TRUE(pane.started());

    // The table is up before station 3's first reply is due: its tag waits.
    EXPECT_FALSE(pane.waitFor(QStringLiteral("^(3-HR1 +HR1 +- +waiting)$")).isEmpty()) << qPrintable(pane.screen());

    // The table with its titles, each tag's line, a line per station.
    const QString first = pane.waitFor(QStringLiteral("^HR1 +HR1 +(\\d+) "));
    ASSERT_FALSE(first.isEmpty()) << qPrintable(pane.screen());
    ASSERT_FALSE(pane.waitFor(QStringLiteral("^(3-HR1 .*no reply within 1000 ms)$")).isEmpty()) << qPrintable(pane.screen());
    const QString screen = pane.screen();
    for (const char *line : {"^mbrtu watch: link 127.0.0.1:\\d+, stations 1,2,3: 3 tag\\(s\\) in 3 request\\(s\\), period 200 ms",
                             "^tag +address +value +age +trend +status$",
                             "^2-HR5 +HR5 +0 +\\d+\\.\\d s +\u2581+ +ok$",
                             "^3-HR1 +HR1 + - + (backed off, next try in [0-9.]+ s: |PLC no response \\(read 1 word\\(s\\) "
                             "from 3-HR1\\): )no reply within 1000 ms",
                             "^station 1: \\d+\\.\\d req/s, median \\d+\\.\\d ms, p99 \\d+\\.\\d ms, 0 failure\\(s\\)$",
                             "^station 3: .*no reply 1 time\\(s\\) in a row, back-off \\d+ s, next try in \\d"})
        EXPECT_TRUE(QRegularExpression(QString::fromUtf8(line), QRegularExpression::MultilineOption).match(screen).hasMatch())
            << line << " on screen:\n" << qPrintable(screen);
    EXPECT_EQ(pane.format("#{alternate_on} #{cursor_flag}"), QStringLiteral("1 0"));

    // The counting register moves on screen.
    const QString later = pane.waitFor(QStringLiteral("^HR1 +HR1 +(?!%1 )(\\d+) ").arg(first));
    EXPECT_FALSE(later.isEmpty()) << "HR1 stayed at " << qPrintable(first) << ":\n" << qPrintable(pane.screen());

    // Ctrl-C: the main screen again, with what was on it and the stations' lines below; 1, as
    // station 3 failed.
    pane.press("C-c");
    EXPECT_FALSE(pane.waitFor(QStringLiteral("^(watch-exit=1)$")).isEmpty()) << qPrintable(pane.screen());
    EXPECT_EQ(pane.format("#{alternate_on} #{cursor_flag}"), QStringLiteral("0 1"));
    const QString after = pane.screen();
    EXPECT_TRUE(matches(after, QStringLiteral("^before the view\nlink 127.0.0.1:\\d+, stations 1,2,3\nstation 1: .*\n"
                                              "station 2: .*\nstation 3: .*\n3 tag\\(s\\) in 3 request\\(s\\), \\d+ cycle\\(s\\) in "
                                              "[0-9.]+ s: \\d+ read, \\d+ failed, 0 stopped; interrupted by Ctrl-C\nwatch-exit=1\n")))
        << qPrintable(after);
}

} // namespace
