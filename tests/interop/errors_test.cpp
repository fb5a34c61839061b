// Failures as the pymodbus slave causes them; the driver's error names the
// reason and the request.

#include "interop_support.h"

#include <QElapsedTimer>

namespace {

// An exception reply for an address outside the slave's tables, and silence
// from a station it does not serve: with one retry, each of the two attempts
// sends one request.
TEST_F(Interop, FailuresGiveTheReasonAndTheRequest)
{
    static_assert(kTableSize == 400, "HR400 x2 and DO401 reach past the tables");
    struct FailureCase
    {
        int station;
        bool write;
        int type;
        const char *address;
        int count;
        const char *error;
    };
    const FailureCase cases[] = {
        {kStation1, false, WordData, "HR400", 2, "exception code:0x02 (read 2 word(s) from 1-HR400)"},
        {kStation2, true, BitData, "FN5DO401", 1, "exception code:0x02 (write 1 bit to 2-FN5DO401)"},
        {kSilentStation, false, DoubleWordData, "IR5SW", 1, "PLC no response (read 1 dword(s) from 3-IR5SW)"},
        {kSilentStation, true, WordData, "FN6HR151", 1, "PLC no response (write 1 word to 3-FN6HR151)"},
    };
    constexpr int kTimeoutMs = 300;
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.error);
        Link link(port(), c.station, 1, kTimeoutMs);
        QElapsedTimer clock;
        clock.start();
        const bool done = c.write ? write(link, c.type, c.count, c.address, QByteArray(4 * c.count, 'Z'))
                                  : !read(link, c.type, c.count, c.address).isEmpty();
        EXPECT_FALSE(done);
        EXPECT_TRUE(m_driver->hasError());
        EXPECT_EQ(lastError(), c.error);
        EXPECT_EQ(link.requests.size(), 2u);
        if (c.station == kSilentStation) { // each attempt waited out, the link reopened for the retry
            EXPECT_GE(clock.elapsed(), 2 * kTimeoutMs - 20);
            EXPECT_EQ(link.device.connectCount(), 2);
        } else { // the exception reply was taken whole: the link serves the next request
            EXPECT_EQ(read(link, WordData, 1, "HR1"), registerData(peer(c.station, "read-hr", 0, {1}), false));
            EXPECT_EQ(link.device.connectCount(), 1);
        }
    }
}

} // namespace
