// The serial device on one end of a pseudo-terminal pair made by socat, the
// test playing the slave on the other: whole and split replies, stale bytes,
// time-outs, echoes, the port vanishing and coming back; the settings it
// refuses and the line timing.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

#include "device_test_util.h"
#include "host/device/serial_device.h"

namespace {

class SerialDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
            GTEST_SKIP() << "socat is not installed (Debian package socat): no pseudo-terminal pair to test on";
        ASSERT_TRUE(startSocat());
    }
    void TearDown() override { stopSocat(); }

    // socat linking the device's end and the slave's end; the slave's end open raw.
    bool startSocat()
    {
        socat.setStandardErrorFile(QProcess::nullDevice());
        socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + deviceEnd, "pty,raw,echo=0,link=" + slaveEnd});
        for (int i = 0; i < 1000 && !(QFileInfo::exists(deviceEnd) && QFileInfo::exists(slaveEnd)); ++i)
            ::usleep(10000);
        termios raw;
        slave.fd = ::open(slaveEnd.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        return slave.fd >= 0 && ::tcgetattr(slave.fd, &raw) == 0 && (::cfmakeraw(&raw), true)
               && ::tcsetattr(slave.fd, TCSANOW, &raw) == 0;
    }
    void stopSocat()
    {
        socat.terminate();
        socat.waitForFinished(10000);
        ::close(std::exchange(slave.fd, -1));
    }

    std::unique_ptr<SerialDevice> device(int timeoutMs, bool echo = false)
    {
        SerialDeviceSettings settings;
        settings.portName = deviceEnd;
        settings.baudRate = 19200;
        settings.responseTimeoutMs = timeoutMs;
        settings.echo = echo;
        auto made = std::make_unique<SerialDevice>(settings);
        EXPECT_TRUE(made->open()) << made->errorString().toStdString();
        return made;
    }

    // A request out byte-exact, its reply put by `answer` and read in the
    // driver's two pieces: 5 bytes, then the rest.
    void exchange(SerialDevice &link, const std::function<void()> &answer = {})
    {
        ASSERT_EQ(link.writeData(request.constData(), request.size()), request.size());
        EXPECT_EQ(slave.take(request.size()), request);
        std::thread slaveSide(answer ? answer : [this] { slave.put(reply); });
        QByteArray got(reply.size(), '\0');
        EXPECT_EQ(link.readData(got.data(), 5), 5);
        EXPECT_EQ(link.readData(got.data() + 5, 2), 2);
        slaveSide.join();
        EXPECT_EQ(got, reply);
    }

    const QByteArray request = rtuFrame("01 03 00 00 00 01"), reply = rtuFrame("01 03 02 12 34");
    QTemporaryDir links;
    const QString deviceEnd = links.filePath("device"), slaveEnd = links.filePath("slave");
    QProcess socat;
    FdPeer slave;
};

TEST_F(SerialDeviceTest, TakesRepliesWholeOrSplitDrainsStaleBytesAndTimesOut)
{
    auto link = device(1000);
    exchange(*link);
    exchange(*link, [this] {
        slave.put(reply.left(3)); // the driver's first read waits across the pause
        ::usleep(300000);
        slave.put(reply.mid(3));
    });
    const QByteArray stale = hexBytes("01 03 02 DE AD");
    slave.put(stale);
    int waiting = 0; // until the stale bytes sit at the device's end
    for (int i = 0; i < 500 && waiting < stale.size(); ++i, ::usleep(10000))
        ::ioctl(link->portDescriptor(), FIONREAD, &waiting);
    exchange(*link);
    // No reply: nothing, once the time-out has passed since the request.
    QElapsedTimer waited;
    waited.start();
    ASSERT_EQ(link->writeData(request.constData(), request.size()), request.size());
    char got[8];
    EXPECT_EQ(link->readData(got, 5), 0);
    EXPECT_GE(waited.elapsed(), 1000);
    EXPECT_EQ(link->errorString(), QStringLiteral("timed out"));
}

TEST_F(SerialDeviceTest, ChecksTheEchoOfEveryRequest)
{
    for (const EchoCase &c : kEchoCases)
        checkEchoCase(*device(c.timeoutMs, true), slave, c);
}

TEST_F(SerialDeviceTest, ReportsThePortGoneAndOpensItAgainWhenItIsBack)
{
    auto link = device(10000);
    for (const bool whileWaiting : {false, true}) {
        SCOPED_TRACE(whileWaiting ? "while waiting for a reply" : "before a request");
        exchange(*link);
        if (whileWaiting) {
            ASSERT_EQ(link->writeData(request.constData(), request.size()), request.size());
            std::thread unplug([pid = pid_t(socat.processId())] { ::usleep(100000); ::kill(pid, SIGTERM); });
            char got[8];
            EXPECT_EQ(link->readData(got, 5), -1);
            unplug.join();
        }
        stopSocat();
        if (!whileWaiting)
            EXPECT_EQ(link->writeData(request.constData(), request.size()), -1);
        EXPECT_EQ(link->errorString(), QStringLiteral("port gone"));
        EXPECT_FALSE(link->isOpen());
        ASSERT_TRUE(startSocat());
        ASSERT_TRUE(link->open()) << link->errorString().toStdString();
    }
    exchange(*link);
    EXPECT_EQ(link->openCount(), 3);
}

TEST(SerialDeviceSettingsTest, RefusesToOpenWhatIsNoSerialLine)
{
    QTemporaryFile plainFile;
    ASSERT_TRUE(plainFile.open());
    const std::pair<std::function<void(SerialDeviceSettings &)>, const char *> cases[] = {
        {[](auto &s) { s.portName = "/dev/no-such-tty"; }, "no such port"},
        {[&](auto &s) { s.portName = plainFile.fileName(); }, "not a serial port, or its line settings are not supported"},
        {[](auto &s) { s.parity = 'n'; }, "parity must be N, E or O"},
        {[](auto &s) { s.dataBits = 9; }, "data bits must be 7 or 8"},
    };
    for (const auto &[change, error] : cases) {
        SerialDeviceSettings settings;
        change(settings);
        SerialDevice link(settings);
        EXPECT_FALSE(link.open());
        EXPECT_EQ(link.errorString(), QString::fromLatin1(error));
        char byte = 0;
        EXPECT_EQ(link.writeData(&byte, 1), -1);
        EXPECT_EQ(link.readData(&byte, 1), -1);
        EXPECT_EQ(link.errorString(), QStringLiteral("not open"));
    }
}

TEST(SerialDeviceSettingsTest, TimesCharactersAndTheFrameGapFromTheLineSettings)
{
    struct Row { int baud; char parity; int dataBits, stopBits; qint64 characterUs, gapUs; };
    for (const Row &r : {Row{9600, 'N', 8, 1, 1042, 3646}, Row{9600, 'E', 8, 1, 1146, 4011},
                         Row{1200, 'O', 7, 2, 9167, 32084}, Row{19200, 'E', 8, 1, 573, 2006},
                         Row{19201, 'E', 8, 1, 573, 1750}, Row{115200, 'N', 8, 2, 96, 1750}}) {
        SerialDeviceSettings s;
        s.baudRate = r.baud, s.parity = r.parity, s.dataBits = r.dataBits, s.stopBits = r.stopBits;
        EXPECT_EQ(serialCharacterUs(s), r.characterUs) << r.baud << r.parity;
        EXPECT_EQ(serialFrameGapUs(s), r.gapUs) << r.baud << r.parity;
    }
}

} // namespace
