#include <gtest/gtest.h>

#include "host/link/station_health.h"

namespace {

constexpr int kTimeoutMs = 1000;
constexpr qint64 kPeriodMs = 100;

// One silence after another with these costs: the back-off after each.
struct BackoffCase
{
    const char *what;
    QVector<qint64> costsMs;
    QVector<qint64> backoffsMs;
};

TEST(LinkHealth, BackoffDoublesFromThePeriodNeverShrinksAndStopsAtItsCap)
{
    const BackoffCase cases[] = {
        {"cheap silences double from twice the period", {1, 1, 1, 1}, {200, 400, 800, 1600}},
        {"a dear first silence sets the floor", {1000, 20, 20}, {20000, 30000, 30000}},
        {"twenty times the cost when that is longer", {1, 50, 1}, {200, 1000, 2000}},
        {"a cheap probe after a dear one keeps the back-off", {600, 5}, {12000, 24000}},
        {"the cap", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
         {200, 400, 800, 1600, 3200, 6400, 12800, 25600, 30000, 30000, 30000, 30000, 30000, 30000, 30000,
          30000, 30000, 30000}},
        {"a silence that cost more than the cap", {5000}, {30000}},
    };
    for (const BackoffCase &c : cases) {
        LinkHealth health(kTimeoutMs, kPeriodMs);
        QVector<qint64> backoffs;
        qint64 now = 0;
        for (qint64 cost : c.costsMs) {
            health.recordSilence(3, now, cost);
            backoffs.append(health.backoffMs(3));
            EXPECT_EQ(health.nextTryMs(3), now + health.backoffMs(3)) << c.what;
            now = health.nextTryMs(3);
        }
        EXPECT_EQ(backoffs, c.backoffsMs) << c.what;
        EXPECT_EQ(health.silentInARow(3), c.costsMs.size()) << c.what;
    }
}

TEST(LinkHealth, PlanIsNormalThenBackedOffThenAProbeUntilTheStationAnswers)
{
    LinkHealth health(kTimeoutMs, kPeriodMs);
    health.recordAnswer(1, 2000);
    EXPECT_EQ(health.plan(3, 0).kind, RequestKind::Normal);

    health.recordSilence(3, 1000, 2000); // back-off 40 s, capped at 30 s
    EXPECT_EQ(health.plan(1, 1000).kind, RequestKind::Normal) << "another station is not touched";
    const RequestPlan waiting = health.plan(3, 30999);
    EXPECT_EQ(waiting.kind, RequestKind::BackedOff);
    EXPECT_EQ(waiting.nextTryMs, 31000);
    EXPECT_EQ(health.silentStations(), QVector<int>{3});

    const RequestPlan probe = health.plan(3, 31000);
    EXPECT_EQ(probe.kind, RequestKind::Probe);
    EXPECT_EQ(probe.probeTimeoutMs, LinkHealth::kProbeFactor * 2 + LinkHealth::kProbeMarginMs)
        << "drawn from the link's 2 ms, the station never answered";

    health.recordAnswer(3, 700);
    EXPECT_EQ(health.plan(3, 31001).kind, RequestKind::Normal);
    EXPECT_EQ(health.backoffMs(3), 0);
    EXPECT_TRUE(health.silentStations().isEmpty());
}

// Answers recorded (station, microseconds), then the probe time-out of station 3.
struct ProbeCase
{
    const char *what;
    QVector<QPair<int, qint64>> answers;
    int expectedMs;
};

TEST(LinkHealth, ProbeTimeOutIsDrawnFromMeasuredTimesWithinTheConfiguredOne)
{
    const ProbeCase cases[] = {
        {"nothing measured: the configured time-out", {}, kTimeoutMs},
        {"the link's times for a station never heard", {{1, 1000}, {2, 3000}}, 4 * 3 + 20},
        {"the station's own times before the link's", {{1, 1000}, {3, 50000}}, 4 * 50 + 20},
        {"a part of a millisecond counts as one", {{3, 1}}, 4 * 1 + 20},
        {"never above the configured time-out", {{3, 400000}}, kTimeoutMs},
        {"a slow but live station is given its time", {{1, 500}, {3, 300000}, {1, 500}}, kTimeoutMs},
    };
    for (const ProbeCase &c : cases) {
        LinkHealth health(kTimeoutMs, kPeriodMs);
        for (const auto &answer : c.answers)
            health.recordAnswer(answer.first, answer.second);
        EXPECT_EQ(health.probeTimeoutMs(3), c.expectedMs) << c.what;
    }
}

TEST(LinkHealth, ASlowStationAnsweringWithinItsTimeOutIsNeverLostToAProbe)
{
    // Answers in 300 ms under a 1000 ms time-out, beside a fast station;
    // one reply lost, then every probe must wait long enough for it.
    LinkHealth health(kTimeoutMs, kPeriodMs);
    for (int i = 0; i < 300; ++i) {
        health.recordAnswer(1, 800);
        health.recordAnswer(3, 300000);
    }
    health.recordSilence(3, 0, kTimeoutMs);
    const RequestPlan probe = health.plan(3, health.nextTryMs(3));
    ASSERT_EQ(probe.kind, RequestKind::Probe);
    EXPECT_GT(probe.probeTimeoutMs, 300);
}

TEST(NearestRankPercentile, PicksTheValueOfItsRank)
{
    QVector<qint64> hundred;
    for (int i = 100; i >= 1; --i)
        hundred.append(i);
    const struct { QVector<qint64> values; double p; qint64 expected; } cases[] = {
        {{}, 50, -1},        {{7}, 99, 7},       {{3, 1, 2}, 50, 2}, {{3, 1, 2}, 0, 1},
        {{1, 2, 3, 4}, 50, 2}, {hundred, 99, 99}, {hundred, 100, 100}, {hundred, 99.5, 100},
    };
    for (const auto &c : cases)
        EXPECT_EQ(nearestRankPercentile(c.values, c.p), c.expected) << c.values.size() << " at " << c.p;
}

} // namespace
