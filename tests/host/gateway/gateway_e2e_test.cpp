// mbrtu gateway as a program, with Modbus TCP clients no one here wrote
// (libmodbus, pymodbus's ModbusTcpClient, mbpoll) in front of `mbrtu
// simulate` and of libmodbus's RTU slave over TCP and on a serial pty; and
// with hostile clients on raw sockets, who must lose only their own
// connection.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "../../support/program_runner.h"

namespace {

struct Row
{
    const char *request;
    const char *answer; // a pattern
};

// The program, fed the requests a line each, answers each with a line
// matching its pattern.
void expectAnswers(const QString &program, const QStringList &arguments, std::initializer_list<Row> rows)
{
    QProcess process;
    process.start(program, arguments);
    for (const Row &row : rows)
        process.write(QByteArray(row.request) + '\n');
    process.closeWriteChannel();
    if (!process.waitForFinished(kHangLimitMs))
        process.kill();
    const QStringList answers = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    int i = 0;
    for (const Row &row : rows) {
        const QString answer = answers.value(i++);
        EXPECT_TRUE(matches(answer, QStringLiteral("^%1$").arg(QLatin1String(row.answer))))
            << row.request << ": " << answer.toStdString() << " is not " << row.answer;
    }
}

// A raw TCP connection to the gateway.
class RawClient
{
public:
    explicit RawClient(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    ~RawClient() { ::close(m_fd); }
    void send(const QByteArray &bytes) { ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL); }
    // What came until want bytes came, the gateway closed the connection
    // (*closed) or nothing came for waitMs.
    QByteArray receive(int waitMs, int want, bool *closed)
    {
        QByteArray got;
        pollfd fd = {m_fd, POLLIN, 0};
        char chunk[4096];
        ssize_t n = 1;
        while (got.size() < want && ::poll(&fd, 1, waitMs) > 0 && (n = ::recv(m_fd, chunk, sizeof chunk, 0)) > 0)
            got.append(chunk, int(n));
        *closed = n <= 0;
        return got;
    }
    // Closed by the gateway within waitMs, without a byte.
    bool closedWithin(int waitMs)
    {
        bool closed = false;
        return receive(waitMs, 1, &closed).isEmpty() && closed;
    }

private:
    int m_fd;
};

// The client gets these answers (hex) within a few seconds.
void expectAnswer(RawClient &client, const char *hex)
{
    bool closed = false;
    EXPECT_EQ(client.receive(5000, int(strlen(hex)) / 2, &closed).toHex(), QByteArray(hex));
}

QByteArray mbap(int transactionId, int unit, const char *pduHex)
{
    return QByteArray::fromHex(QString::asprintf("%04x0000%04x%02x%s", transactionId, int(strlen(pduHex)) / 2 + 1,
                                                 unit, pduHex).toLatin1());
}

class Gateway : public ::testing::Test
{
protected:
    // Whatever still runs ends cleanly (a sanitizer's report would fail its exit status).
    void TearDown() override
    {
        for (Background *program : {&gateway, &slave}) {
            if (program->process.state() != QProcess::NotRunning)
                EXPECT_EQ(program->stop(), 0) << program->said.toStdString();
        }
    }

