// Writes of every data type and area, through the plug-in, into the pymodbus
// slave. Each case first sets the slave's registers or coils around the
// target with pymodbus's own client, writes new values through the driver,
// and then reads them back both through the driver and through pymodbus,
// with one untouched neighbour on each side.

#include "interop_fixture.h"

#include <random>
#include <vector>

namespace {

constexpr unsigned kWriteSeed = 0x77e1u;

enum class Shape { Words, DWords, DWordsHighFirst, Bytes };

struct RegisterWrite
{
    int station;
    int type;
    const char *address;
    int count;
    int start; // zero-based first register
    Shape shape;
    int function; // 16, or 6 one register at a time
};

int itemSize(Shape shape)
{
    switch (shape) {
    case Shape::Words:
        return 2;
    case Shape::DWords:
    case Shape::DWordsHighFirst:
        return 4;
    case Shape::Bytes:
        return 1;
    }
    return 0;
}

// The registers the slave should hold after the driver wrote data.
std::vector<quint16> registersOf(const QByteArray &data, Shape shape)
{
    auto byte = [&data](int i) { return i < data.size() ? quint16(quint8(data.at(i))) : quint16(0); };
    std::vector<quint16> registers;
    if (shape == Shape::DWords || shape == Shape::DWordsHighFirst) {
        for (int i = 0; i + 3 < data.size(); i += 4) {
            const quint16 low = quint16(byte(i) | byte(i + 1) << 8);
            const quint16 high = quint16(byte(i + 2) | byte(i + 3) << 8);
            registers.push_back(shape == Shape::DWords ? low : high);
            registers.push_back(shape == Shape::DWords ? high : low);
        }
    } else {
        // Words and bytes alike: low-order byte first; an odd byte count
        // leaves the last register's high-order byte 0.
        for (int i = 0; i < data.size(); i += 2)
            registers.push_back(quint16(byte(i) | byte(i + 1) << 8));
    }
    return registers;
}

std::vector<quint16> randomRegisters(std::mt19937 &random, int count)
{
    std::uniform_int_distribution<int> word(0, 0xFFFF);
    std::vector<quint16> values;
    for (int i = 0; i < count; ++i)
        values.push_back(quint16(word(random)));
    return values;
}

std::vector<quint8> randomBits(std::mt19937 &random, int count)
{
    std::bernoulli_distribution bit(0.5);
    std::vector<quint8> bits;
    for (int i = 0; i < count; ++i)
        bits.push_back(bit(random) ? 1 : 0);
    return bits;
}

// The slave's registers [start - 1, start + count], read with pymodbus.
std::vector<quint16> peerRegisters(PymodbusServer &server, int station, int start, int count)
{
    const PeerReply reply = peerRead(server, station, "hr", start - 1, count + 2);
    EXPECT_TRUE(reply.ok) << reply.error.toStdString() << " exception " << reply.exception;
    return std::vector<quint16>(reply.values.begin(), reply.values.end());
}

std::vector<quint8> peerCoils(PymodbusServer &server, int station, int start, int count)
{
    const PeerReply reply = peerRead(server, station, "co", start - 1, count + 2);
    EXPECT_TRUE(reply.ok) << reply.error.toStdString() << " exception " << reply.exception;
    return std::vector<quint8>(reply.values.begin(), reply.values.end());
}

class InteropWrites : public Interop
{
};

TEST_F(InteropWrites, RegistersWithFunctions16And6)
{
    const RegisterWrite cases[] = {
        {kStation1, Word, "HR151", 1, 150, Shape::Words, 16},
        {kStation1, Word, "HR152", 5, 151, Shape::Words, 16},
        {kStation1, Word, "HR151", 123, 150, Shape::Words, 16},
        {kStation1, DWord, "HR160", 2, 159, Shape::DWords, 16},
        {kStation1, DWord, "HR170SW", 2, 169, Shape::DWordsHighFirst, 16},
        {kStation1, Byte, "HR180", 5, 179, Shape::Bytes, 16},
        {kStation1, Block, "HR185", 4, 184, Shape::Bytes, 16},
        {kStation1, Word, "FN6HR200", 3, 199, Shape::Words, 6},
        {kStation1, DWord, "FN6HR210", 1, 209, Shape::DWords, 6},
        {kStation1, DWord, "fn6hr212sw", 2, 211, Shape::DWordsHighFirst, 6},
        {kStation1, Byte, "FN6HR220", 3, 219, Shape::Bytes, 6},
        {kStation2, Word, "HR151", 2, 150, Shape::Words, 16},
        {kStation2, DWord, "FN6HR160SW", 1, 159, Shape::DWordsHighFirst, 6},
    };
    std::mt19937 random(kWriteSeed);
    std::uniform_int_distribution<int> byte(0, 0xFF);
    for (const RegisterWrite &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        const int registers = (c.count * itemSize(c.shape) + 1) / 2;
        const std::vector<quint16> before = randomRegisters(random, registers + 2);
        ASSERT_TRUE(peerWriteRegisters(server(), c.station, c.start - 1, before).ok);

        // New data that changes every register of the target.
        QByteArray data;
        std::vector<quint16> written;
        do {
            data.clear();
            for (int i = 0; i < c.count * itemSize(c.shape); ++i)
                data.append(char(byte(random)));
            written = registersOf(data, c.shape);
        } while ([&] {
            for (size_t k = 0; k < written.size(); ++k) {
                if (written[k] == before[k + 1])
                    return true;
            }
            return false;
        }());
        ASSERT_EQ(int(written.size()), registers);

        Link link(linkSettings(port(), c.station));
        const QString address = QString::fromLatin1(c.address);
        ASSERT_TRUE(write(link, c.type, c.count, address, data)) << lastError();
        EXPECT_FALSE(driver()->hasError()) << lastError();

        const std::vector<QByteArray> frames = link.sentFrames();
        ASSERT_EQ(frames.size(), size_t(c.function == 16 ? 1 : registers));
        for (size_t k = 0; k < frames.size(); ++k) {
            const RequestHead head = requestHead(frames[k]);
            EXPECT_EQ(head.station, c.station);
            EXPECT_EQ(head.function, c.function);
            EXPECT_EQ(head.address, c.start + int(k));
            if (c.function == 16)
                EXPECT_EQ(head.quantity, registers);
            else
                EXPECT_EQ(head.quantity, written[k]); // function 6 carries the value there
        }

        std::vector<quint16> expected = written;
        expected.insert(expected.begin(), before.front());
        expected.push_back(before.back());
        EXPECT_EQ(peerRegisters(server(), c.station, c.start, registers), expected);
        EXPECT_EQ(read(link, c.type, c.count, address), data);
        EXPECT_FALSE(driver()->hasError()) << lastError();
    }
}

struct RegisterBitWrite
{
    int station;
    int type;
    const char *address;
    int count;
    int start;
    int bitOffset;
    int function; // of the write-back: 16, or 6 one register at a time
};

TEST_F(InteropWrites, RegisterBitsByReadModifyWrite)
{
    const RegisterBitWrite cases[] = {
        {kStation1, Bit, "HR230.3", 1, 229, 3, 16},
        {kStation1, Bit, "HR231.14", 4, 230, 14, 16},
        {kStation1, Bit, "HR233.0", 16, 232, 0, 16},
        {kStation1, Bit2, "HR245.7", 3, 244, 7, 16},
        {kStation1, Bit, "FN6HR240.3", 1, 239, 3, 6},
        {kStation1, Bit, "FN6HR241.15", 2, 240, 15, 6},
        {kStation2, Bit, "HR250.10", 3, 249, 10, 16},
    };
    std::mt19937 random(kWriteSeed + 1);
    for (const RegisterBitWrite &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        const int registers = (c.bitOffset + c.count + 15) / 16;
        const std::vector<quint16> before = randomRegisters(random, registers + 2);
        ASSERT_TRUE(peerWriteRegisters(server(), c.station, c.start - 1, before).ok);

        std::vector<quint16> expected = before;
        std::vector<quint8> bits;
        do {
            bits = randomBits(random, c.count);
            expected = before;
            for (int i = 0; i < c.count; ++i) {
                const int j = c.bitOffset + i;
                quint16 &reg = expected[size_t(1 + j / 16)];
                reg = quint16(bits[size_t(i)] ? reg | (1u << (j % 16)) : reg & ~(1u << (j % 16)));
            }
        } while (expected == before);

        Link link(linkSettings(port(), c.station));
        const QString address = QString::fromLatin1(c.address);
        ASSERT_TRUE(write(link, c.type, c.count, address, packBits(bits))) << lastError();

        // One read of the registers concerned, then the write-back.
        const std::vector<QByteArray> frames = link.sentFrames();
        ASSERT_EQ(frames.size(), size_t(1 + (c.function == 16 ? 1 : registers)));
        const RequestHead fetch = requestHead(frames[0]);
        EXPECT_EQ(fetch.function, 3);
        EXPECT_EQ(fetch.address, c.start);
        EXPECT_EQ(fetch.quantity, registers);
        for (size_t k = 1; k < frames.size(); ++k) {
            const RequestHead head = requestHead(frames[k]);
            EXPECT_EQ(head.station, c.station);
            EXPECT_EQ(head.function, c.function);
            EXPECT_EQ(head.address, c.start + (c.function == 16 ? 0 : int(k - 1)));
        }

        EXPECT_EQ(peerRegisters(server(), c.station, c.start, registers), expected);
        EXPECT_EQ(read(link, c.type, c.count, address), packBits(bits));
        EXPECT_FALSE(driver()->hasError()) << lastError();
    }
}

struct CoilWrite
{
    int station;
    int type;
    const char *address;
    int count;
    int start;
    int function; // 15, or 5 one coil at a time
};

TEST_F(InteropWrites, CoilsWithFunctions15And5)
{
    const CoilWrite cases[] = {
        {kStation1, Bit, "DO301", 10, 300, 15},
        {kStation1, Bit, "DO320", 1, 319, 15},
        {kStation1, Bit, "do330", 16, 329, 15},
        {kStation1, Bit2, "DO370", 9, 369, 15},
        {kStation1, Bit, "DO101", 1968, 100, 15},
        {kStation1, Bit, "FN5DO350", 3, 349, 5},
        {kStation1, Bit, "FN5DO360", 1, 359, 5},
        {kStation1, Bit2, "fn5do380", 10, 379, 5},
        {kStation2, Bit, "DO301", 7, 300, 15},
        {kStation2, Bit, "FN5DO310", 2, 309, 5},
    };
    std::mt19937 random(kWriteSeed + 2);
    for (const CoilWrite &c : cases) {
        SCOPED_TRACE(testing::Message() << "station " << c.station << " type " << c.type << " " << c.address << " x"
                                        << c.count);
        const std::vector<quint8> before = randomBits(random, c.count + 2);
        ASSERT_TRUE(peerWriteCoils(server(), c.station, c.start - 1, before).ok);
        std::vector<quint8> bits;
        do {
            bits = randomBits(random, c.count);
        } while (bits == std::vector<quint8>(before.begin() + 1, before.end() - 1));

        Link link(linkSettings(port(), c.station));
        const QString address = QString::fromLatin1(c.address);
        ASSERT_TRUE(write(link, c.type, c.count, address, packBits(bits))) << lastError();

        const std::vector<QByteArray> frames = link.sentFrames();
        ASSERT_EQ(frames.size(), size_t(c.function == 15 ? 1 : c.count));
        for (size_t k = 0; k < frames.size(); ++k) {
            const RequestHead head = requestHead(frames[k]);
            EXPECT_EQ(head.station, c.station);
            EXPECT_EQ(head.function, c.function);
            EXPECT_EQ(head.address, c.start + int(k));
            if (c.function == 15)
                EXPECT_EQ(head.quantity, c.count);
            else
                EXPECT_EQ(head.quantity, bits[k] ? 0xFF00 : 0x0000); // function 5's value field
        }

        std::vector<quint8> expected = bits;
        expected.insert(expected.begin(), before.front());
        expected.push_back(before.back());
        EXPECT_EQ(peerCoils(server(), c.station, c.start, c.count), expected);
        EXPECT_EQ(read(link, c.type, c.count, address), packBits(bits));
        EXPECT_FALSE(driver()->hasError()) << lastError();
    }
}

} // namespace
