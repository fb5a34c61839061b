// The TCP device against the simulated slave: whole and split replies,
// time-outs, late replies, reconnects, refused and reset connections, the
// trace, and the slave's server side (several connections, stream framing).

#include <gtest/gtest.h>

#include <QList>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "host/frame_trace.h"
#include "host/sim_slave.h"
#include "host/tcp_device.h"
#include "host_test_util.h"
#include "raw_server.h"

using namespace sim;

namespace {

constexpr int kShortTimeoutMs = 150;

// Waits for a condition that another thread makes true; gives up after a
// generous while so that a broken build fails instead of hanging.
bool eventually(const std::function<bool()> &condition)
{
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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

    TcpDeviceSettings settingsFor(int timeoutMs = 1000) const
    {
        TcpDeviceSettings settings;
        settings.port = slave.port();
        settings.responseTimeoutMs = timeoutMs;
        settings.connectTimeoutMs = timeoutMs;
        return settings;
    }

    // Sends the request and reads up to maxlen reply bytes in one call.
    static QByteArray exchange(TcpDevice &device, const QByteArray &request, int maxlen)
    {
        if (device.writeData(request.constData(), request.size()) != request.size())
            return QByteArray("write failed");
        QByteArray reply(maxlen, '\0');
        const int got = device.readData(reply.data(), maxlen);
        reply.resize(qMax(got, 0));
        return reply;
    }

    const QByteArray readHr0 = rtuFrame("01 03 00 00 00 01");
    const QByteArray hr0Reply = rtuFrame("01 03 02 12 34");
    const QByteArray readHr1 = rtuFrame("01 03 00 01 00 01");
    const QByteArray hr1Reply = rtuFrame("01 03 02 56 78");
    SimSlave slave;
};

TEST_F(TcpDeviceTest, CarriesTheRuntimeSettings)
{
    TcpDeviceSettings settings = settingsFor();
    settings.stationId = 7;
    settings.retryCount = 2;
    settings.delayMs = 15;
    settings.deviceString = QStringLiteral("COM5");
    TcpDevice device(settings);
    EXPECT_EQ(device.stationId(), 7);
    EXPECT_EQ(device.retryCount(), 2);
    EXPECT_EQ(device.delayTime(), 15UL);
    ASSERT_NE(device.deviceSetting(), nullptr);
    EXPECT_EQ(device.deviceSetting()->deviceString, QStringLiteral("COM5"));
    EXPECT_EQ(device.deviceSetting()->port(), slave.port());
    EXPECT_FALSE(device.isOpen());
}

TEST_F(TcpDeviceTest, ReadsAReplyInTheDriversTwoSteps)
{
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open()) << device.errorString().toStdString();
    EXPECT_TRUE(device.isOpen());
    ASSERT_EQ(device.writeData(readHr0.constData(), readHr0.size()), readHr0.size());
    char reply[16] = {};
    ASSERT_EQ(device.readData(reply, 5), 5);
    ASSERT_EQ(device.readData(reply + 5, 2), 2);
    EXPECT_EQ(QByteArray(reply, 7), hr0Reply);
}

TEST_F(TcpDeviceTest, GathersAReplySplitIntoPieces)
{
    slave.injectFault(Fault::split(3, 50));
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
}

TEST_F(TcpDeviceTest, ReturnsThePartOfAReplyThatCameInTime)
{
    slave.injectFault(Fault::split(3, 1000));
    TcpDevice device(settingsFor(kShortTimeoutMs));
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply.left(3));
    EXPECT_EQ(device.errorString(), QStringLiteral("timed out"));
    EXPECT_TRUE(device.isOpen());
}

TEST_F(TcpDeviceTest, ReturnsNothingWhenNoReplyComes)
{
    slave.injectFault(Fault::drop());
    TcpDevice device(settingsFor(kShortTimeoutMs));
    ASSERT_TRUE(device.open());
    ASSERT_EQ(device.writeData(readHr0.constData(), readHr0.size()), readHr0.size());
    char reply[8];
    EXPECT_EQ(device.readData(reply, 5), 0);
    EXPECT_EQ(device.errorString(), QStringLiteral("timed out"));
    EXPECT_EQ(device.readData(reply, 0), 0);
}

