// The TCP device against the simulated slave (partial and late replies,
// time-outs, reconnects, the error texts, the trace) and the slave's server
// side (several connections, stream framing); a small slave of the test's
// own resets a link between requests. The e2e tests cover a reply split in
// two, one that never comes, and a refused connection.

#include <gtest/gtest.h>

#include <QList>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "host/frame_trace.h"
#include "host/sim_slave.h"
#include "host_test_util.h"

using namespace sim;

namespace {

constexpr int kShortTimeoutMs = 150;

// Waits for a condition another thread makes true; gives up after a generous
// while so that a broken build fails instead of hanging.
bool eventually(const std::function<bool()> &condition)
{
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

class TcpDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(slave.start());
        slave.withData([](SlaveData &d) {
            d.holdingRegisters[0] = 0x1234;
            d.holdingRegisters[1] = 0x5678;
        });
    }

    TcpDeviceSettings settingsFor(int timeoutMs = 1000, int lookSkipWindowUs = 1000) const
    {
        TcpDeviceSettings settings;
        settings.port = slave.port();
        settings.responseTimeoutMs = settings.connectTimeoutMs = timeoutMs;
        settings.lookSkipWindowUs = lookSkipWindowUs;
        return settings;
    }

    // Opens the device, reads HR0 through it, then has the slave close the
    // link.
    void exchangeThenLoseTheLink(TcpDevice &device)
    {
        ASSERT_TRUE(device.open());
        ASSERT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
        slave.closeConnections();
        ASSERT_TRUE(eventually([&] { return slave.openConnections() == 0; }));
    }

    const QByteArray readHr0 = rtuFrame("01 03 00 00 00 01");
    const QByteArray hr0Reply = rtuFrame("01 03 02 12 34");
    const QByteArray readHr1 = rtuFrame("01 03 00 01 00 01");
    const QByteArray hr1Reply = rtuFrame("01 03 02 56 78");
    QList<TraceEntry> entries;
    FrameTrace trace{[this](const TraceEntry &entry) { entries.append(entry); }};
    SimSlave slave;
};

// Long enough that every request in a test follows the last read within it.
constexpr int kAlwaysRecentUs = 60 * 1000 * 1000;

// The count of frames of the trace sent out.
int sentFrames(const QList<TraceEntry> &entries)
{
    int sent = 0;
    for (const TraceEntry &entry : entries)
        sent += entry.direction == TraceDirection::Sent ? 1 : 0;
    return sent;
}

