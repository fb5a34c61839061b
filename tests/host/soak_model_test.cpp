// The soak's bookkeeping: the values a read must give by the shadow, what a
// write leaves known or unknown, the request descriptions and error texts it
// accepts, and requests that stay inside the limits of driver and slave.

#include <gtest/gtest.h>

#include <QSet>
#include <utility>
#include <vector>

#include "host/soak_model.h"
#include "host/tool_address.h"
#include "host_test_util.h"

using namespace soak;

namespace {

constexpr Table HR = Table::HoldingRegisters;
constexpr Table Coils = Table::Coils;

// bit and swapped (high word first) matter only to the shapes that use them.
Request request(Table table, Shape shape, int start, int count, bool write = false, int bit = 0, bool swapped = false)
{
    Request r;
    r.write = write;
    r.table = table;
    r.shape = shape;
    r.start = start;
    r.count = count;
    r.bit = bit;
    r.highWordFirst = swapped;
    r.dataType = shape == Shape::Words                                  ? WordData
                 : shape == Shape::DWords                               ? DoubleWordData
                 : shape == Shape::Bytes || shape == Shape::SparseBytes ? ByteData
                                                                        : BitData;
    return r;
}

// Discrete inputs 0-15 are on; of them 0-7, 10 and 11 are configured.
Shadow sampleShadow()
{
    Shadow s;
    const std::pair<int, uint16_t> registers[] = {{0, 0x1234}, {1, 0x5678}, {4, 0x1234},
                                                  {5, 0xABCD}, {9, 0x8000}, {10, 1}};
    for (const auto &[address, value] : registers)
        s.holdingRegisters[std::size_t(address)] = value;
    s.inputRegisters[7] = 0xBEEF;
    for (int a : {100, 102, 103, 108, 110})
        s.coils[std::size_t(a)] = 1;
    for (int a = 0; a < 16; ++a)
        s.discreteInputs[std::size_t(a)] = 1;
    for (int a : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11})
        s.configuredInputs[std::size_t(a)] = 1;
    return s;
}

