// The map of initial values: every form of line, per station, and each kind
// of bad line with its line number and reason.

#include <gtest/gtest.h>

#include <vector>

#include "host/sim/sim_map.h"

using namespace sim;

namespace {

const StationSet kServed = makeStationSet({1, 17});

// Holding registers 1 and 65536, input register 7, coil 3, discrete input 2.
std::vector<int> samples(const SlaveData &d)
{
    return {d.holdingRegisters[0], d.holdingRegisters[65535], d.inputRegisters[6], d.coils[2], d.discreteInputs[1]};
}

TEST(SlaveMap, ReadsEveryFormOfLineAndAStationsOwnLinesOnlyForIt)
{
    const ParsedMap map = parseSlaveMap("# start values\n\nHR,1,0x1234\n  hr , 65536 , 65535 \r\nir,7,9\n"
                                        "DO,3,1\n   # indented comment\ndi,2,0\n17,HR,1,7\n",
                                        kServed);
    ASSERT_EQ(map.errorLine, 0) << map.error.toStdString();
    SlaveData one, seventeen;
    one.discreteInputs[1] = seventeen.discreteInputs[1] = 1; // the map turns it off
    applySlaveMap(map.entries, 1, one);
    applySlaveMap(map.entries, 17, seventeen);
    EXPECT_EQ(samples(one), std::vector<int>({0x1234, 0xFFFF, 9, 1, 0}));
    EXPECT_EQ(samples(seventeen), std::vector<int>({7, 0xFFFF, 9, 1, 0})); // its own line comes later and wins
}

TEST(SlaveMap, NamesTheFirstBadLineAndWhy)
{
    const struct { const char *text; int line; const char *error; } cases[] = {
        {"HR,1", 1, "expected area,address,value or station,area,address,value, not 2 field(s)"},
        {"1,HR,1,2,3", 1, "expected area,address,value or station,area,address,value, not 5 field(s)"},
        {"# fine\nHR,1,2\n\nXR,1,2\nHR,0,0", 4, "unknown area 'XR' (HR, IR, DO or DI)"},
        {"HR,0,1", 1, "address must be 1 to 65536, not '0'"},
        {"IR,65537,1", 1, "address must be 1 to 65536, not '65537'"},
        {"HR,1,65536", 1, "HR value must be 0 to 65535, not '65536'"},
        {"HR,1,-1", 1, "HR value must be 0 to 65535, not '-1'"},
        {"IR,1,0x", 1, "IR value must be 0 to 65535, not '0x'"},
        {"DO,1,2", 1, "DO value must be 0 or 1, not '2'"},
        {"256,DI,1,1", 1, "station must be 0 to 255, not '256'"},
        {"2,DI,1,1", 1, "station 2 is not served"},
    };
    for (const auto &c : cases) {
        const ParsedMap map = parseSlaveMap(QString::fromLatin1(c.text), kServed);
        EXPECT_EQ(map.errorLine, c.line) << c.text;
        EXPECT_EQ(map.error.toStdString(), c.error) << c.text;
    }
}

} // namespace
