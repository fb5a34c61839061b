// The soak's bookkeeping: the values a read must give by the shadow, what a
// write leaves known or unknown, the request descriptions and error texts it
// accepts, and requests that stay inside the limits of driver and slave.

#include <gtest/gtest.h>

#include <QSet>

#include "host/soak_model.h"
#include "host/tool_address.h"
#include "host_test_util.h"

using namespace soak;

namespace {

Request registerRequest(Shape shape, int start, int count, bool write = false)
{
    Request request;
    request.write = write;
    request.table = Table::HoldingRegisters;
    request.shape = shape;
    request.start = start;
    request.count = count;
    request.dataType = shape == Shape::Words ? TypeWord : shape == Shape::DWords ? TypeDWord
                       : shape == Shape::Bytes ? TypeByte : TypeBit;
    return request;
}

Request bitRequest(Table table, Shape shape, int start, int count, bool write = false)
{
    Request request;
    request.write = write;
    request.table = table;
    request.shape = shape;
    request.start = start;
    request.count = count;
    request.dataType = shape == Shape::SparseBytes ? TypeByte : TypeBit;
    return request;
}

QByteArray allKnown(int size)
{
    return QByteArray(size, '\xFF');
}

TEST(SoakShadow, WordsAndBytesReadLowByteFirst)
{
    Shadow shadow;
    shadow.holdingRegisters[4] = 0x1234;
    shadow.holdingRegisters[5] = 0xABCD;
    const Shadow::Expectation words = shadow.expectRead(registerRequest(Shape::Words, 4, 2));
    EXPECT_EQ(words.bytes, hexBytes("34 12 CD AB"));
    EXPECT_EQ(words.known, allKnown(4));
    const Shadow::Expectation bytes = shadow.expectRead(registerRequest(Shape::Bytes, 4, 3));
    EXPECT_EQ(bytes.bytes, hexBytes("34 12 CD"));
}

TEST(SoakShadow, DoubleWordsFollowTheWordOrder)
{
    Shadow shadow;
    shadow.holdingRegisters[0] = 0x1234;
    shadow.holdingRegisters[1] = 0x5678;
    Request request = registerRequest(Shape::DWords, 0, 1);
    EXPECT_EQ(shadow.expectRead(request).bytes, hexBytes("34 12 78 56")); // 0x56781234
    request.highWordFirst = true;
    EXPECT_EQ(shadow.expectRead(request).bytes, hexBytes("78 56 34 12")); // 0x12345678
}

TEST(SoakShadow, RegisterBitsStartAtTheBitOffset)
{
    Shadow shadow;
    shadow.holdingRegisters[9] = 0x8000;
    shadow.holdingRegisters[10] = 0x0001;
    Request request = registerRequest(Shape::RegisterBits, 9, 2);
    request.bit = 15;
    const Shadow::Expectation expected = shadow.expectRead(request);
    EXPECT_EQ(expected.bytes, hexBytes("03"));
    // The padding bits above the count must read as 0: known too.
    EXPECT_EQ(expected.known, allKnown(1));
}

TEST(SoakShadow, CoilsPackLeastSignificantBitFirstWithZeroPadding)
{
    Shadow shadow;
    for (int a : {100, 102, 103, 108})
        shadow.coils[std::size_t(a)] = 1;
    shadow.coils[110] = 1; // beyond the count
    const Shadow::Expectation expected = shadow.expectRead(bitRequest(Table::Coils, Shape::Bits, 100, 10));
    EXPECT_EQ(expected.bytes, hexBytes("0D 01"));
    EXPECT_EQ(expected.known, allKnown(2));
}

TEST(SoakShadow, SparseReadsGiveZeroForAddressesNotConfigured)
{
    Shadow shadow;
    for (int a = 0; a < 16; ++a)
        shadow.discreteInputs[std::size_t(a)] = 1;
    for (int a : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11})
        shadow.configuredInputs[std::size_t(a)] = 1;
    const Request request = bitRequest(Table::DiscreteInputs, Shape::SparseBytes, 0, 2);
    const Shadow::Expectation expected = shadow.expectRead(request);
    EXPECT_EQ(expected.bytes, hexBytes("FF 0C"));
    EXPECT_EQ(expected.known, allKnown(2));
    EXPECT_EQ(exchangesPerAttempt(request, shadow), 2);
}

