// Polling grouped tags station by station, cycle by cycle: a silent station
// has its other requests left unsent, is backed off by the link's rule (its
// tags noted so each cycle) and tried again with one short probe; a slow but
// live station is never lost to that probe; a station that answers with an
// exception stays; a cycle that overran is followed by one, not a burst; the
// figures a live view shows.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QThread>
#include <map>
#include <tuple>

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
// A probe's time-out shorter than a station's pause loses its reply: no response.
class FakeDriver : public DriverInterface
{
public:
    std::map<int, QString> errors; // station -> error text of its reads; none: they succeed
    std::map<int, int> pauseMs;    // station -> how long each read takes
    QStringList reads;
    int probeTimeoutMs = 0;        // the link's probe mode, as the poller sets it
    QVector<int> probes;           // every probe time-out set

    QByteArray read(AbstractDeviceInterface *device, const CommunicatorCommand &command) override
    {
        const int station = device->stationId();
        reads.append(QStringLiteral("%1-%2+%3").arg(station).arg(command.address()).arg(command.count()));
        const int pause = pauseMs.count(station) ? pauseMs[station] : 0;
        const bool lost = probeTimeoutMs > 0 && pause > probeTimeoutMs;
        QThread::msleep(quint64(lost ? probeTimeoutMs : pause));
        m_error = lost ? kNoReply : errors.count(station) ? errors[station] : QString();
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
    explicit Fixture(qint64 periodMs = 100, int timeoutMs = 1000)
        : poller(&driver,
                 {tag(1, Area::HR, 1), tag(1, Area::HR, 200), tag(1, Area::IR, 1), tag(3, Area::HR, 1),
                  tag(3, Area::HR, 200), tag(3, Area::IR, 1)},
                 periodMs, timeoutMs, [](const GroupReading &reading) { return reading.error == kNoReply; })
    {
        poller.setDevice(1, &one);
        poller.setDevice(3, &three);
        poller.setProbeMode([this](int ms) {
            driver.probeTimeoutMs = ms;
            if (ms > 0)
                driver.probes.append(ms);
        });
    }

    QStringList readsOf(int station) const { return driver.reads.filter(QRegularExpression(QStringLiteral("^%1-").arg(station))); }
    QVector<NotSent> notSentOf(int station) const
    {
        QVector<NotSent> notSent;
        for (int g = 0; g < poller.groups().size(); ++g) {
            if (poller.groups()[g].station == station)
                notSent.append(poller.reading(g).notSent);
        }
        return notSent;
    }
    // Waits until the station's next try is due.
    void waitForTry(int station) const
    {
        while (poller.health().plan(station, poller.elapsedMs()).kind == RequestKind::BackedOff)
            QThread::msleep(1);
    }

    FakeDriver driver;
    ScriptedDevice one{1};
    ScriptedDevice three{3};
    WatchPoller poller;
};

TEST(WatchPoller, ASilentStationIsBackedOffWithItsTagsNotedEachCycleAndTriedWithOneShortProbe)
{
    Fixture f(5);
    f.driver.errors[3] = kNoReply;
    // The first silence: one request with the link's settings, the rest left unsent.
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3), QStringList{"3-HR1+1"});
    EXPECT_EQ(f.notSentOf(3), (QVector<NotSent>{NotSent::No, NotSent::AfterSilence, NotSent::AfterSilence}));
    EXPECT_TRUE(f.driver.probes.isEmpty());
    const qint64 nextTry = f.poller.health().nextTryMs(3);
    for (int g = 0; g < 6; ++g) {
        if (f.poller.groups()[g].station == 3)
            EXPECT_EQ(f.poller.reading(g).nextTryMs, nextTry) << g;
    }

    // Backed off: nothing sent, every tag noted with the error and the next try.
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3).size(), 1);
    EXPECT_EQ(f.notSentOf(3), QVector<NotSent>(3, NotSent::BackedOff));
    EXPECT_EQ(f.poller.reading(3).error, kNoReply);
    EXPECT_EQ(f.poller.reading(5).nextTryMs, nextTry);
    EXPECT_TRUE(f.poller.reading(5).time.isValid());

    // Due: one probe, one attempt, with the time-out drawn from what was measured.
    EXPECT_TRUE(f.poller.pollStation(1));
    const StationFigures healthy = f.poller.figures(1);
    EXPECT_EQ(std::make_tuple(healthy.failures, healthy.nextTryInMs, healthy.p99Us >= healthy.medianUs), std::make_tuple(0, -1LL, true));
    EXPECT_GT(healthy.requestsPerSecond, 0);
    EXPECT_EQ(f.poller.figures(3).medianUs, -1);
    f.waitForTry(3);
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3).size(), 2);
    ASSERT_EQ(f.driver.probes.size(), 1);
    EXPECT_LT(f.driver.probes[0], 1000);
    EXPECT_EQ(f.driver.probeTimeoutMs, 0); // the probe mode ends with the probe
    EXPECT_EQ(f.poller.figures(3).silentCycles, 2);
    EXPECT_EQ(f.poller.figures(3).failures, 2);

    // Its first reply brings it back: the probe, then the rest with the link's settings.
    f.driver.errors.erase(3);
    f.waitForTry(3);
    EXPECT_TRUE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3).size(), 5);
    EXPECT_EQ(f.driver.probes.size(), 2);
    EXPECT_EQ(f.notSentOf(3), QVector<NotSent>(3, NotSent::No));
    EXPECT_EQ(f.poller.figures(3).backoffMs, 0);
    EXPECT_EQ(f.poller.figures(3).nextTryInMs, -1);
}

