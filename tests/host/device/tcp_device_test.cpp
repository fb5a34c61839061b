// The TCP device against the simulated slave: the part of a reply that came
// in time and the late rest, links closed or reset between requests (with
// and without the look for late bytes), the error texts, the trace.

#include <gtest/gtest.h>

#include <QList>
#include <algorithm>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "device_test_util.h"
#include "host/device/frame_trace.h"
#include "host/device/tcp_device.h"
#include "host/sim/sim_slave.h"

using namespace sim;

namespace {

// Long enough that every request in a test follows the last read within it.
constexpr int kAlwaysRecentUs = 60 * 1000 * 1000;

// Waits for a condition another thread makes true; gives up after a generous
// while so that a broken build fails instead of hanging.
template <typename Condition>
bool eventually(Condition condition)
{
    for (int i = 0; i < 500 && !condition(); ++i)
        ::usleep(10000);
    return condition();
}

// A listening loopback socket whose connections complete before they are
// accepted; -1 when there is none.
int loopbackListener(quint16 *port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    auto *any = reinterpret_cast<sockaddr *>(&address);
    if (::bind(listener, any, length) != 0 || ::listen(listener, 2) != 0 || ::getsockname(listener, any, &length) != 0)
        return -1;
    *port = ntohs(address.sin_port);
    return listener;
}

// Sends the request through a device and reads up to maxlen reply bytes in one call.
template <typename Device>
QByteArray exchange(Device &device, const QByteArray &request, int maxlen)
{
    if (device.writeData(request.constData(), request.size()) != request.size())
        return QByteArray("write failed");
    QByteArray reply(maxlen, '\0');
    reply.resize(qMax(device.readData(reply.data(), maxlen), 0));
    return reply;
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

    // A device on the slave (or on port), traced into entries.
    std::unique_ptr<TcpDevice> device(int timeoutMs = 1000, int lookSkipWindowUs = 1000, quint16 port = 0)
    {
        TcpDeviceSettings settings;
        settings.port = port ? port : slave.port();
        settings.responseTimeoutMs = settings.connectTimeoutMs = timeoutMs;
        settings.lookSkipWindowUs = lookSkipWindowUs;
        auto made = std::make_unique<TcpDevice>(settings);
        made->setTrace(&trace);
        return made;
    }

    // Opens the link, reads HR0 through it, then has the slave close it.
    void exchangeThenLoseTheLink(TcpDevice &link)
    {
        ASSERT_TRUE(link.open());
        ASSERT_EQ(exchange(link, readHr0, hr0Reply.size()), hr0Reply);
        slave.closeConnections();
        ASSERT_TRUE(eventually([&] { return slave.openConnections() == 0; }));
    }

    int sentFrames()
    {
        trace.flush();
        return int(std::count_if(entries.begin(), entries.end(),
                                 [](const TraceEntry &e) { return e.direction == TraceDirection::Sent; }));
    }

    const QByteArray readHr0 = rtuFrame("01 03 00 00 00 01");
    const QByteArray hr0Reply = rtuFrame("01 03 02 12 34");
    const QByteArray readHr1 = rtuFrame("01 03 00 01 00 01");
    const QByteArray hr1Reply = rtuFrame("01 03 02 56 78");
    QList<TraceEntry> entries;
    FrameTrace trace{[this](const TraceEntry &entry) { entries.append(entry); }};
    SimSlave slave;
};

TEST_F(TcpDeviceTest, ReturnsThePartThatCameInTimeAndDiscardsTheRestBeforeTheNextRequest)
{
    // A read that timed out never lets the next request skip the look.
    for (quint64 round = 0; round < 2; ++round) {
        const int windowUs = round ? kAlwaysRecentUs : 0;
        SCOPED_TRACE(windowUs);
        entries.clear();
        slave.injectFault(Fault::split(3, 300));
        auto link = device(150, windowUs);
        ASSERT_TRUE(link->open());
        EXPECT_EQ(exchange(*link, readHr0, hr0Reply.size()), hr0Reply.left(3));
        EXPECT_EQ(link->errorString(), QStringLiteral("timed out"));
        EXPECT_TRUE(link->isOpen());
        // The slave has sent the rest (each round before this one had two replies).
        ASSERT_TRUE(eventually([&] { return slave.stats().replies == 2 * round + 1; }));
        ::usleep(20000); // the rest reaches the socket
        EXPECT_EQ(exchange(*link, readHr1, hr1Reply.size()), hr1Reply);
        trace.flush();
        ASSERT_EQ(entries.size(), 5);
        EXPECT_EQ(entries[2].direction, TraceDirection::Discarded);
        EXPECT_EQ(entries[2].bytes, hr0Reply.mid(3));
        EXPECT_EQ(entries[4].bytes, hr1Reply);
    }
}

TEST_F(TcpDeviceTest, SendsARequestOnceMoreButOnlyOnceOnANewLinkWhenTheSlaveClosedItJustBefore)
{
    // Looked for, the closed link is reopened before anything goes out;
    // skipped, the request is found on a dead link and sent again.
    for (const auto &[windowUs, framesSent] : {std::pair{0, 2}, std::pair{kAlwaysRecentUs, 3}}) {
        entries.clear();
        auto link = device(1000, windowUs);
        ASSERT_NO_FATAL_FAILURE(exchangeThenLoseTheLink(*link));
        EXPECT_EQ(exchange(*link, readHr1, hr1Reply.size()), hr1Reply);
        EXPECT_EQ(link->connectCount(), 2);
        EXPECT_EQ(sentFrames(), framesSent) << windowUs;
    }
    // Only once: when the new link closes too, the request fails and the link stays closed.
    auto link = device(1000, kAlwaysRecentUs);
    ASSERT_NO_FATAL_FAILURE(exchangeThenLoseTheLink(*link));
    slave.injectFault(Fault::close());
    ASSERT_EQ(link->writeData(readHr1.constData(), readHr1.size()), readHr1.size());
    char reply[8];
    EXPECT_EQ(link->readData(reply, 5), -1);
    EXPECT_EQ(link->errorString(), QStringLiteral("connection closed by peer"));
    EXPECT_FALSE(link->isOpen());
    EXPECT_EQ(link->connectCount(), 2);
    EXPECT_EQ(link->writeData(readHr0.constData(), readHr0.size()), -1);
    EXPECT_EQ(link->readData(reply, 5), -1);
    EXPECT_EQ(link->errorString(), QStringLiteral("not connected"));
}

TEST_F(TcpDeviceTest, SendsARequestOnceMoreOnANewLinkWhenTheSendMeetsAResetLink)
{
    // The simulated slave never resets a link: the test serves a listening
    // socket of its own, whose connections complete before they are accepted
    // (without waiting: a device that did not connect or send fails the test).
    quint16 port = 0;
    const int listener = loopbackListener(&port);
    ASSERT_GE(listener, 0);
    auto link = device(1000, kAlwaysRecentUs, port);
    ASSERT_TRUE(link->open());
    for (const auto &[frame, reply] : {std::pair{readHr0, hr0Reply}, std::pair{readHr1, hr1Reply}}) {
        // The second request, sent without the look, fails on the reset link
        // and goes out on a new one.
        ASSERT_EQ(link->writeData(frame.constData(), frame.size()), frame.size());
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        QByteArray got(8, '\0');
        EXPECT_EQ(::recv(fd, got.data(), 8, 0), 8);
        EXPECT_EQ(got, frame);
        ::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        got.resize(reply.size());
        EXPECT_EQ(link->readData(got.data(), got.size()), reply.size());
        EXPECT_EQ(got, reply);
        const linger abort = {1, 0}; // a close without lingering resets the link
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd);
        pollfd reset = {link->socketDescriptor(), POLLIN, 0}; // until the reset has come
        ::poll(&reset, 1, 1000);
    }
    ::close(listener);
    EXPECT_EQ(link->connectCount(), 2);
    EXPECT_EQ(sentFrames(), 2);
}

TEST_F(TcpDeviceTest, ChecksTheEchoOfEveryRequestWhenAskedTo)
{
    // The simulated slave does not echo: the test's own socket peer does.
    quint16 port = 0;
    const int listener = loopbackListener(&port);
    ASSERT_GE(listener, 0);
    for (const EchoCase &c : kEchoCases) {
        TcpDeviceSettings settings;
        settings.port = port;
        settings.responseTimeoutMs = c.timeoutMs;
        settings.echo = true;
        TcpDevice link(settings);
        ASSERT_TRUE(link.open());
        const FdPeer gateway{::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)};
        checkEchoCase(link, gateway, c);
        ::close(gateway.fd);
    }
    ::close(listener);
}

} // namespace
