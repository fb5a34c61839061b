// Registers that count up: the list of them, each kind of bad item, and the
// ticks added as time passes, per station, wrapping at 65535.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "host/sim/sim_counters.h"

using namespace sim;

namespace {

// station, area (0 HR, 1 IR), first, last
std::vector<std::array<int, 4>> flat(const QVector<CounterRun> &runs)
{
    std::vector<std::array<int, 4>> out;
    for (const CounterRun &run : runs)
        out.push_back({run.station, run.area == MapArea::InputRegisters ? 1 : 0, run.first, run.last});
    return out;
}

TEST(CounterRuns, ReadsRunsAndNamesTheBadItem)
{
    QVector<CounterRun> runs;
    QString error;
    ASSERT_TRUE(parseCounterRuns(QStringLiteral("HR10, 2-ir5-6,HR65536"), &runs, &error)) << error.toStdString();
    EXPECT_EQ(flat(runs), (std::vector<std::array<int, 4>>{{kEveryStation, 0, 9, 9}, {2, 1, 4, 5}, {kEveryStation, 0, 65535, 65535}}));
    const std::pair<const char *, const char *> bad[] = {
        {"HR1,DI5", "'DI5': only holding (HR) and input (IR) registers count up"},
        {"FN6HR1", "'FN6HR1': only holding (HR) and input (IR) registers count up"},
        {"HR0", "'HR0': addresses go from 1 to 65536"},
        {"IR99999999999", "'IR99999999999': addresses go from 1 to 65536"},
        {"HR9-2", "'HR9-2': the range must run upwards and end at 65536 at most"},
        {"HR1-65537", "'HR1-65537': the range must run upwards"},
        {"256-HR1", "'256-HR1': station must be 0 to 255"},
        {"HR1,", "cannot read '': expected [STATION-]HR|IR FIRST[-LAST]"},
        {"HR1.3", "cannot read 'HR1.3'"},
    };
    for (const auto &[text, reason] : bad) {
        EXPECT_FALSE(parseCounterRuns(QLatin1String(text), &runs, &error)) << text;
        EXPECT_TRUE(error.startsWith(QLatin1String(reason))) << text << " gave: " << error.toStdString();
    }
    ASSERT_TRUE(parseCounterRuns(QStringLiteral("HR1,3-HR1"), &runs, &error));
    EXPECT_EQ(checkCounterStations(runs, makeStationSet({1, 3})), QString());
    EXPECT_EQ(checkCounterStations(runs, makeStationSet({1, 2})), QStringLiteral("station 3 is not served"));
}

TEST(CountUp, AddsTheWholePeriodsPassedSinceTheLastCallInTheStationsNamed)
{
    QVector<CounterRun> runs;
    QString error;
    ASSERT_TRUE(parseCounterRuns(QStringLiteral("HR1,2-IR5-6"), &runs, &error));
    StationTables tables(makeStationSet({1, 2}));
    for (int station : {1, 2}) {
        SlaveData &data = *tables.find(station);
        data.holdingRegisters[0] = 65534;
        data.inputRegisters[4] = 7;
        data.inputRegisters[5] = 100;
    }
    CountUp countUp(runs, 1000);
    // HR1 of stations 1 and 2, IR5 of 1 and 2, IR6 of 2.
    const auto values = [&tables] {
        return std::vector<int>{tables.find(1)->holdingRegisters[0], tables.find(2)->holdingRegisters[0],
                                tables.find(1)->inputRegisters[4], tables.find(2)->inputRegisters[4],
                                tables.find(2)->inputRegisters[5]};
    };
    const struct { int64_t elapsedMs; std::vector<int> expected; } steps[] = {
        {999, {65534, 65534, 7, 7, 100}}, // within the first period: the start values
        {1000, {65535, 65535, 7, 8, 101}},
        {3500, {1, 1, 7, 10, 103}},       // two periods at once, past 65535
        {3500, {1, 1, 7, 10, 103}},       // once added, never again
        {2000, {1, 1, 7, 10, 103}},       // time going back adds nothing
        {(4 + 65536) * 1000LL, {2, 2, 7, 11, 104}}, // 65537 periods: a whole round and one
    };
    for (const auto &step : steps) {
        countUp.advance(step.elapsedMs, tables);
        EXPECT_EQ(values(), step.expected) << step.elapsedMs;
    }
}

} // namespace
