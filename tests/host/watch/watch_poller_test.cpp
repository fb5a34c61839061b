// Polling grouped tags station by station: a silent station has its other
// requests left unsent and backs off (doubling, never below twenty times
// what its silent poll took, up to the ceiling) and comes back on its first
// good reply; a station that answers with an exception keeps its period; the
// figures a live view shows.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QThread>
#include <map>

#include "host/watch/watch_poller.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"
#include "support/qt_printers.h"
#include "support/scripted_device.h"

namespace {

const QString kNoReply = QStringLiteral("PLC no response");
const QString kException = QStringLiteral("exception code:0x02");

// A driver whose reads answer as each station is told to: with data, with
// an error text, or after a pause. It notes every read as "station-ADDRESS+count".
class FakeDriver : public DriverInterface
{
public:
    std::map<int, QString> errors; // station -> error text of its reads; none: they succeed
    std::map<int, int> pauseMs;    // station -> how long each read takes
    QStringList reads;

    QByteArray read(AbstractDeviceInterface *device, const CommunicatorCommand &command) override
    {
        const int station = device->stationId();
        reads.append(QStringLiteral("%1-%2+%3").arg(station).arg(command.address()).arg(command.count()));
        if (pauseMs.count(station))
            QThread::msleep(quint64(pauseMs[station]));
        m_error = errors.count(station) ? errors[station] : QString();
        return m_error.isEmpty() ? QByteArray(command.count() * 2, '\x01') : QByteArray();
    }
    bool hasError() override { return !m_error.isEmpty(); }
    QString getLastError() override { return m_error; }
    int getBlockAccessSize() override { return 125; }
    int getBitBlockAccessSize() override { return 2000; }

    int totalSize() override { return 0; }
    bool write(AbstractDeviceInterface *, const CommunicatorCommand &, const QByteArray &) override { return false; }
    bool initialize(AbstractDeviceInterface *) override { return true; }
    bool validation(const QString &) override { return true; }
    DeviceSetting *getDefaultSerialDeviceSetting() override { return nullptr; }
    DriverSetting *getDefaultDriverSetting() override { return nullptr; }
    int supportedCommunicationFlags() override { return 0; }
    void setDebugMode(bool) override {}
    QObject *getThisObject() override { return nullptr; }

private:
    QString m_error;
};

WatchTag tag(int station, Area area, int number)
{
    WatchTag tag;
    tag.station = station;
    tag.address.area = area;
    tag.address.number = number;
    return tag;
}

// Stations 1 and 3, each with HR1, HR200 and IR1: three requests each.
struct Fixture
{
    explicit Fixture(qint64 periodMs = 100)
        : poller(&driver,
                 {tag(1, Area::HR, 1), tag(1, Area::HR, 200), tag(1, Area::IR, 1), tag(3, Area::HR, 1),
                  tag(3, Area::HR, 200), tag(3, Area::IR, 1)},
                 periodMs, [](const GroupReading &reading) { return reading.error == kNoReply; })
    {
        poller.setDevice(1, &one);
        poller.setDevice(3, &three);
    }

    QStringList readsOf(int station) const { return driver.reads.filter(QRegularExpression(QStringLiteral("^%1-").arg(station))); }

    FakeDriver driver;
    ScriptedDevice one{1};
    ScriptedDevice three{3};
    WatchPoller poller;
};

TEST(WatchPoller, ASilentStationSendsOneRequestPerCycleAndBacksOffDoublingUpToTheCeiling)
{
    Fixture f;
    f.driver.errors[3] = kNoReply;
    const qint64 expected[] = {200, 400, 800, 1600, 3200, 6400, 12800, 25600, 30000, 30000};
    for (int cycle = 0; cycle < 10; ++cycle) {
        EXPECT_FALSE(f.poller.pollStation(3));
        EXPECT_EQ(f.poller.figures(3).backoffMs, expected[cycle]) << "cycle " << cycle;
        EXPECT_EQ(f.poller.figures(3).silentCycles, cycle + 1);
        EXPECT_FALSE(f.poller.isDue(3));
    }
    EXPECT_EQ(f.readsOf(3).size(), 10) << qPrintable(f.driver.reads.join(' '));
    // The requests after the silent one carry its failure, marked unsent.
    int skipped = 0;
    for (int g = 0; g < f.poller.groups().size(); ++g) {
        const GroupReading &reading = f.poller.reading(g);
        if (f.poller.groups()[g].station != 3)
            continue;
        EXPECT_FALSE(reading.ok);
        EXPECT_EQ(reading.error, kNoReply);
        skipped += reading.skipped ? 1 : 0;
    }
    EXPECT_EQ(skipped, 2);
    EXPECT_EQ(f.poller.figures(3).failures, 10);

    // The first good reply brings it back: every request, the period again.
    f.driver.errors.erase(3);
    EXPECT_TRUE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3).size(), 13);
    EXPECT_EQ(f.poller.figures(3).backoffMs, 0);
    EXPECT_EQ(f.poller.figures(3).silentCycles, 0);
    for (int g = 0; g < f.poller.groups().size(); ++g)
        EXPECT_TRUE(f.poller.reading(g).ok || f.poller.groups()[g].station == 1);
}

TEST(WatchPoller, AStationThatAnswersWithAnExceptionKeepsItsRequestsAndPeriod)
{
    Fixture f;
    f.driver.errors[3] = kException;
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3), (QStringList{"3-HR1+1", "3-HR200+1", "3-IR1+1"}));
    EXPECT_EQ(f.poller.figures(3).backoffMs, 0);
    EXPECT_EQ(f.poller.figures(3).failures, 3);
    EXPECT_FALSE(f.poller.isDue(3));
    EXPECT_TRUE(f.poller.isDue(1));
    EXPECT_EQ(f.poller.msUntilDue(), 0); // station 1 is waiting for its first poll
}

TEST(WatchPoller, ASlowSilentPollBacksOffForTwentyTimesItsCost)
{
    Fixture f(10);
    f.driver.errors[3] = kNoReply;
    f.driver.pauseMs[3] = 30;
    f.poller.pollStation(3);
    EXPECT_GE(f.poller.figures(3).backoffMs, 20 * 30); // well over the period doubled (20 ms)
    EXPECT_LE(f.poller.figures(3).backoffMs, WatchPoller::kMaxBackoffMs);
}

TEST(WatchPoller, PollDueReadsOnlyTheStationsThatAreDue)
{
    Fixture f(60000);
    f.driver.errors[3] = kNoReply;
    EXPECT_EQ(f.poller.pollDue(), (QVector<int>{1, 3}));
    EXPECT_EQ(f.driver.reads, (QStringList{"1-HR1+1", "1-HR200+1", "1-IR1+1", "3-HR1+1"}));
    EXPECT_TRUE(f.poller.pollDue().isEmpty());
    EXPECT_GT(f.poller.msUntilDue(), 0);
    EXPECT_LE(f.poller.msUntilDue(), 60000);
    EXPECT_TRUE(f.poller.pollDue([] { return true; }).isEmpty());

    const StationFigures healthy = f.poller.figures(1);
    EXPECT_EQ(healthy.failures, 0);
    EXPECT_GE(healthy.medianUs, 0);
    EXPECT_GE(healthy.p99Us, healthy.medianUs);
    EXPECT_GT(healthy.requestsPerSecond, 0);
    EXPECT_EQ(f.poller.figures(3).medianUs, -1);
    EXPECT_EQ(f.poller.figures(2).requestsPerSecond, 0); // not a station of the tags
}

} // namespace
