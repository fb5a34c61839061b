// Device addresses: which data types each area takes, up to the boundaries
// of number and bit index, and why the rest is refused. What they parse to
// shows in the row labels of runtime_values_test.

#include <gtest/gtest.h>

#include "host/runtime/device_address.h"

namespace {

TEST(DeviceAddress, TakesTheTypesOfItsAreaOrSaysWhyNot)
{
    // What the address takes: "r", "w", "rw", "" (neither), or part of the reason it is refused.
    const struct { const char *address; DataType type; const char *takes; } cases[] = {
        {"HR1", ByteData, "rw"},       {"HR65536.15", BitData, "rw"}, {"HR1.0", WordData, ""},
        {"hr1sw", DoubleWordData, "rw"}, {"HR1SW", WordData, ""},    {"FN6HR3", BlockData, "rw"},
        {"IR7", WordData, "r"},        {"IR1.2", BitData, "r"},       {"DI65536", ByteData, "r"},
        {"DI1", WordData, ""},         {"DO1", BitData, "rw"},        {"DO1", BlockData, "r"},
        {"DO1", DoubleWordData, ""},   {"fn5do17", BitData, "rw"},    {"FN5DO1", WordData, ""},
        {"FN7HR1", BitData, "unknown address area 'FN7HR'"}, {"", BitData, "has no area"},
        {"HR0", BitData, "needs a number from 1 to 65536"}, {"HR65537", BitData, "needs a number from 1 to 65536"},
        {"HR1.16", BitData, "the bit index runs from 0 to 15"}, {"HR1.", BitData, "the bit index runs from 0 to 15"},
        {"DI5.1", BitData, "register areas only"}, {"2-DI5", BitData, "cannot read address"},
        {"HR1x", BitData, "cannot read address"},
    };
    for (const auto &c : cases) {
        DeviceAddress address;
        QString error, readError, writeError, takes;
        if (parseDeviceAddress(QLatin1String(c.address), &address, &error)) {
            takes = QLatin1String(checkReadable(address, c.type, &readError) ? "r" : "")
                    + QLatin1String(checkWritable(address, c.type, &writeError) ? "w" : "");
            EXPECT_EQ(readError.isEmpty(), takes.contains('r')) << c.address << ": a refusal says why";
            EXPECT_EQ(writeError.isEmpty(), takes.contains('w')) << c.address << ": a refusal says why";
        }
        EXPECT_TRUE(error.isEmpty() ? takes == QLatin1String(c.takes) : error.contains(QLatin1String(c.takes)))
            << c.address << " " << c.type << " gave " << (takes + error).toStdString();
    }
}

} // namespace