TEST(SoakShadow, AcknowledgedWritesSetTheRegistersTheDriverWrites)
{
    Shadow shadow;
    Request words = registerRequest(Shape::Words, 0, 2, true);
    words.data = hexBytes("34 12 78 56");
    shadow.applyWrite(words, true);
    EXPECT_EQ(shadow.holdingRegisters[0], 0x1234);
    EXPECT_EQ(shadow.holdingRegisters[1], 0x5678);

    Request dwords = registerRequest(Shape::DWords, 10, 1, true);
    dwords.highWordFirst = true;
    dwords.data = hexBytes("78 56 34 12");
    shadow.applyWrite(dwords, true);
    EXPECT_EQ(shadow.holdingRegisters[10], 0x1234);
    EXPECT_EQ(shadow.holdingRegisters[11], 0x5678);

    // An odd byte count writes the last register's high-order byte as 0.
    shadow.holdingRegisters[21] = 0xFFFF;
    Request bytes = registerRequest(Shape::Bytes, 20, 3, true);
    bytes.data = hexBytes("11 22 33");
    shadow.applyWrite(bytes, true);
    EXPECT_EQ(shadow.holdingRegisters[20], 0x2211);
    EXPECT_EQ(shadow.holdingRegisters[21], 0x0033);
    EXPECT_EQ(shadow.expectRead(registerRequest(Shape::Words, 20, 2)).known, allKnown(4));
}

TEST(SoakShadow, AFailedWriteLeavesOnlyItsOwnBitsUnknown)
{
    Shadow shadow;
    shadow.holdingRegisters[5] = 0x00F0;
    Request bits = registerRequest(Shape::RegisterBits, 5, 2, true);
    bits.bit = 3;
    bits.data = hexBytes("03");
    shadow.applyWrite(bits, false);
    EXPECT_EQ(shadow.knownMask(5), 0xFFFF & ~0x0018);
    const Shadow::Expectation expected = shadow.expectRead(registerRequest(Shape::Words, 4, 3));
    EXPECT_EQ(expected.known, hexBytes("FF FF E7 FF FF FF"));
    EXPECT_EQ(expected.bytes.mid(2, 2), hexBytes("F0 00"));

    // Written again with success, the bits are known once more.
    bits.data = hexBytes("01");
    shadow.applyWrite(bits, true);
    EXPECT_EQ(shadow.knownMask(5), 0xFFFF);
    EXPECT_EQ(shadow.holdingRegisters[5], 0x00E8);
}

TEST(SoakShadow, CoilWritesIgnoreTheBitsBeyondTheCount)
{
    Shadow shadow;
    Request coils = bitRequest(Table::Coils, Shape::Bits, 16, 3, true);
    coils.data = hexBytes("FD");
    shadow.applyWrite(coils, true);
    EXPECT_EQ(shadow.coils[16], 1);
    EXPECT_EQ(shadow.coils[17], 0);
    EXPECT_EQ(shadow.coils[18], 1);
    EXPECT_EQ(shadow.coils[19], 0);
    shadow.applyWrite(coils, false);
    const Shadow::Expectation expected = shadow.expectRead(bitRequest(Table::Coils, Shape::Bits, 16, 4));
    EXPECT_EQ(expected.known, hexBytes("F8"));
}

TEST(SoakShadow, InputsAreAlwaysKnown)
{
    Shadow shadow;
    shadow.inputRegisters[7] = 0xBEEF;
    Request request = registerRequest(Shape::Words, 7, 1);
    request.table = Table::InputRegisters;
    EXPECT_EQ(shadow.expectRead(request).bytes, hexBytes("EF BE"));
    EXPECT_EQ(shadow.expectRead(request).known, allKnown(2));
}

TEST(SoakShadow, ExchangesFollowTheWayEachWriteGoesOut)
{
    Shadow shadow;
    Request words = registerRequest(Shape::Words, 0, 5, true);
    EXPECT_EQ(exchangesPerAttempt(words, shadow), 1);
    words.oneByOne = true;
    EXPECT_EQ(exchangesPerAttempt(words, shadow), 5);
    Request dwords = registerRequest(Shape::DWords, 0, 3, true);
    dwords.oneByOne = true;
    EXPECT_EQ(exchangesPerAttempt(dwords, shadow), 6);
    Request bits = registerRequest(Shape::RegisterBits, 0, 2, true);
    bits.bit = 15;
    EXPECT_EQ(exchangesPerAttempt(bits, shadow), 2);
    bits.oneByOne = true;
    EXPECT_EQ(exchangesPerAttempt(bits, shadow), 3);
    Request coils = bitRequest(Table::Coils, Shape::Bits, 0, 7, true);
    coils.oneByOne = true;
    EXPECT_EQ(exchangesPerAttempt(coils, shadow), 7);
}

