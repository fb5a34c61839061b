// The simulated slave and the fault proxy on the wire, seen by a raw socket
// client: echoes, a paced serial line, late replies, what the slave throws
// away or ignores, the proxy passing bytes
// through unchanged, its faults, several masters at once and a slave it
// cannot reach. Times are only ever bounded from below (or by a generous
// time-out): a slow machine can make things later, never earlier.

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "host/sim/fault_proxy.h"
#include "host/sim/sim_slave.h"
#include "host_test_util.h"

using namespace sim;

namespace {

constexpr int kPatienceMs = 10000;

// A raw TCP client on loopback.
class Client
{
public:
    explicit Client(uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    }
    ~Client() { ::close(m_fd); }

    void send(const QByteArray &bytes) { EXPECT_EQ(::send(m_fd, bytes.constData(), size_t(bytes.size()), 0), bytes.size()); }
    // Up to count bytes, gathered until they are there, the peer closes or waitMs passes.
    QByteArray receive(int count, int waitMs = kPatienceMs)
    {
        QByteArray bytes;
        QElapsedTimer timer;
        timer.start();
        char chunk[512];
        pollfd fd = {m_fd, POLLIN, 0};
        while (bytes.size() < count && ::poll(&fd, 1, int(std::max<qint64>(0, waitMs - timer.elapsed()))) > 0) {
            const ssize_t got = ::recv(m_fd, chunk, size_t(std::min<int>(count - bytes.size(), sizeof chunk)), 0);
            if (got <= 0) {
                m_closed = true;
                break;
            }
            bytes.append(chunk, int(got));
        }
        return bytes;
    }
    bool closed() const { return m_closed; }

private:
    int m_fd;
    bool m_closed = false;
};

QByteArray readHr(int station, int address, int count)
{
    return withCrc(QByteArray::fromHex(QString::asprintf("%02X03%04X%04X", station, address, count).toLatin1()));
}

// The reply of the slave the tests use: every holding register holds its address + 0x100.
QByteArray replyHr(int station, int address, int count)
{
    QByteArray reply = QByteArray::fromHex(QString::asprintf("%02X03%02X", station, 2 * count).toLatin1());
    for (int i = 0; i < count; ++i)
        reply += QByteArray::fromHex(QString::asprintf("%04X", address + i + 0x100).toLatin1());
    return withCrc(reply);
}

void fill(SlaveData &data)
{
    for (int i = 0; i < kAddressSpace; ++i)
        data.holdingRegisters[std::size_t(i)] = uint16_t(i + 0x100);
}

TEST(SimSlaveOnTheWire, EchoesPacesAndAnswersLate)
{
    SlaveConfig echoing;
    echoing.echo = true;
    SlaveConfig paced; // 9600 baud, 11 bits: 8 + 255 bytes take 301 ms
    paced.line = SerialLine{9600, 11};
    const struct { const char *name; SlaveConfig config; std::optional<Fault> fault; QByteArray request, expected;
                   int atLeastMs; } cases[] = {
        {"echo", echoing, {}, readHr(1, 7, 2), readHr(1, 7, 2) + replyHr(1, 7, 2), 0},
        {"echo of an unserved station, no reply", echoing, {}, readHr(9, 7, 2), readHr(9, 7, 2), 0},
        {"a 125-register reply on a 9600 baud line", paced, {}, readHr(1, 0, 125), replyHr(1, 0, 125), 250},
        {"a late reply, then the next one in order", SlaveConfig(), Fault::late(300), readHr(1, 3, 1) + readHr(1, 4, 1),
         replyHr(1, 3, 1) + replyHr(1, 4, 1), 300},
        {"an echo fault", SlaveConfig(), Fault::echo(), readHr(1, 5, 1), readHr(1, 5, 1) + replyHr(1, 5, 1), 0},
    };
    for (const auto &c : cases) {
        SimSlave slave(c.config);
        slave.withData(fill);
        ASSERT_TRUE(slave.start());
        if (c.fault)
            slave.injectFault(*c.fault);
        Client client(slave.port());
        QElapsedTimer timer;
        timer.start();
        client.send(c.request);
        EXPECT_EQ(hexOf(client.receive(c.expected.size())), hexOf(c.expected)) << c.name;
        EXPECT_GE(timer.elapsed(), c.atLeastMs) << c.name;
        EXPECT_TRUE(client.receive(1, 100).isEmpty()) << c.name << ": nothing more";
    }
}

TEST(SimSlaveOnTheWire, ReportsWhatItThrowsAwayOrIgnoresAndStaysInStep)
{
    SimSlave slave; // station 1
    std::mutex mutex;
    std::condition_variable reported;
    QStringList reports;
    slave.setDiscardMonitor([&](const QByteArray &bytes, DiscardReason reason) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.append(hexOf(bytes) + " (" + discardNote(bytes, reason) + ")");
        reported.notify_all();
    });
    std::atomic<int> taken{0}; // requests the monitor sees: not the ignored one
    slave.setMonitor([&taken](const QByteArray &, const QByteArray &) { ++taken; });
    ASSERT_TRUE(slave.start());
    QByteArray garbled = readHr(1, 0, 1);
    garbled[5] = char(garbled[5] ^ 1);
    const QByteArray partial = readHr(1, 0, 1).left(5), unserved = readHr(9, 0, 1);
    Client client(slave.port());
    const QByteArrayList inputs = {garbled, partial, unserved};
    for (int i = 0; i < inputs.size(); ++i) { // each reported before the next goes out
        client.send(inputs[i]);
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(reported.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [&] { return reports.size() > i; }));
    }
    client.send(readHr(1, 0, 1));
    EXPECT_EQ(client.receive(replyHr(1, 0, 1).size()).size(), replyHr(1, 0, 1).size());
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(reports, QStringList({hexOf(garbled) + " (discarded: bad CRC)", hexOf(partial) + " (discarded: partial frame)",
                                    hexOf(unserved) + " (ignored: station 9 not served)"}));
    EXPECT_EQ(taken, 1);
}