TEST_F(TcpDeviceTest, ReturnsThePartThatCameInTimeAndDiscardsTheRestBeforeTheNextRequest)
{
    // A read that timed out never lets the next request skip the look.
    const int windows[] = {0, kAlwaysRecentUs};
    for (uint64_t round = 0; round < 2; ++round) {
        const int windowUs = windows[round];
        SCOPED_TRACE(windowUs);
        entries.clear();
        slave.injectFault(Fault::split(3, 300));
        TcpDevice device(settingsFor(kShortTimeoutMs, windowUs));
        device.setTrace(&trace);
        ASSERT_TRUE(device.open());
        EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply.left(3));
        EXPECT_EQ(device.errorString(), QStringLiteral("timed out"));
        EXPECT_TRUE(device.isOpen());
        // Each round before this one had two replies.
        ASSERT_TRUE(eventually([&] { return slave.stats().replies == 2 * round + 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the rest reaches the socket
        EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
        trace.flush();
        ASSERT_EQ(entries.size(), 5);
        EXPECT_EQ(entries[2].direction, TraceDirection::Discarded);
        EXPECT_EQ(entries[2].bytes, hr0Reply.mid(3));
        EXPECT_EQ(entries[4].bytes, hr1Reply);
    }
}

TEST_F(TcpDeviceTest, SendsARequestOnceMoreOnANewLinkWhenTheSlaveClosedItJustBefore)
{
    // Looked for, the closed link is reopened before anything goes out;
    // skipped, the request is found on a dead link and sent again.
    struct Case
    {
        int windowUs;
        int framesSent;
    };
    for (const Case &c : {Case{0, 2}, Case{kAlwaysRecentUs, 3}}) {
        SCOPED_TRACE(c.windowUs);
        entries.clear();
        TcpDevice device(settingsFor(1000, c.windowUs));
        device.setTrace(&trace);
        ASSERT_NO_FATAL_FAILURE(exchangeThenLoseTheLink(device));
        EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
        EXPECT_TRUE(device.isOpen());
        EXPECT_EQ(device.connectCount(), 2);
        trace.flush();
        EXPECT_EQ(sentFrames(entries), c.framesSent);
    }
}

// A slave for the send side of a lost link: it answers the one request of its
// first connection and, when told, resets that link, so that the next request
// fails in the send itself; on its second connection it answers and closes.
class ResettingSlave
{
public:
    ResettingSlave(QByteArray first, QByteArray second)
    {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *any = reinterpret_cast<sockaddr *>(&address);
        if (::bind(m_listenFd, any, length) == 0 && ::listen(m_listenFd, 2) == 0
            && ::getsockname(m_listenFd, any, &length) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, first, second] {
            serve(first, /*reset=*/true);
            serve(second, /*reset=*/false);
        });
    }
    ~ResettingSlave()
    {
        finish();
        ::close(m_listenFd);
    }

    // Waits until both connections are served (or given up on).
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    quint16 port() const { return m_port; }
    void resetFirstLink() { m_resetAsked = true; }
    bool firstLinkReset() const { return m_reset; }
    QList<QByteArray> requests() const { return m_requests; } // after finish()

private:
    void serve(const QByteArray &reply, bool reset)
    {
        pollfd listening = {m_listenFd, POLLIN, 0};
        if (::poll(&listening, 1, 5000) != 1)
            return;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        char request[8];
        if (fd >= 0 && ::recv(fd, request, sizeof request, MSG_WAITALL) == sizeof request) {
            m_requests.append(QByteArray(request, sizeof request));
            ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        }
        if (reset) {
            // A reset throws away what the master has not read yet: it waits
            // until the test says the reply was taken. A close without
            // lingering then resets the link.
            eventually([this] { return m_resetAsked.load(); });
            const linger abort = {1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        ::close(fd);
        if (reset)
            m_reset = true;
    }

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_resetAsked{false};
    std::atomic<bool> m_reset{false};
    QList<QByteArray> m_requests;
    std::thread m_thread;
};

TEST_F(TcpDeviceTest, SendsARequestOnceMoreOnANewLinkWhenTheSendMeetsAResetLink)
{
    ResettingSlave resetting(hr0Reply, hr1Reply);
    ASSERT_NE(resetting.port(), 0);
    TcpDeviceSettings settings = settingsFor(1000, kAlwaysRecentUs);
    settings.port = resetting.port();
    TcpDevice device(settings);
    device.setTrace(&trace);
    ASSERT_TRUE(device.open());
    ASSERT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
    resetting.resetFirstLink();
    ASSERT_TRUE(eventually([&] { return resetting.firstLinkReset(); }));

    // Sent without the look: the send fails on the reset link, and the
    // request goes out on a new one, traced once.
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
    EXPECT_TRUE(device.isOpen());
    EXPECT_EQ(device.connectCount(), 2);
    trace.flush();
    EXPECT_EQ(sentFrames(entries), 2);
    resetting.finish();
    EXPECT_EQ(resetting.requests(), (QList<QByteArray>{readHr0, readHr1}));
}

TEST_F(TcpDeviceTest, SendsARequestAgainOnlyOnceWhenTheNewLinkClosesToo)
{
    TcpDevice device(settingsFor(1000, kAlwaysRecentUs));
    ASSERT_NO_FATAL_FAILURE(exchangeThenLoseTheLink(device));
    slave.injectFault(Fault::close());
    ASSERT_EQ(device.writeData(readHr1.constData(), readHr1.size()), readHr1.size());
    char reply[8];
    EXPECT_EQ(device.readData(reply, 5), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("connection closed by peer"));
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.connectCount(), 2);
}

TEST_F(TcpDeviceTest, ReportsALinkClosedWhileWaitingAndReconnectsAfterAClosedLink)
{
    slave.injectFault(Fault::close());
    TcpDevice device(settingsFor());
    char reply[8];
    EXPECT_EQ(device.readData(reply, 5), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("not connected"));
    ASSERT_TRUE(device.open());
    ASSERT_EQ(device.writeData(readHr0.constData(), readHr0.size()), readHr0.size());
    EXPECT_EQ(device.readData(reply, 5), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("connection closed by peer"));
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.writeData(readHr0.constData(), readHr0.size()), -1);
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
    // Closed between requests: the next request opens the link again by itself.
    slave.closeConnections();
    ASSERT_TRUE(eventually([&] { return slave.openConnections() == 0; }));
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
    EXPECT_EQ(device.connectCount(), 3);
    EXPECT_EQ(slave.stats().connections, 3u);
}

TEST_F(TcpDeviceTest, SlaveFramesTheStreamOfEachOfSeveralConnections)
{
    TcpDevice device(settingsFor(kShortTimeoutMs));
    TcpDevice other(settingsFor());
    ASSERT_TRUE(device.open() && other.open());
    ASSERT_TRUE(eventually([&] { return slave.openConnections() == 2; }));
    EXPECT_TRUE(exchange(device, hexBytes("01 03 FF EE DD CC BB AA"), 5).isEmpty()) << "a bad CRC gets no reply";
    ASSERT_EQ(device.writeData(readHr0.constData(), 4), 4);
    EXPECT_EQ(exchange(other, readHr1, hr1Reply.size()), hr1Reply);
    ASSERT_TRUE(eventually([&] { return slave.stats().discarded == 2; })) << "a partial request ends at a silent gap";
    EXPECT_EQ(exchange(device, readHr0 + readHr1, hr0Reply.size() + hr1Reply.size()), hr0Reply + hr1Reply);
    EXPECT_EQ(slave.stats().requests, 3u);
}

} // namespace

TEST_F(TcpDeviceTest, CorruptsAReplyByteWithTheGivenMask)
{
    slave.injectFault(Fault::corrupt(1, 0x80));
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    QByteArray expected = hr0Reply;
    expected[1] = char(0x83);
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), expected);
}

TEST_F(TcpDeviceTest, FaultSourceDecidesOnlyWhenNoFaultIsQueued)
{
    QList<QByteArray> asked;
    slave.setFaultSource([&asked](const QByteArray &reply, Fault *fault) {
        asked.append(reply);
        // Every second reply it is asked about gets its last byte changed.
        if (asked.size() % 2 == 1)
            return false;
        *fault = Fault::corrupt(reply.size() - 1, 0x01);
        return true;
    });
    slave.injectFault(Fault::split(2, 10));
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply); // the queued split
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply); // source: no fault
    QByteArray corrupted = hr0Reply;
    corrupted[corrupted.size() - 1] = char(corrupted.at(corrupted.size() - 1) ^ 0x01);
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), corrupted); // source: corrupt
    slave.setFaultSource(nullptr);
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0], hr1Reply);
    EXPECT_EQ(asked[1], hr0Reply);
}
