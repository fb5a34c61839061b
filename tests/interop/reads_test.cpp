// Reads of every data type and area, through the plug-in, from the pymodbus
// slave. Expected data are worked out from the slave's own tables; the frames
// the device sent show which function and quantity the driver chose.

#include "interop_fixture.h"

#include <vector>

namespace {

enum class Shape { Words, DWords, DWordsHighFirst, Bytes, Bits };

struct RegisterRead
{
    int station;
    int type;
    const char *address;
    int count;
    const char *table; // "hr" or "ir": the table the slave answers from
    int start;         // zero-based register of the address
    int bitOffset;     // for Bits
    Shape shape;
    int function;
};

const std::vector<quint16> &registerTable(const StationTables &tables, const char *name)
{
    return qstrcmp(name, "hr") == 0 ? tables.hr : tables.ir;
}

QByteArray expectedRegisterData(const RegisterRead &c, const std::vector<quint16> &table)
{
    switch (c.shape) {
    case Shape::Words:
        return wordsLE(table, c.start, c.count);
    case Shape::DWords:
        return dwordsLE(table, c.start, c.count, false);
    case Shape::DWordsHighFirst:
        return dwordsLE(table, c.start, c.count, true);
    case Shape::Bytes:
        return registerBytes(table, c.start, c.count);
    case Shape::Bits:
        return registerBits(table, c.start, c.bitOffset, c.count);
    }
    return QByteArray();
}

int registersAskedFor(const RegisterRead &c)
{
    switch (c.shape) {
    case Shape::Words:
        return c.count;
    case Shape::DWords:
    case Shape::DWordsHighFirst:
        return 2 * c.count;
    case Shape::Bytes:
        return (c.count + 1) / 2;
    case Shape::Bits:
        return (c.bitOffset + c.count + 15) / 16;
    }
    return 0;
}

class InteropReads : public Interop
{
};

TEST_F(InteropReads, RegistersInEveryTypeAndArea)
{
    const RegisterRead cases[] = {
        // words: HR and FN6HR with function 3, IR with 4, up to the protocol's 125
        {kStation1, Word, "HR1", 1, "hr", 0, 0, Shape::Words, 3},
        {kStation1, Word, "HR7", 10, "hr", 6, 0, Shape::Words, 3},
        {kStation1, Word, "HR1", 125, "hr", 0, 0, Shape::Words, 3},
        {kStation1, Word, "HR300", 1, "hr", 299, 0, Shape::Words, 3},
        {kStation1, Word, "FN6HR40", 4, "hr", 39, 0, Shape::Words, 3},
        {kStation1, Word, "IR1", 3, "ir", 0, 0, Shape::Words, 4},
        {kStation1, Word, "ir250", 20, "ir", 249, 0, Shape::Words, 4},
        {kStation2, Word, "HR1", 4, "hr", 0, 0, Shape::Words, 3},
        {kStation2, Word, "IR10", 2, "ir", 9, 0, Shape::Words, 4},
        // double words in both word orders
        {kStation1, DWord, "HR100", 3, "hr", 99, 0, Shape::DWords, 3},
        {kStation1, DWord, "HR100SW", 3, "hr", 99, 0, Shape::DWordsHighFirst, 3},
        {kStation1, DWord, "hr100sw", 3, "hr", 99, 0, Shape::DWordsHighFirst, 3},
        {kStation1, DWord, "FN6HR8SW", 1, "hr", 7, 0, Shape::DWordsHighFirst, 3},
        {kStation1, DWord, "IR20", 2, "ir", 19, 0, Shape::DWords, 4},
        {kStation1, DWord, "IR20SW", 2, "ir", 19, 0, Shape::DWordsHighFirst, 4},
        {kStation1, DWord, "HR1", 62, "hr", 0, 0, Shape::DWords, 3},
        {kStation2, DWord, "HR3SW", 2, "hr", 2, 0, Shape::DWordsHighFirst, 3},
        // bytes and blocks: low-order byte of each register first
        {kStation1, Byte, "HR50", 5, "hr", 49, 0, Shape::Bytes, 3},
        {kStation1, Byte, "HR50", 6, "hr", 49, 0, Shape::Bytes, 3},
        {kStation1, Byte, "FN6HR5", 1, "hr", 4, 0, Shape::Bytes, 3},
        {kStation1, Byte, "IR11", 3, "ir", 10, 0, Shape::Bytes, 4},
        {kStation1, Block, "HR60", 7, "hr", 59, 0, Shape::Bytes, 3},
        {kStation1, Byte, "HR1", 250, "hr", 0, 0, Shape::Bytes, 3},
        // bits inside registers
        {kStation1, Bit, "HR10.3", 1, "hr", 9, 3, Shape::Bits, 3},
        {kStation1, Bit, "HR10.0", 16, "hr", 9, 0, Shape::Bits, 3},
        {kStation1, Bit, "HR10.15", 2, "hr", 9, 15, Shape::Bits, 3},
        {kStation1, Bit, "HR20.5", 40, "hr", 19, 5, Shape::Bits, 3},
        {kStation1, Bit2, "HR10.3", 5, "hr", 9, 3, Shape::Bits, 3},
        {kStation1, Bit, "FN6HR12.1", 3, "hr", 11, 1, Shape::Bits, 3},
        {kStation1, Bit, "IR30.7", 9, "ir", 29, 7, Shape::Bits, 4},
        {kStation2, Bit, "HR2.9", 4, "hr", 1, 9, Shape::Bits, 3},
    };
    for (const RegisterRead &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        Link link(linkSettings(port(), c.station));
        const QByteArray data = read(link, c.type, c.count, QString::fromLatin1(c.address));
        ASSERT_FALSE(driver()->hasError()) << lastError();
        EXPECT_EQ(data, expectedRegisterData(c, registerTable(tables(c.station), c.table)));

        const std::vector<QByteArray> frames = link.sentFrames();
        ASSERT_EQ(frames.size(), 1u);
        const RequestHead head = requestHead(frames[0]);
        EXPECT_EQ(head.station, c.station);
        EXPECT_EQ(head.function, c.function);
        EXPECT_EQ(head.address, c.start);
        EXPECT_EQ(head.quantity, registersAskedFor(c));
    }
}

struct CoilRead
{
    int station;
    int type;
    const char *address;
    int count;
    const char *table; // "co" or "di"
    int start;
    int function;
};

TEST_F(InteropReads, CoilsAndDiscreteInputsAsBits)
{
    const CoilRead cases[] = {
        {kStation1, Bit, "DO1", 10, "co", 0, 1},
        {kStation1, Bit, "do17", 16, "co", 16, 1},
        {kStation1, Bit, "FN5DO5", 3, "co", 4, 1},
        {kStation1, Bit2, "DO33", 9, "co", 32, 1},
        {kStation1, Bit, "DO1", 2000, "co", 0, 1},
        {kStation1, Bit, "DI1", 20, "di", 0, 2},
        {kStation1, Bit, "DI100", 1, "di", 99, 2},
        {kStation1, Bit, "di2100", 1, "di", 2099, 2},
        {kStation1, Bit2, "DI7", 8, "di", 6, 2},
        {kStation1, Bit, "DI1", 2000, "di", 0, 2},
        {kStation2, Bit, "DI5", 13, "di", 4, 2},
        {kStation2, Bit, "DO3", 1, "co", 2, 1},
    };
    for (const CoilRead &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        Link link(linkSettings(port(), c.station));
        const QByteArray data = read(link, c.type, c.count, QString::fromLatin1(c.address));
        ASSERT_FALSE(driver()->hasError()) << lastError();
        const StationTables &t = tables(c.station);
        EXPECT_EQ(data, packBits(slice(qstrcmp(c.table, "co") == 0 ? t.co : t.di, c.start, c.count)));

        const std::vector<QByteArray> frames = link.sentFrames();
        ASSERT_EQ(frames.size(), 1u);
        const RequestHead head = requestHead(frames[0]);
        EXPECT_EQ(head.function, c.function);
        EXPECT_EQ(head.address, c.start);
        EXPECT_EQ(head.quantity, c.count);
    }
}

struct SparseRead
{
    int station;
    int type;
    const char *address;
    int bytes;
    const char *area; // "DI" or "DO": the configured set consulted
    int start;
};

struct BitRun
{
    int address;
    int length;
    bool operator==(const BitRun &other) const { return address == other.address && length == other.length; }
};

std::ostream &operator<<(std::ostream &os, const BitRun &run)
{
    return os << "{" << run.address << ", " << run.length << "}";
}

TEST_F(InteropReads, DiscreteInputAndCoilBytesFetchOnlyConfiguredAddresses)
{
    const SparseRead cases[] = {
        {kStation1, Byte, "DI1", 5, "DI", 0},
        {kStation1, Block, "DI9", 2, "DI", 8},
        {kStation1, Byte, "DO1", 3, "DO", 0},
        {kStation1, Byte, "FN5DO1", 2, "DO", 0},
        {kStation1, Byte, "DI41", 2, "DI", 40}, // nothing configured there
        {kStation2, Byte, "DI1", 2, "DI", 0},
        {kStation2, Block, "DO1", 1, "DO", 0},
    };
    for (const SparseRead &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.bytes);
        const bool di = qstrcmp(c.area, "DI") == 0;
        const std::vector<quint8> &table = di ? tables(c.station).di : tables(c.station).co;
        const std::set<int> configured = configuredAddresses(c.station, c.area);

        std::vector<quint8> expected(size_t(8 * c.bytes), 0);
        std::vector<BitRun> runs;
        bool unconfiguredOn = false;
        for (int i = 0; i < 8 * c.bytes; ++i) {
            const int address = c.start + i;
            if (configured.count(address)) {
                expected[size_t(i)] = table.at(size_t(address));
                if (!runs.empty() && runs.back().address + runs.back().length == address)
                    ++runs.back().length;
                else
                    runs.push_back({address, 1});
            } else {
                unconfiguredOn = unconfiguredOn || table.at(size_t(address)) != 0;
            }
        }
        // An unconfigured input that is on in the slave must read as 0,
        // or the case would not tell a sparse read from a plain one.
        ASSERT_TRUE(unconfiguredOn) << "the data map gives this case nothing to leave out";

        Link link(linkSettings(port(), c.station));
        const QByteArray data = read(link, c.type, c.bytes, QString::fromLatin1(c.address));
        ASSERT_FALSE(driver()->hasError()) << lastError();
        EXPECT_EQ(data, packBits(expected));

        std::vector<BitRun> sent;
        for (const QByteArray &frame : link.sentFrames()) {
            const RequestHead head = requestHead(frame);
            EXPECT_EQ(head.function, di ? 2 : 1);
            sent.push_back({head.address, head.quantity});
        }
        EXPECT_EQ(sent, runs);
    }
}

} // namespace
