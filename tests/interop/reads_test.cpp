// Reads of every data type and area through the plug-in, each compared with
// what pymodbus's own client reads from the same table, and the requests the
// driver sent for it.

#include "interop_support.h"

namespace {

struct ReadCase
{
    int station;
    int type;
    const char *address;
    int count;
    std::vector<Request> requests;
    int first = -1; // byte reads of DI and DO: their first address; they fetch only configured inputs
};

const char *const kReadCommand[] = {"", "read-co", "read-di", "read-hr", "read-ir"};

TEST_F(Interop, ReadsAgreeWithPymodbus)
{
    const ReadCase cases[] = {
        {kStation1, WordData, "HR7", 10, {{3, 6, 10}}},
        {kStation1, WordData, "FN6HR40", 4, {{3, 39, 4}}},
        {kStation1, WordData, "ir250", 20, {{4, 249, 20}}},
        {kStation1, DoubleWordData, "HR100", 3, {{3, 99, 6}}},
        {kStation1, DoubleWordData, "HR100SW", 3, {{3, 99, 6}}},
        {kStation2, DoubleWordData, "hr3sw", 2, {{3, 2, 4}}},
        {kStation1, ByteData, "HR50", 5, {{3, 49, 3}}},
        {kStation1, BlockData, "IR11", 4, {{4, 10, 2}}},
        {kStation1, BitData, "HR20.5", 40, {{3, 19, 3}}},
        {kStation1, SecondBitData, "IR30.7", 9, {{4, 29, 1}}},
        {kStation1, BitData, "DO1", 10, {{1, 0, 10}}},
        {kStation1, SecondBitData, "FN5DO5", 3, {{1, 4, 3}}},
        {kStation2, BitData, "DI1", 20, {{2, 0, 20}}},
        {kStation1, ByteData, "DI1", 5, {{2, 0, 8}, {2, 10, 2}, {2, 19, 1}, {2, 24, 16}}, 0},
        {kStation1, BlockData, "DO1", 3, {{1, 0, 4}, {1, 6, 1}, {1, 8, 16}}, 0},
        {kStation2, ByteData, "DI1", 2, {{2, 4, 8}}, 0},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        const Request &r = c.requests.front();
        const QString address = QLatin1String(c.address);
        QByteArray expected;
        if (r.function <= 2) {
            const bool sparse = c.first >= 0;
            const int first = sparse ? c.first : r.address;
            const int width = sparse ? 8 * c.count : c.count;
            const std::vector<int> all = peer(c.station, kReadCommand[r.function], first, {width});
            std::vector<int> asked(all.size(), 0); // what the driver should not ask for reads 0
            for (const Request &q : c.requests) {
                for (int a = q.address; a < q.address + q.quantity; ++a)
                    asked.at(size_t(a - first)) = all.at(size_t(a - first));
            }
            ASSERT_EQ(asked != all, sparse) << "a sparse case needs an unconfigured input that is on";
            expected = packBits(asked);
        } else {
            expected = registerData(peer(c.station, kReadCommand[r.function], r.address, {r.quantity}),
                                    address.endsWith("SW", Qt::CaseInsensitive));
            if (c.type == BitData || c.type == SecondBitData)
                expected = packBits(bitsOf(expected, address.section('.', 1).toInt(), c.count));
            else if (c.type == ByteData || c.type == BlockData)
                expected.truncate(c.count);
        }
        Link link(port(), c.station);
        EXPECT_EQ(read(link, c.type, c.count, c.address), expected) << lastError();
        EXPECT_EQ(link.requests, c.requests);
    }
}

} // namespace
