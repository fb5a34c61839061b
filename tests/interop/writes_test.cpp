// Writes of every data type and area through the plug-in. Each case sets the
// target and one neighbour on each side with pymodbus's own client, writes
// data that flips every target bit, checks the requests, and reads the
// values back through pymodbus and through the driver.

#include "interop_support.h"

#include <random>

namespace {

struct WriteCase
{
    int station;
    int type;
    const char *address;
    int count;
    const char *table; // "hr" or "co"
    int first;         // zero-based first register or coil
    int span;          // registers or coils covered
    std::vector<int> functions;
};

TEST_F(Interop, WritesReadBackThroughPymodbusAndTheDriver)
{
    const WriteCase cases[] = {
        {kStation1, WordData, "HR152", 5, "hr", 151, 5, {16}},
        {kStation1, DoubleWordData, "HR160", 2, "hr", 159, 4, {16}},
        {kStation1, DoubleWordData, "HR170SW", 2, "hr", 169, 4, {16}},
        {kStation1, ByteData, "HR180", 5, "hr", 179, 3, {16}},
        {kStation1, BlockData, "HR185", 4, "hr", 184, 2, {16}},
        {kStation1, WordData, "FN6HR200", 3, "hr", 199, 3, {6, 6, 6}},
        {kStation1, ByteData, "FN6HR220", 3, "hr", 219, 2, {6, 6}},
        {kStation2, DoubleWordData, "fn6hr212sw", 1, "hr", 211, 2, {6, 6}},
        // bits inside registers: a read, then the registers written back
        {kStation1, BitData, "HR231.14", 4, "hr", 230, 2, {3, 16}},
        {kStation1, SecondBitData, "FN6HR241.15", 2, "hr", 240, 2, {3, 6, 6}},
        {kStation1, BitData, "DO301", 10, "co", 300, 10, {15}},
        {kStation2, SecondBitData, "FN5DO350", 3, "co", 349, 3, {5, 5, 5}},
    };
    std::mt19937 random(0x77e2u);
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        const bool coils = qstrcmp(c.table, "co") == 0;
        const QString address = QLatin1String(c.address);
        std::vector<int> before(size_t(c.span + 2));
        for (int &value : before)
            value = int(random() % (coils ? 2 : 0x10000));
        peer(c.station, coils ? "write-co" : "write-hr", c.first - 1, before);

        std::vector<int> after = before;
        const auto target = [&after] { return std::vector<int>(after.begin() + 1, after.end() - 1); };
        QByteArray data;
        if (coils) {
            for (int i = 1; i <= c.span; ++i)
                after[size_t(i)] ^= 1;
            data = packBits(target());
        } else if (c.type == BitData || c.type == SecondBitData) {
            const int offset = address.section('.', 1).toInt();
            for (int j = offset; j < offset + c.count; ++j)
                after[size_t(1 + j / 16)] ^= 1 << (j % 16);
            data = packBits(bitsOf(registerData(target(), false), offset, c.count));
        } else {
            for (int i = 1; i <= c.span; ++i)
                after[size_t(i)] ^= 0xFFFF;
            data = registerData(target(), address.endsWith("SW", Qt::CaseInsensitive));
            if (c.type == ByteData && c.count % 2 == 1) { // the last register's high-order byte becomes 0
                data.chop(1);
                after[size_t(c.span)] &= 0xFF;
            }
        }
        // A palindrome would hide items written in the wrong order.
        const std::vector<int> items = target();
        ASSERT_NE(items, std::vector<int>(items.rbegin(), items.rend())) << "pick another seed";
        Link link(port(), c.station);
        ASSERT_TRUE(write(link, c.type, c.count, c.address, data)) << lastError();

        std::vector<Request> expected;
        int k = 0;
        for (int function : c.functions) {
            if (function == 5 || function == 6) { // one item each, the value in place of the quantity
                const int value = after.at(size_t(k + 1));
                expected.push_back({function, c.first + k++, function == 5 ? value * 0xFF00 : value});
            } else {
                expected.push_back({function, c.first, c.span});
            }
        }
        EXPECT_EQ(link.requests, expected);
        EXPECT_EQ(peer(c.station, coils ? "read-co" : "read-hr", c.first - 1, {c.span + 2}), after);
        EXPECT_EQ(read(link, c.type, c.count, c.address), data) << lastError();
    }
}

} // namespace