TEST_F(TcpDeviceTest, DiscardsALateReplyBeforeTheNextRequest)
{
    QList<TraceEntry> entries;
    FrameTrace trace([&entries](const TraceEntry &entry) { entries.append(entry); });
    slave.injectFault(Fault::delay(300));
    TcpDevice device(settingsFor(kShortTimeoutMs));
    device.setTrace(&trace);
    ASSERT_TRUE(device.open());
    EXPECT_TRUE(exchange(device, readHr0, hr0Reply.size()).isEmpty());
    ASSERT_TRUE(eventually([&] { return slave.stats().replies == 1; }));
    // The late reply to HR0 is waiting in the socket; HR1's request must get HR1's reply.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
    trace.flush();

    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0].direction, TraceDirection::Sent);
    EXPECT_EQ(entries[1].direction, TraceDirection::Discarded);
    EXPECT_EQ(entries[1].bytes, hr0Reply);
    EXPECT_EQ(entries[2].bytes, readHr1);
    EXPECT_EQ(entries[3].direction, TraceDirection::Received);
    EXPECT_EQ(entries[3].bytes, hr1Reply);
}

TEST_F(TcpDeviceTest, ReconnectsWhenTheSlaveClosedTheLinkBetweenRequests)
{
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
    slave.closeConnections();
    ASSERT_TRUE(eventually([&] { return slave.openConnections() == 0; }));
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
    EXPECT_EQ(device.connectCount(), 2);
    EXPECT_EQ(slave.stats().connections, 2u);
}

TEST_F(TcpDeviceTest, ReportsALinkClosedWhileWaitingAndOpensAgain)
{
    slave.injectFault(Fault::close());
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    ASSERT_EQ(device.writeData(readHr0.constData(), readHr0.size()), readHr0.size());
    char reply[8];
    EXPECT_EQ(device.readData(reply, 5), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("connection closed by peer"));
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.writeData(readHr0.constData(), readHr0.size()), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("not connected"));
    ASSERT_TRUE(device.open());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
}

TEST_F(TcpDeviceTest, NeedsOpenBeforeUse)
{
    TcpDevice device(settingsFor());
    char buffer[4];
    EXPECT_EQ(device.readData(buffer, 4), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("not connected"));
    EXPECT_EQ(device.writeData(buffer, 4), -1);
    device.close();
    EXPECT_FALSE(device.isOpen());
}

TEST_F(TcpDeviceTest, ReportsARefusedConnection)
{
    const TcpDeviceSettings settings = settingsFor();
    slave.stop();
    TcpDevice device(settings);
    EXPECT_FALSE(device.open());
    EXPECT_EQ(device.errorString(), QStringLiteral("connection refused"));
    EXPECT_FALSE(device.isOpen());
}

TEST_F(TcpDeviceTest, DeliversACorruptedReplyAsItCame)
{
    slave.injectFault(Fault::corrupt(4));
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    QByteArray expected = hr0Reply;
    expected[4] = char(~expected[4]);
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), expected);
}

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

TEST_F(TcpDeviceTest, TraceJoinsTheReplyPiecesIntoOneEntry)
{
    QList<TraceEntry> entries;
    FrameTrace trace([&entries](const TraceEntry &entry) { entries.append(entry); });
    TcpDevice device(settingsFor());
    device.setTrace(&trace);
    ASSERT_TRUE(device.open());
    ASSERT_EQ(device.writeData(readHr0.constData(), readHr0.size()), readHr0.size());
    char reply[8];
    ASSERT_EQ(device.readData(reply, 5), 5);
    ASSERT_EQ(device.readData(reply + 5, 2), 2);
    device.close();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(formatTraceEntry(entries[0]).endsWith(QStringLiteral(" -> 01 03 00 00 00 01 84 0A")));
    EXPECT_TRUE(formatTraceEntry(entries[1]).endsWith(QStringLiteral(" <- ") + QString::fromLatin1(hr0Reply.toHex(' ').toUpper())));
}