TEST(SoakShadow, ReadsGiveEveryBitKnownInTheDriverLayout)
{
    const Shadow shadow = sampleShadow();
    const struct { const char *what; Request request; const char *bytes; } cases[] = {
        {"words, low byte first", request(HR, Shape::Words, 4, 2), "34 12 CD AB"},
        {"bytes, low byte first", request(HR, Shape::Bytes, 4, 3), "34 12 CD"},
        {"dword, low word first", request(HR, Shape::DWords, 0, 1), "34 12 78 56"},
        {"dword, high word first", request(HR, Shape::DWords, 0, 1, false, 0, true), "78 56 34 12"},
        {"register bits from the offset, 0 padding", request(HR, Shape::RegisterBits, 9, 2, false, 15), "03"},
        {"coils LSB first, 0 padding, 110 beyond", request(Coils, Shape::Bits, 100, 10), "0D 01"},
        {"sparse: 0 where not configured", request(Table::DiscreteInputs, Shape::SparseBytes, 0, 2), "FF 0C"},
        {"input registers", request(Table::InputRegisters, Shape::Words, 7, 1), "EF BE"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Shadow::Expectation expected = shadow.expectRead(c.request);
        EXPECT_EQ(hexOf(expected.bytes), hexOf(hexBytes(c.bytes)));
        EXPECT_EQ(expected.known, QByteArray(hexBytes(c.bytes).size(), '\xFF'));
    }
}

TEST(SoakShadow, AcknowledgedWritesSetWhatTheDriverWrites)
{
    const struct { const char *what; Request request; const char *data; std::vector<std::pair<int, int>> values; }
        cases[] = {
        {"words", request(HR, Shape::Words, 0, 2, true), "34 12 78 56", {{0, 0x1234}, {1, 0x5678}}},
        {"dword, high word first", request(HR, Shape::DWords, 10, 1, true, 0, true), "78 56 34 12",
         {{10, 0x1234}, {11, 0x5678}}},
        {"odd byte count: last high byte 0", request(HR, Shape::Bytes, 20, 3, true), "11 22 33",
         {{20, 0x2211}, {21, 0x0033}}},
        {"coils: bits beyond the count ignored", request(Coils, Shape::Bits, 16, 3, true), "FD",
         {{16, 1}, {17, 0}, {18, 1}, {19, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Shadow shadow;
        shadow.holdingRegisters[21] = 0xFFFF;
        Request write = c.request;
        write.data = hexBytes(c.data);
        shadow.applyWrite(write, true);
        for (const auto &[address, value] : c.values) {
            const std::size_t a = std::size_t(address);
            if (write.table == Coils) {
                EXPECT_EQ(shadow.coils[a], value) << "coil " << address;
            } else {
                EXPECT_EQ(shadow.holdingRegisters[a], value) << "register " << address;
                EXPECT_EQ(shadow.knownMask(address), 0xFFFF) << "register " << address;
            }
        }
    }
}

TEST(SoakShadow, AFailedWriteLeavesOnlyItsOwnBitsUnknownUntilWrittenAgain)
{
    Shadow shadow;
    shadow.holdingRegisters[5] = 0x00F0;
    Request bits = request(HR, Shape::RegisterBits, 5, 2, true, 3);
    bits.data = hexBytes("03");
    shadow.applyWrite(bits, false);
    EXPECT_EQ(shadow.knownMask(5), 0xFFFF & ~0x0018);
    const Shadow::Expectation expected = shadow.expectRead(request(HR, Shape::Words, 4, 3));
    EXPECT_EQ(expected.known, hexBytes("FF FF E7 FF FF FF"));
    EXPECT_EQ(expected.bytes.mid(2, 2), hexBytes("F0 00"));
    bits.data = hexBytes("01");
    shadow.applyWrite(bits, true);
    EXPECT_EQ(shadow.knownMask(5), 0xFFFF);
    EXPECT_EQ(shadow.holdingRegisters[5], 0x00E8);

    Request coils = request(Coils, Shape::Bits, 16, 3, true);
    coils.data = hexBytes("FD");
    shadow.applyWrite(coils, false);
    EXPECT_EQ(shadow.expectRead(request(Coils, Shape::Bits, 16, 4)).known, hexBytes("F8"));
}

TEST(SoakShadow, ExchangesFollowTheWayEachRequestGoesOut)
{
    const Shadow shadow = sampleShadow();
    const struct { Request request; bool oneByOne; int exchanges; } cases[] = {
        {request(HR, Shape::Words, 0, 5, true), false, 1},
        {request(HR, Shape::Words, 0, 5, true), true, 5},
        {request(HR, Shape::DWords, 0, 3, true), true, 6},
        {request(HR, Shape::RegisterBits, 0, 2, true, 15), false, 2},
        {request(HR, Shape::RegisterBits, 0, 2, true, 15), true, 3},
        {request(Coils, Shape::Bits, 0, 7, true), true, 7},
        {request(Table::DiscreteInputs, Shape::SparseBytes, 0, 2), false, 2},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Request r = cases[i].request;
        r.oneByOne = cases[i].oneByOne;
        EXPECT_EQ(exchangesPerAttempt(r, shadow), cases[i].exchanges) << "case " << i;
    }
}

// Known: a driver text followed by the request's exact description where the
// driver gives one (not for blocks and second bits), or a device text.
TEST(SoakErrors, KnownTextsAreTheDriverTextsWithTheRequestDescription)
{
    Request read = request(HR, Shape::Words, 99, 10);
    read.address = QStringLiteral("HR100");
    Request coil = request(Coils, Shape::Bits, 16, 1, true);
    coil.address = QStringLiteral("FN5DO17");
    Request secondBit = coil;
    secondBit.dataType = SecondBitData;
    Request dwords = request(HR, Shape::DWords, 39, 2, true);
    dwords.address = QStringLiteral("hr40");
    Request block = request(HR, Shape::Bytes, 0, 4);
    block.dataType = BlockData;
    block.address = QStringLiteral("HR1");
    const struct { const Request *request; int station; const char *text; bool known; const char *key; } cases[] = {
        {&read, 1, "packet loss (read 10 word(s) from 1-HR100)", true, "packet loss"},
        {&read, 1, "invalid slave id:254 (read 10 word(s) from 1-HR100)", true, "invalid slave id:%d"},
        {&read, 1, "exception code:0x02 (read 10 word(s) from 1-HR100)", true, nullptr},
        {&read, 1, "received bytes < 5 (read 10 word(s) from 1-HR100)", true, nullptr},
        // A device text: with the description after a failed send, without after a failed reconnect.
        {&read, 1, "connection reset by peer (read 10 word(s) from 1-HR100)", true, nullptr},
        {&read, 1, "connection refused", true, nullptr},
        {&coil, 12, "packet loss (write 1 bit to 12-FN5DO17)", true, nullptr},
        {&dwords, 3, "packet loss (write 2 dword to 3-hr40)", true, nullptr},
        {&secondBit, 12, "packet loss", true, nullptr},
        {&block, 1, "CRC error", true, nullptr},
        {&read, 1, "packet loss", false, nullptr},                                // description missing
        {&read, 1, "packet loss (read 10 word(s) from 2-HR100)", false, nullptr}, // another station
        {&read, 1, "packet loss (read 1 word(s) from 1-HR100)", false, nullptr},  // another count
        {&read, 1, "invalid slave id:256 (read 10 word(s) from 1-HR100)", false, nullptr},
        {&read, 1, "exception code:0x2 (read 10 word(s) from 1-HR100)", false, nullptr},
        {&read, 1, "can't read any word from HR100 (read 10 word(s) from 1-HR100)", false, nullptr},
        {&read, 1, "unsupported data type: HR100", false, nullptr},
        {&read, 1, "", false, nullptr},
        {&secondBit, 12, "packet loss (write 1 bit to 12-FN5DO17)", false, nullptr},
        {&block, 1, "CRC error (read 4 byte(s) from 1-HR1)", false, nullptr},
    };
    for (const auto &c : cases) {
        const ErrorVerdict verdict = judgeError(QLatin1String(c.text), *c.request, c.station);
        EXPECT_EQ(verdict.known, c.known) << '"' << c.text << '"';
        if (c.key)
            EXPECT_EQ(verdict.key, QLatin1String(c.key)) << '"' << c.text << '"';
    }
    EXPECT_EQ(describeFailure(read, 1), QStringLiteral(" (read 10 word(s) from 1-HR100)"));
    EXPECT_EQ(describeFailure(secondBit, 12), QString());
}

// The generator's requests must stay inside what driver and slave accept,
// or the soak would count refusals of its own making.
TEST(SoakRequests, StayInsideTheLimitsAndWindows)
{
    const Layout layout;
    RequestGenerator generator(42, layout);
    QSet<QString> kinds;
    for (int n = 0; n < 20000; ++n) {
        const Request r = generator.next();
        kinds.insert(r.kind);
        SCOPED_TRACE(r.kind.toStdString() + " " + r.address.toStdString() + " count " + std::to_string(r.count));
        ToolAddress address;
        QString error;
        ASSERT_TRUE(parseToolAddress(r.address, &address, &error)) << error.toStdString();
        EXPECT_EQ(address.number, r.start + 1);
        EXPECT_EQ(address.swapped, r.highWordFirst);
        EXPECT_EQ(address.bit, r.shape == Shape::RegisterBits ? r.bit : -1);
        ASSERT_GE(r.count, 1);
        const bool registers = r.table == Table::HoldingRegisters || r.table == Table::InputRegisters;
        int window = r.table == Table::HoldingRegisters ? layout.holdingRegisters
                     : r.table == Table::InputRegisters ? layout.inputRegisters
                     : r.table == Table::Coils          ? layout.coils
                                                        : layout.discreteInputs;
        if (registers) {
            const int perItem = r.shape == Shape::DWords ? 2 : 1;
            const int regs = r.shape == Shape::Bytes          ? (r.count + 1) / 2
                             : r.shape == Shape::RegisterBits ? (r.bit + r.count + 15) / 16
                                                              : perItem * r.count;
            EXPECT_LE(regs, r.write ? 123 : 125);
            EXPECT_LE(r.start + regs, window);
        } else {
            const int bits = r.shape == Shape::SparseBytes ? 8 * r.count : r.count;
            EXPECT_LE(bits, r.write ? 1968 : 2000);
            EXPECT_LE(r.start + bits, window);
        }
        if (r.write) {
            const int size = r.shape == Shape::Words ? 2 * r.count : r.shape == Shape::DWords ? 4 * r.count
                             : r.shape == Shape::Bytes ? r.count : (r.count + 7) / 8;
            EXPECT_EQ(r.data.size(), size);
            EXPECT_TRUE(r.table == Table::HoldingRegisters || r.table == Table::Coils);
        }
    }
    // Every kind of request comes up: reads of all areas and shapes, writes with 16, 6, 15 and 5.
    for (const char *kind : {"read word HR", "read word IR", "read word FN6HR", "read dword HR SW", "read dword IR",
                             "read byte HR", "read register bit IR", "read bit DI", "read bit FN5DO",
                             "read byte DI (sparse)", "read byte DO (sparse)", "write word HR", "write dword HR SW",
                             "write byte HR", "write register bit HR", "write word FN6HR", "write dword FN6HR",
                             "write byte FN6HR", "write register bit FN6HR", "write bit DO", "write bit FN5DO"})
        EXPECT_TRUE(kinds.contains(QLatin1String(kind))) << kind;
}

TEST(SoakRequests, TheSeedFixesTheSequence)
{
    RequestGenerator first(7, Layout()), second(7, Layout()), other(8, Layout());
    int differences = 0;
    for (int n = 0; n < 200; ++n) {
        const Request a = first.next(), b = second.next(), c = other.next();
        EXPECT_EQ(a.address, b.address);
        EXPECT_EQ(a.data, b.data);
        differences += a.address != c.address ? 1 : 0;
    }
    EXPECT_GT(differences, 0);
}

} // namespace