struct ProxyFixture : ::testing::Test
{
    void SetUp() override
    {
        for (int station : {1, 2})
            slave.withStationData(station, fill);
        ASSERT_TRUE(slave.start());
        config.slaveHost = QStringLiteral("127.0.0.1");
        config.slavePort = slave.port();
        proxy = std::make_unique<FaultProxy>(config);
        ASSERT_TRUE(proxy->start());
    }

    SimSlave slave{[] { SlaveConfig c; c.stations = makeStationSet({1, 2}); return c; }()};
    ProxyConfig config;
    std::unique_ptr<FaultProxy> proxy;
};

TEST_F(ProxyFixture, PassesBytesThroughAndPutsEachFaultIntoTheReply)
{
    const QByteArray request = readHr(1, 9, 3);
    const QByteArray reply = replyHr(1, 9, 3);
    QByteArray corrupted = reply;
    corrupted[3] = char(corrupted[3] ^ 0x5A);
    // expected: the bytes the master gets; closes: the proxy ends the connection.
    const struct { std::optional<Fault> fault; QByteArray expected; bool closes; int atLeastMs; } cases[] = {
        {{}, reply, false, 0},
        {Fault::corrupt(3, 0x5A), corrupted, false, 0},
        {Fault::echo(), request + reply, false, 0},
        {Fault::split(2, 150), reply, false, 150},
        {Fault::delay(200), reply, false, 200},
        {Fault::late(300), reply, false, 300},
        {Fault::drop(), QByteArray(), false, 0},
        {Fault::close(), QByteArray(), true, 0},
    };
    for (const auto &c : cases) {
        if (c.fault)
            proxy->injectFault(*c.fault);
        Client master(proxy->port());
        QElapsedTimer timer;
        timer.start();
        master.send(request);
        const QByteArray got = master.receive(c.expected.isEmpty() ? 1 : c.expected.size(), c.expected.isEmpty() ? 500 : kPatienceMs);
        const QString name = c.fault ? describeFault(*c.fault) : QStringLiteral("no fault");
        EXPECT_EQ(hexOf(got), hexOf(c.expected)) << name.toStdString();
        EXPECT_GE(timer.elapsed(), c.atLeastMs) << name.toStdString();
        EXPECT_EQ(master.closed(), c.closes) << name.toStdString();
    }
    // Garbage goes to the slave unchanged, which stays silent; the link stays usable.
    Client master(proxy->port());
    master.send(hexBytes("FF 00 13 37"));
    EXPECT_TRUE(master.receive(1, 300).isEmpty());
    master.send(request);
    EXPECT_EQ(hexOf(master.receive(reply.size())), hexOf(reply));
    EXPECT_EQ(proxy->stats().replies, 9u); // every reply framed, nothing passed on unframed
    EXPECT_EQ(proxy->stats().passedAsIs, 0u);
}

TEST_F(ProxyFixture, GivesEveryMasterItsOwnSlaveConnection)
{
    Client first(proxy->port()), second(proxy->port());
    for (int round = 0; round < 3; ++round) {
        second.send(readHr(2, 100 + round, 2));
        first.send(readHr(1, round, 1));
        EXPECT_EQ(hexOf(first.receive(replyHr(1, round, 1).size())), hexOf(replyHr(1, round, 1)));
        EXPECT_EQ(hexOf(second.receive(replyHr(2, 100 + round, 2).size())), hexOf(replyHr(2, 100 + round, 2)));
    }
    EXPECT_EQ(slave.stats().connections, 2u);
    EXPECT_EQ(proxy->stats().connections, 2u);
}

TEST(FaultProxy, ClosesAMasterWhoseSlaveCannotBeReachedAndRefusesAnUnknownHost)
{
    ProxyConfig config;
    config.slaveHost = QStringLiteral("127.0.0.1");
    config.slavePort = 1; // nothing listens there
    FaultProxy proxy(config);
    ASSERT_TRUE(proxy.start());
    Client master(proxy.port());
    EXPECT_TRUE(master.receive(1).isEmpty());
    EXPECT_TRUE(master.closed());
    EXPECT_EQ(proxy.stats().slaveFailures, 1u);

    config.slaveHost = QStringLiteral("no-such-host.invalid");
    QString error;
    EXPECT_FALSE(FaultProxy(config).start(&error));
    EXPECT_TRUE(error.startsWith("cannot look up no-such-host.invalid")) << error.toStdString();
}

} // namespace