TEST(TcpDeviceReset, ReportsAConnectionResetByThePeer)
{
    // Reads the request, then closes with a reset instead of an orderly end.
    RawServer server([](int client) {
        char request[16];
        if (::recv(client, request, sizeof request, 0) > 0) {
            const linger hardClose = {1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
        }
    });
    TcpDeviceSettings settings;
    settings.port = server.port();
    TcpDevice device(settings);
    ASSERT_TRUE(device.open());
    const QByteArray request = rtuFrame("01 03 00 00 00 01");
    ASSERT_EQ(device.writeData(request.constData(), request.size()), request.size());
    char reply[8];
    EXPECT_EQ(device.readData(reply, 5), -1);
    EXPECT_EQ(device.errorString(), QStringLiteral("connection reset by peer"));
    EXPECT_FALSE(device.isOpen());
}

TEST(TcpDeviceConnect, TimesOutWhenTheListenerNeverAccepts)
{
    // With its backlog full, Linux drops further handshakes: one of these
    // connects has to wait out its time-out.
    RawServer listener;
    TcpDeviceSettings settings;
    settings.port = listener.port();
    settings.connectTimeoutMs = kShortTimeoutMs;
    std::vector<std::unique_ptr<TcpDevice>> devices;
    QString error;
    for (int i = 0; i < 8 && error.isEmpty(); ++i) {
        devices.push_back(std::make_unique<TcpDevice>(settings));
        if (!devices.back()->open())
            error = devices.back()->errorString();
    }
    EXPECT_EQ(error, QStringLiteral("timed out"));
}

TEST_F(TcpDeviceTest, SlaveServesSeveralConnectionsAtOnce)
{
    TcpDevice first(settingsFor());
    TcpDevice second(settingsFor());
    ASSERT_TRUE(first.open());
    ASSERT_TRUE(second.open());
    ASSERT_TRUE(eventually([&] { return slave.openConnections() == 2; }));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(exchange(first, readHr0, hr0Reply.size()), hr0Reply);
        EXPECT_EQ(exchange(second, readHr1, hr1Reply.size()), hr1Reply);
    }
    EXPECT_TRUE(eventually([&] { return slave.stats().replies == 6; }));
}

TEST_F(TcpDeviceTest, SlaveDropsAPartialRequestAfterASilentGap)
{
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    ASSERT_EQ(device.writeData(readHr0.constData(), 4), 4);
    ASSERT_TRUE(eventually([&] { return slave.stats().discarded == 1; }));
    EXPECT_EQ(exchange(device, readHr1, hr1Reply.size()), hr1Reply);
    EXPECT_EQ(slave.stats().requests, 1u);
}

TEST_F(TcpDeviceTest, SlaveAnswersRequestsThatArriveTogether)
{
    TcpDevice device(settingsFor());
    ASSERT_TRUE(device.open());
    const QByteArray both = readHr0 + readHr1;
    ASSERT_EQ(device.writeData(both.constData(), both.size()), both.size());
    QByteArray replies(hr0Reply.size() + hr1Reply.size(), '\0');
    ASSERT_EQ(device.readData(replies.data(), replies.size()), replies.size());
    EXPECT_EQ(replies, hr0Reply + hr1Reply);
}

TEST_F(TcpDeviceTest, SlaveStaysSilentForGarbageAndAnswersTheNextRequest)
{
    TcpDevice device(settingsFor(kShortTimeoutMs));
    ASSERT_TRUE(device.open());
    const QByteArray garbage = hexBytes("01 03 FF EE DD CC BB AA");
    EXPECT_TRUE(exchange(device, garbage, 5).isEmpty());
    EXPECT_EQ(exchange(device, readHr0, hr0Reply.size()), hr0Reply);
    EXPECT_EQ(slave.stats().discarded, 1u);
}

} // namespace