    // Starts `mbrtu simulate` (stations 1 and 2; 5 answered 0x0A as a
    // gateway would) and the gateway in front of it.
    void startBehind(const QStringList &gatewayOptions)
    {
        ASSERT_TRUE(slave.start(MBRTU_TOOL_PATH, {"simulate", "--port", "0", "--station", "1,2", "--unreachable", "5"},
                                "stop with Ctrl-C"))
            << slave.said.toStdString();
        startGateway(QStringList{"--port", QString::number(slave.listeningPort())} + gatewayOptions);
    }
    void startGateway(const QStringList &options)
    {
        gateway.said.clear();
        ASSERT_TRUE(gateway.start(MBRTU_TOOL_PATH, QStringList{"gateway", "--listen", "0", "--app-dir", appDir.path()} + options,
                                  "stop with Ctrl-C"))
            << gateway.said.toStdString();
        port = gateway.listeningPort();
    }
#ifdef LIBMODBUS_TCP_CLIENT_PATH
    const QString libmodbusClient = QStringLiteral(LIBMODBUS_TCP_CLIENT_PATH);
#else
    const QString libmodbusClient;
#endif
    QTemporaryDir appDir;
    Background slave, gateway;
    int port = 0;
};

TEST_F(Gateway, ServesEveryFunctionToThreeClientsOnTwoStations)
{
    startBehind({"--timeout", "200", "--station", "2"});
    if (libmodbusClient.isEmpty())
        GTEST_SKIP() << "libmodbus-dev is not installed";
    // UNIT FUNCTION ADDRESS ARG... (zero-based); the simulated slave's inputs
    // start as DI i % 2 == 0 and IR i.
    expectAnswers(libmodbusClient, {"lines", QString::number(port)},
                  {{"1 16 10 7 8 9", "ok"}, {"2 16 10 4 5 6", "ok"}, {"1 3 10 3", "ok 7 8 9"},
                   {"2 3 10 3", "ok 4 5 6"}, {"255 3 10 1", "ok 4"}, {"1 6 20 555", "ok"}, {"1 3 20 1", "ok 555"},
                   {"2 15 5 1 0 1", "ok"}, {"2 1 5 3", "ok 1 0 1"}, {"1 1 5 3", "ok 0 0 0"}, {"1 5 30 1", "ok"},
                   {"1 1 30 1", "ok 1"}, {"1 2 0 4", "ok 1 0 1 0"}, {"2 4 0 3", "ok 0 1 2"},
                   {"0 6 40 99", "ok"}, {"1 3 40 1", "ok 99"}, {"2 3 40 1", "ok 99"}, {"0 3 40 1", "exception 1"},
                   {"1 3 65535 2", "exception 2"}, {"5 3 0 1", "exception 10"},
                   {"9 3 0 1", "exception 11"}, {"9 3 0 1", "exception 11"}});
    const QString python = QStringLiteral("/usr/bin/python3");
    if (runProgram(python, {"-c", "import pymodbus"}).status == 0)
        expectAnswers(python, {INTEROP_SCRIPT_DIR "/pymodbus_client.py", QString::number(port), "--lines", "--mbap"},
                      {{"1 read-hr 10 3", R"(\{"ok": true, "values": \[7, 8, 9\]\})"},
                       {"2 write-reg 41 77", R"(\{"ok": true\})"},
                       {"2 read-hr 41 1", R"(\{"ok": true, "values": \[77\]\})"},
                       {"2 write-hr 50 1 2", R"(\{"ok": true\})"},
                       {"255 read-hr 50 2", R"(\{"ok": true, "values": \[1, 2\]\})"},
                       {"1 write-coil 3 1", R"(\{"ok": true\})"},
                       {"2 write-co 60 1 0 1", R"(\{"ok": true\})"},
                       {"1 read-co 3 1", R"(\{"ok": true, "values": \[1\]\})"},
                       {"2 read-co 60 3", R"(\{"ok": true, "values": \[1, 0, 1\]\})"},
                       {"1 read-di 0 3", R"(\{"ok": true, "values": \[1, 0, 1\]\})"},
                       {"1 read-ir 0 2", R"(\{"ok": true, "values": \[0, 1\]\})"},
                       {"250 read-hr 0 1", R"(\{"ok": false, "exception": 10\})"},
                       {"9 read-hr 0 1", R"(\{"ok": false, "exception": 11\})"}});
    // mbpoll's -t: 0 coils, 1 discrete inputs, 3 input registers, 4 holding registers; -r counts from 1.
    const struct { QStringList options; QString out; } mbpoll[] = {
        {{"-t", "4", "-r", "71", "127.0.0.1", "11", "12"}, "Written 2 references"},
        {{"-t", "4", "-r", "73", "127.0.0.1", "13"}, "Written 1 references"},
        {{"-t", "4", "-r", "71", "-c", "3", "-1", "127.0.0.1"}, "\\[71\\]: \t11\n\\[72\\]: \t12\n\\[73\\]: \t13\n"},
        {{"-t", "0", "-r", "81", "127.0.0.1", "1", "0", "1"}, "Written 3 references"},
        {{"-t", "0", "-r", "84", "127.0.0.1", "1"}, "Written 1 references"},
        {{"-t", "0", "-r", "81", "-c", "4", "-1", "127.0.0.1"}, "\\[81\\]: \t1\n\\[82\\]: \t0\n\\[83\\]: \t1\n\\[84\\]: \t1\n"},
        {{"-t", "1", "-r", "1", "-c", "2", "-1", "127.0.0.1"}, "\\[1\\]: \t1\n\\[2\\]: \t0\n"},
        {{"-t", "3", "-r", "11", "-c", "2", "-1", "127.0.0.1"}, "\\[11\\]: \t10\n\\[12\\]: \t11\n"},
    };
    for (const auto &c : mbpoll) {
        const Outcome run = runProgram(QStringLiteral("mbpoll"), QStringList{"-m", "tcp", "-p", QString::number(port), "-a", "2"} + c.options);
        EXPECT_TRUE(matches(run.out, c.out)) << c.options.join(' ').toStdString() << ":\n" << run.out.toStdString();
    }
    EXPECT_EQ(gateway.stop(), 0);
    // The silent station cost the line once, then was backed off.
    EXPECT_TRUE(matches(gateway.said, "answers: ok \\d+, slave exception 1, refused 3, no reply 1, bad reply 0, "
                                      "link down 0, backed off 2, deadline 0"))
        << gateway.said.toStdString();
}

TEST_F(Gateway, AnswersTheLinkDownWith0x0AAndStopsCleanly)
{
    startBehind({"--timeout", "200", "--trace", "--status-every", "300"});
    RawClient client(port);
    client.send(mbap(7, 1, "0300000001"));
    expectAnswer(client, "0007000000050103020000");
    slave.stop();
    client.send(mbap(8, 1, "0300000001"));
    expectAnswer(client, "00080000000301830a");
    EXPECT_TRUE(gateway.waitFor("status: 1 client\\(s\\), [0-9.]+ requests/s; answers: ok 1, .*link down 1"));
    EXPECT_EQ(gateway.stop(), 0);
    for (const char *line : {"client 1 MBAP in  00 07 00 00 00 06 01 03 00 00 00 01", "RTU [0-9:.]+ -> 01 03 00 00 00 01 84 0A",
                             "RTU [0-9:.]+ <- 01 03 02 00 00 B8 44", "client 1 MBAP out 00 07 00 00 00 05 01 03 02 00 00",
                             "client 1 closed: gateway stopping", "stopped: 1 client\\(s\\) served"})
        EXPECT_TRUE(matches(gateway.said, QLatin1String(line))) << line << " not in:\n" << gateway.said.toStdString();
}

TEST_F(Gateway, AHostileClientLosesOnlyItsOwnConnection)
{
    startBehind({"--timeout", "200"});
    RawClient good(port);
    // Four requests before the first answer are answered in order.
    good.send(mbap(1, 1, "0300000001") + mbap(2, 2, "2B0E0100") + mbap(3, 2, "0400030002") + mbap(6, 1, "030000007E"));
    expectAnswer(good, "000100000005010302000000020000000302ab0100030000000702040400030004000600000003018303");
    const struct { const char *name; QByteArray bytes; const char *why; } hostile[] = {
        {"protocol id 1", QByteArray::fromHex("00010001000601030000000a"), "malformed header: protocol id 1"},
        {"length 1", QByteArray::fromHex("0001000000010103"), "malformed header: length 1"},
        {"length 255", QByteArray::fromHex("0001000000ff"), "malformed header: length 255"},
        {"length past the data", mbap(1, 1, "030000000100"), "malformed request: function 3 with 6"},
        {"a frame cut off", QByteArray::fromHex("000100000006010300"), "a frame left unfinished"},
        {"64 KiB of garbage", QByteArray(65536, '\xA5'), "malformed header: protocol id 42405"},
    };
    for (const auto &client : hostile) {
        RawClient bad(port);
        bad.send(client.bytes);
        EXPECT_TRUE(bad.closedWithin(3000)) << client.name;
        EXPECT_TRUE(gateway.waitFor(QLatin1String(client.why))) << client.name;
    }
    RawClient slow(port); // a byte a second
    for (int i = 0; i < 2; ++i) {
        slow.send(QByteArray(1, '\0'));
        ::usleep(600 * 1000);
    }
    EXPECT_TRUE(slow.closedWithin(2000));
    good.send(mbap(4, 1, "0600090007") + mbap(5, 1, "0300090001"));
    expectAnswer(good, "0004000000060106000900070005000000050103020007");
}

TEST_F(Gateway, RefusesClientsAndWritesItIsToldToAndClosesIdleOnes)
{
    startBehind({"--allow", "10.0.0.0/8,192.0.2.7"});
    RawClient outsider(port);
    EXPECT_TRUE(outsider.closedWithin(2000));
    EXPECT_TRUE(gateway.waitFor("client 127.0.0.1:\\d+ refused: not in --allow"));
    EXPECT_EQ(gateway.stop(), 0);

    startGateway({"--port", QString::number(slave.listeningPort()), "--max-clients", "1", "--read-only",
                  "--idle-timeout", "1500", "--allow", "127.0.0.0/8"});
    RawClient first(port);
    first.send(mbap(1, 1, "0600010005") + mbap(2, 1, "0300010001"));
    expectAnswer(first, "0001000000030186010002000000050103020000");
    RawClient second(port);
    EXPECT_TRUE(second.closedWithin(2000));
    EXPECT_TRUE(gateway.waitFor("refused: 1 clients already \\(--max-clients\\)"));
    EXPECT_TRUE(first.closedWithin(3000));
    EXPECT_TRUE(gateway.waitFor("client 1 closed: idle for 1500 ms \\(2 request\\(s\\)\\)"));
}

TEST_F(Gateway, AnswersARequestPastItsDeadlineWith0x0B)
{
    // The silent station holds the line for 1.5 s; what waits behind it, and
    // the silent request itself, are answered at their deadline.
    startBehind({"--timeout", "1500", "--retries", "0", "--deadline", "300", "--trace"});
    RawClient client(port);
    RawClient other(port);
    client.send(mbap(1, 9, "0300000001"));
    ASSERT_TRUE(gateway.waitFor("RTU [0-9:.]+ -> 09 03 00 00 00 01")); // on the line
    other.send(mbap(2, 1, "0300000001"));
    expectAnswer(client, "00010000000309830b");
    expectAnswer(other, "00020000000301830b");
    EXPECT_EQ(gateway.stop(), 0);
    EXPECT_TRUE(matches(gateway.said, "deadline 2")) << gateway.said.toStdString();
}

TEST_F(Gateway, ServesLibmodbusRtuSlaveOverTcpAndOnASerialLine)
{
#ifndef LIBMODBUS_PEER_PATH
    GTEST_SKIP() << "libmodbus-dev is not installed";
#else
    // The peer's tables (zero-based i): holding 0x1000 + i, input 7 * i,
    // coil on for i % 3 == 0, discrete input on for i % 5 == 0; 10000 of each.
    ASSERT_TRUE(slave.start(LIBMODBUS_PEER_PATH, {"tcp", "0", "7"}, "port \\d+")) << slave.said.toStdString();
    const int peerPort = QRegularExpression("port (\\d+)").match(slave.said).captured(1).toInt();
    startGateway({"--port", QString::number(peerPort), "--station", "7", "--timeout", "200"});
    expectAnswers(libmodbusClient, {"lines", QString::number(port)},
                  {{"7 3 0 3", "ok 4096 4097 4098"}, {"7 16 100 1 2", "ok"}, {"255 3 100 2", "ok 1 2"},
                   {"7 4 10 1", "ok 70"}, {"7 3 9999 2", "exception 2"}, {"8 3 0 1", "exception 11"}});
    EXPECT_EQ(gateway.stop(), 0);
    slave.stop();

    if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        GTEST_SKIP() << "socat is not installed";
    QTemporaryDir links;
    QProcess socat;
    socat.start("socat", {"pty,raw,echo=0,link=" + links.filePath("slave"), "pty,raw,echo=0,link=" + links.filePath("master")});
    for (int i = 0; i < 1000 && !QFileInfo::exists(links.filePath("master")); ++i)
        ::usleep(10000);
    Background peer;
    ASSERT_TRUE(peer.start(LIBMODBUS_PEER_PATH, {"serial", links.filePath("slave"), "19200", "N", "8", "2", "7"}, "ready"));
    startGateway({"--serial", links.filePath("master"), "--baud", "19200", "--parity", "N", "--stop-bits", "2",
                  "--station", "7", "--timeout", "300"});
    expectAnswers(libmodbusClient, {"lines", QString::number(port)},
                  {{"7 1 0 4", "ok 1 0 0 1"}, {"7 5 20 1", "ok"}, {"7 15 21 0 1", "ok"}, {"7 1 20 3", "ok 1 0 1"},
                   {"7 6 200 77", "ok"}, {"7 3 200 1", "ok 77"}, {"7 2 4 3", "ok 0 1 0"}, {"7 3 9999 2", "exception 2"}});
    EXPECT_EQ(gateway.stop(), 0);
    peer.process.kill();
    peer.process.waitForFinished();
    socat.terminate();
    socat.waitForFinished();
#endif
}

} // namespace