TEST(SoakErrors, DescriptionsNameTheRequest)
{
    Request read = registerRequest(Shape::Words, 99, 10);
    read.address = QStringLiteral("HR100");
    EXPECT_EQ(describeFailure(read, 1), QStringLiteral(" (read 10 word(s) from 1-HR100)"));
    Request write = bitRequest(Table::Coils, Shape::Bits, 16, 1, true);
    write.address = QStringLiteral("FN5DO17");
    EXPECT_EQ(describeFailure(write, 12), QStringLiteral(" (write 1 bit to 12-FN5DO17)"));
    write.dataType = TypeSecondBit;
    EXPECT_EQ(describeFailure(write, 12), QString());
    Request dwords = registerRequest(Shape::DWords, 39, 2, true);
    dwords.address = QStringLiteral("hr40");
    EXPECT_EQ(describeFailure(dwords, 3), QStringLiteral(" (write 2 dword to 3-hr40)"));
}

TEST(SoakErrors, KnownTextsCarryTheRequestDescription)
{
    Request read = registerRequest(Shape::Words, 99, 10);
    read.address = QStringLiteral("HR100");
    const auto judge = [&read](const char *text) { return judgeError(QLatin1String(text), read, 1); };
    EXPECT_TRUE(judge("packet loss (read 10 word(s) from 1-HR100)").known);
    EXPECT_EQ(judge("packet loss (read 10 word(s) from 1-HR100)").key, QStringLiteral("packet loss"));
    EXPECT_EQ(judge("invalid slave id:254 (read 10 word(s) from 1-HR100)").key, QStringLiteral("invalid slave id:%d"));
    EXPECT_TRUE(judge("exception code:0x02 (read 10 word(s) from 1-HR100)").known);
    EXPECT_TRUE(judge("received bytes < 5 (read 10 word(s) from 1-HR100)").known);
    // A device text: with the description after a failed send, without after a failed reconnect.
    EXPECT_TRUE(judge("connection reset by peer (read 10 word(s) from 1-HR100)").known);
    EXPECT_TRUE(judge("connection refused").known);

    EXPECT_FALSE(judge("packet loss").known);                                    // description missing
    EXPECT_FALSE(judge("packet loss (read 10 word(s) from 2-HR100)").known);     // another station
    EXPECT_FALSE(judge("packet loss (read 1 word(s) from 1-HR100)").known);      // another count
    EXPECT_FALSE(judge("invalid slave id:256 (read 10 word(s) from 1-HR100)").known);
    EXPECT_FALSE(judge("exception code:0x2 (read 10 word(s) from 1-HR100)").known);
    EXPECT_FALSE(judge("can't read any word from HR100 (read 10 word(s) from 1-HR100)").known);
    EXPECT_FALSE(judge("unsupported data type: HR100").known);
    EXPECT_FALSE(judge("").known);
}

TEST(SoakErrors, BlocksAndSecondBitsHaveNoDescription)
{
    Request block = registerRequest(Shape::Bytes, 0, 4);
    block.dataType = TypeBlock;
    block.address = QStringLiteral("HR1");
    EXPECT_TRUE(judgeError(QStringLiteral("CRC error"), block, 1).known);
    EXPECT_FALSE(judgeError(QStringLiteral("CRC error (read 4 byte(s) from 1-HR1)"), block, 1).known);
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
    RequestGenerator first(7, Layout());
    RequestGenerator second(7, Layout());
    RequestGenerator other(8, Layout());
    int differences = 0;
    for (int n = 0; n < 200; ++n) {
        const Request a = first.next();
        const Request b = second.next();
        const Request c = other.next();
        EXPECT_EQ(a.address, b.address);
        EXPECT_EQ(a.data, b.data);
        differences += a.address != c.address ? 1 : 0;
    }
    EXPECT_GT(differences, 0);
}

} // namespace