TEST(WatchPoller, AStationAnsweringIn300MsUnderA1000MsTimeOutIsNeverLostToAShortProbe)
{
    Fixture f(5, 1000);
    f.driver.pauseMs[3] = 300;
    EXPECT_TRUE(f.poller.pollStation(3)); // its response times: 300 ms
    f.driver.pauseMs[3] = 0;
    f.driver.errors[3] = kNoReply;
    EXPECT_FALSE(f.poller.pollStation(3)); // silent once
    f.driver.errors.erase(3);
    f.driver.pauseMs[3] = 300;
    f.waitForTry(3);
    EXPECT_TRUE(f.poller.pollStation(3)) << qPrintable(f.poller.reading(3).error);
    ASSERT_EQ(f.driver.probes.size(), 1);
    EXPECT_EQ(f.driver.probes[0], 1000); // 4 x 300 ms + 20 ms, within the configured 1000 ms
    EXPECT_EQ(f.poller.figures(3).silentCycles, 0);
}

TEST(WatchPoller, AStationThatAnswersWithAnExceptionKeepsItsRequests)
{
    Fixture f;
    f.driver.errors[3] = kException;
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_FALSE(f.poller.pollStation(3));
    EXPECT_EQ(f.readsOf(3), (QStringList{"3-HR1+1", "3-HR200+1", "3-IR1+1", "3-HR1+1", "3-HR200+1", "3-IR1+1"}));
    EXPECT_EQ(f.poller.figures(3).backoffMs, 0);
    EXPECT_EQ(f.poller.figures(3).failures, 6);
    EXPECT_TRUE(f.driver.probes.isEmpty());
}

TEST(WatchPoller, CyclesKeepThePeriodAndAStalledOneIsFollowedAtOnceWithoutABurst)
{
    Fixture f(60);
    EXPECT_TRUE(f.poller.pollCycle());
    EXPECT_EQ(f.poller.cycles(), 1);
    EXPECT_GT(f.poller.msUntilNextCycle(), 40);
    EXPECT_LE(f.poller.msUntilNextCycle(), 60);

    // Station 3 stalls the cycle for three periods: the next is due at once, and
    // the one after a period later, not three to catch up.
    f.driver.pauseMs[3] = 60;
    QVector<int> done;
    EXPECT_TRUE(f.poller.pollCycle({}, [&done](int station) { done.append(station); }));
    EXPECT_EQ(done, (QVector<int>{1, 3}));
    EXPECT_EQ(f.poller.msUntilNextCycle(), 0);
    f.driver.pauseMs.erase(3);
    EXPECT_TRUE(f.poller.pollCycle());
    EXPECT_GT(f.poller.msUntilNextCycle(), 40);
    EXPECT_EQ(f.poller.cycles(), 3);

    // Each reading is stamped when its reply came.
    f.driver.pauseMs[1] = 30;
    f.poller.pollCycle();
    EXPECT_GE(f.poller.reading(0).time.msecsTo(f.poller.reading(1).time), 25);
}

} // namespace
