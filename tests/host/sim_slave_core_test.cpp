// The simulated slave's frame core: every function, every exception, the
// silent cases and the framing of a byte stream.

#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <functional>

#include "host/sim_slave_core.h"
#include "host_test_util.h"

using namespace sim;

namespace {

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

class SlaveCoreTest : public ::testing::Test
{
protected:
    QByteArray ask(const char *requestWithoutCrc)
    {
        return processRequest(data, stations, rtuFrame(requestWithoutCrc));
    }

    SlaveData data;
    StationSet stations = makeStationSet({1, 17});
};

TEST(RtuCrc, MatchesTheProtocolCheckValues)
{
    EXPECT_EQ(rtu::crc16(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(hexOf(rtuFrame("01 03 00 00 00 01")), QStringLiteral("01 03 00 00 00 01 84 0A"));
    EXPECT_EQ(rtu::crc16(QByteArray()), 0xFFFF);
    EXPECT_TRUE(rtu::hasValidCrc(hexBytes("01 03 00 00 00 01 84 0A")));
    EXPECT_FALSE(rtu::hasValidCrc(hexBytes("01 03 00 00 00 01 0A 84")));
    EXPECT_FALSE(rtu::hasValidCrc(hexBytes("01")));
}

struct ServedCase
{
    const char *name;
    std::function<void(SlaveData &)> setUp;
    const char *request;
    const char *reply;
    std::function<bool(const SlaveData &)> dataAfter;
};

bool unchanged(const SlaveData &)
{
    return true;
}

void setBits(std::vector<uint8_t> &bits, int first, const char *pattern)
{
    for (int i = 0; pattern[i]; ++i)
        bits[std::size_t(first + i)] = pattern[i] == '1';
}

bool bitsAre(const std::vector<uint8_t> &bits, int first, const char *pattern)
{
    for (int i = 0; pattern[i]; ++i) {
        if (bits[std::size_t(first + i)] != (pattern[i] == '1'))
            return false;
    }
    return true;
}

const ServedCase kServedCases[] = {
    {"fn1_coils_packed_lsb_first", [](SlaveData &d) { setBits(d.coils, 19, "1011001110"); },
     "01 01 00 13 00 0A", "01 01 02 CD 01", unchanged},
    {"fn1_coil_at_last_address", [](SlaveData &d) { d.coils[65535] = 1; },
     "01 01 FF FF 00 01", "01 01 01 01", unchanged},
    {"fn2_discrete_inputs", [](SlaveData &d) { setBits(d.discreteInputs, 0, "000000001"); },
     "01 02 00 00 00 09", "01 02 02 00 01", unchanged},
    {"fn2_reads_inputs_not_coils", [](SlaveData &d) { setBits(d.coils, 0, "11"); },
     "01 02 00 00 00 02", "01 02 01 00", unchanged},
    {"fn3_holding_registers", [](SlaveData &d) {
         d.holdingRegisters[0x6B] = 0x022B;
         d.holdingRegisters[0x6D] = 0x0064;
     },
     "01 03 00 6B 00 03", "01 03 06 02 2B 00 00 00 64", unchanged},
    {"fn3_register_at_last_address", [](SlaveData &d) { d.holdingRegisters[65535] = 0xBEEF; },
     "01 03 FF FF 00 01", "01 03 02 BE EF", unchanged},
    {"fn4_input_registers", [](SlaveData &d) { d.inputRegisters[8] = 0x000A; },
     "01 04 00 08 00 01", "01 04 02 00 0A", unchanged},
    {"fn5_coil_on", [](SlaveData &) {}, "01 05 00 AC FF 00", "01 05 00 AC FF 00",
     [](const SlaveData &d) { return d.coils[0xAC] == 1; }},
    {"fn5_coil_off", [](SlaveData &d) { d.coils[0xAC] = 1; }, "01 05 00 AC 00 00", "01 05 00 AC 00 00",
     [](const SlaveData &d) { return d.coils[0xAC] == 0; }},
    {"fn6_single_register", [](SlaveData &) {}, "01 06 00 01 00 03", "01 06 00 01 00 03",
     [](const SlaveData &d) { return d.holdingRegisters[1] == 3; }},
    {"fn15_multiple_coils", [](SlaveData &d) { setBits(d.coils, 29, "1"); },
     "01 0F 00 13 00 0A 02 CD 01", "01 0F 00 13 00 0A",
     [](const SlaveData &d) { return bitsAre(d.coils, 18, "010110011101"); }},
    {"fn16_multiple_registers", [](SlaveData &) {}, "01 10 00 01 00 02 04 00 0A 01 02", "01 10 00 01 00 02",
     [](const SlaveData &d) {
         return d.holdingRegisters[0] == 0 && d.holdingRegisters[1] == 0x000A
                && d.holdingRegisters[2] == 0x0102 && d.holdingRegisters[3] == 0;
     }},
    {"second_station_answers_with_its_id", [](SlaveData &d) { d.holdingRegisters[0] = 7; },
     "11 03 00 00 00 01", "11 03 02 00 07", unchanged},
};

void PrintTo(const ServedCase &c, std::ostream *os)
{
    *os << c.name;
}

class ServedRequests : public SlaveCoreTest, public ::testing::WithParamInterface<ServedCase>
{
};

TEST_P(ServedRequests, AnswerAndChangeTheMap)
{
    const ServedCase &c = GetParam();
    c.setUp(data);
    const QByteArray reply = ask(c.request);
    EXPECT_EQ(hexOf(reply), hexOf(rtuFrame(c.reply)));
    EXPECT_TRUE(c.dataAfter(data));
}

INSTANTIATE_TEST_SUITE_P(EveryFunction, ServedRequests, ::testing::ValuesIn(kServedCases),
                         [](const ::testing::TestParamInfo<ServedCase> &info) { return info.param.name; });

struct ExceptionCase
{
    const char *name;
    const char *request;
    int exceptionCode;
    int zeroDataBytes = 0; // appended to the request before its CRC
};

const ExceptionCase kExceptionCases[] = {
    {"unknown_function_7", "01 07", IllegalFunction},
    {"unknown_function_43", "01 2B 0E 01 00", IllegalFunction},
    {"unknown_function_0", "01 00 00 00", IllegalFunction},
    {"fn1_quantity_0", "01 01 00 00 00 00", IllegalDataValue},
    {"fn1_quantity_2001", "01 01 00 00 07 D1", IllegalDataValue},
    {"fn1_past_the_map", "01 01 FF FF 00 02", IllegalDataAddress},
    {"fn2_quantity_2001", "01 02 00 00 07 D1", IllegalDataValue},
    {"fn2_past_the_map", "01 02 FD E8 03 E8", IllegalDataAddress},
    {"fn3_quantity_0", "01 03 00 00 00 00", IllegalDataValue},
    {"fn3_quantity_126", "01 03 00 00 00 7E", IllegalDataValue},
    {"fn3_past_the_map", "01 03 FF FF 00 02", IllegalDataAddress},
    {"fn3_request_too_long", "01 03 00 00 00 01 00", IllegalDataValue},
    {"fn4_quantity_126", "01 04 00 00 00 7E", IllegalDataValue},
    {"fn4_past_the_map", "01 04 FF 9C 00 65", IllegalDataAddress},
    {"fn5_value_neither_on_nor_off", "01 05 00 01 12 34", IllegalDataValue},
    {"fn6_request_too_short", "01 06 00 01 00", IllegalDataValue},
    {"fn15_quantity_0", "01 0F 00 00 00 00 00", IllegalDataValue},
    {"fn15_quantity_1969", "01 0F 00 00 07 B1 F7", IllegalDataValue, 247},
    {"fn15_byte_count_mismatch", "01 0F 00 00 00 0A 01 FF", IllegalDataValue},
    {"fn15_past_the_map", "01 0F FF FF 00 02 01 03", IllegalDataAddress},
    {"fn16_quantity_124", "01 10 00 00 00 7C F8", IllegalDataValue, 248},
    {"fn16_byte_count_mismatch", "01 10 00 00 00 02 02 00 01", IllegalDataValue},
    {"fn16_past_the_map", "01 10 FF FF 00 02 04 00 01 00 02", IllegalDataAddress},
    {"fn16_data_shorter_than_byte_count", "01 10 00 00 00 02 04 00 01", IllegalDataValue},
};

void PrintTo(const ExceptionCase &c, std::ostream *os)
{
    *os << c.name;
}

class ExceptionReplies : public SlaveCoreTest, public ::testing::WithParamInterface<ExceptionCase>
{
};

TEST_P(ExceptionReplies, CarryTheCodeAndLeaveTheMapAlone)
{
    const ExceptionCase &c = GetParam();
    const QByteArray request = rtu::withCrc(hexBytes(c.request) + QByteArray(c.zeroDataBytes, '\0'));
    const QByteArray reply = processRequest(data, stations, request);
    const uint8_t function = uint8_t(hexBytes(c.request)[1]);
    QByteArray expected;
    expected.append(char(0x01)).append(char(function | 0x80)).append(char(c.exceptionCode));
    EXPECT_EQ(hexOf(reply), hexOf(rtu::withCrc(expected)));
    const SlaveData untouched;
    EXPECT_EQ(data.holdingRegisters, untouched.holdingRegisters);
    EXPECT_EQ(data.coils, untouched.coils);
}

INSTANTIATE_TEST_SUITE_P(EveryException, ExceptionReplies, ::testing::ValuesIn(kExceptionCases),
                         [](const ::testing::TestParamInfo<ExceptionCase> &info) { return info.param.name; });

TEST_F(SlaveCoreTest, LargestRequestsAtTheEndOfTheMapAreServed)
{
    EXPECT_EQ(ask("01 01 F8 30 07 D0").size(), 3 + 250 + 2); // 2000 coils ending at 65535
    EXPECT_EQ(ask("01 03 FF 83 00 7D").size(), 3 + 250 + 2); // 125 registers ending at 65535
    data.holdingRegisters[65535] = 1;
    QByteArray fn16 = hexBytes("01 10 FF 85 00 7B F6");
    for (int i = 0; i < 123; ++i)
        fn16.append(char(0)).append(char(i));
    EXPECT_EQ(hexOf(processRequest(data, stations, rtu::withCrc(fn16))), hexOf(rtuFrame("01 10 FF 85 00 7B")));
    EXPECT_EQ(data.holdingRegisters[65535], 122);
    QByteArray fn15 = hexBytes("01 0F 00 00 07 B0 F6");
    fn15.append(QByteArray(246, char(0xFF)));
    EXPECT_EQ(hexOf(processRequest(data, stations, rtu::withCrc(fn15))), hexOf(rtuFrame("01 0F 00 00 07 B0")));
    EXPECT_EQ(data.coils[1967], 1);
    EXPECT_EQ(data.coils[1968], 0);
}

TEST_F(SlaveCoreTest, StaysSilent)
{
    data.holdingRegisters[0] = 5;
    QByteArray badCrc = rtuFrame("01 03 00 00 00 01");
    badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0x01);
    QByteArray garbledWrite = rtuFrame("01 06 00 00 00 09");
    garbledWrite[5] = char(0x08);
    const struct
    {
        const char *why;
        QByteArray frame;
    } silent[] = {
        {"bad CRC", badCrc},
        {"station not served", rtuFrame("02 03 00 00 00 01")},
        {"broadcast station not served", rtuFrame("00 06 00 00 00 01")},
        {"too short for a request", hexBytes("01 03 40")},
        {"empty", QByteArray()},
        {"bad CRC on a write", garbledWrite},
    };
    for (const auto &s : silent) {
        EXPECT_TRUE(processRequest(data, stations, s.frame).isEmpty()) << s.why;
    }
    EXPECT_EQ(data.holdingRegisters[0], 5) << "a silent write must not change the map";
}

struct LengthCase
{
    const char *bytes;
    int expected;
};

TEST(RequestLength, FollowsTheFunctionCodeAndByteCount)
{
    const LengthCase cases[] = {
        {"", 0},
        {"01", 0},
        {"01 01", 8},
        {"01 04 00", 8},
        {"01 05", 8},
        {"01 06", 8},
        {"01 0F 00 00 00 0A", 0},
        {"01 0F 00 00 00 0A 02", 11},
        {"01 10 00 00 00 02 04", 13},
        {"01 10 00 00 00 7B F6", 255},
        {"01 07", kLengthUnknown},
        {"01 83 02", kLengthUnknown},
    };
    for (const LengthCase &c : cases) {
        const QByteArray bytes = hexBytes(c.bytes);
        EXPECT_EQ(requestLength(bytes.constData(), bytes.size()), c.expected) << c.bytes;
    }
}

class FramerTest : public ::testing::Test
{
protected:
    void feed(const QByteArray &bytes) { framer.append(bytes.constData(), bytes.size()); }

    QList<QByteArray> drain()
    {
        QList<QByteArray> frames;
        QByteArray frame;
        while (framer.takeFrame(&frame))
            frames.append(frame);
        return frames;
    }

    RequestFramer framer;
};

TEST_F(FramerTest, CutsBackToBackRequestsApart)
{
    const QByteArray read = rtuFrame("01 03 00 00 00 02");
    const QByteArray write = rtuFrame("01 10 00 00 00 01 02 12 34");
    const QByteArray coils = rtuFrame("01 0F 00 00 00 09 02 FF 01");
    feed(read + write + coils);
    const QList<QByteArray> frames = drain();
    ASSERT_EQ(frames.size(), 3);
    EXPECT_EQ(frames[0], read);
    EXPECT_EQ(frames[1], write);
    EXPECT_EQ(frames[2], coils);
    EXPECT_FALSE(framer.hasPartialFrame());
}

TEST_F(FramerTest, WaitsForEveryByteOfARequestFedOneByOne)
{
    const QByteArray write = rtuFrame("01 10 00 00 00 02 04 00 01 00 02");
    for (int i = 0; i < write.size() - 1; ++i) {
        feed(write.mid(i, 1));
        EXPECT_TRUE(drain().isEmpty()) << "after byte " << i;
        EXPECT_TRUE(framer.hasPartialFrame());
    }
    feed(write.right(1));
    const QList<QByteArray> frames = drain();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames[0], write);
}

TEST_F(FramerTest, DiscardsEverythingAfterABadCrcAndRecovers)
{
    QByteArray garbled = rtuFrame("01 03 00 00 00 02");
    garbled[3] = char(0x55);
    feed(garbled + hexBytes("01 03"));
    EXPECT_TRUE(drain().isEmpty());
    EXPECT_EQ(framer.discardedFrames(), 1);
    EXPECT_FALSE(framer.hasPartialFrame());

    const QByteArray good = rtuFrame("01 04 00 00 00 01");
    feed(good);
    const QList<QByteArray> frames = drain();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames[0], good);
}

TEST_F(FramerTest, TakesAnUnknownFunctionAsEverythingReceived)
{
    const QByteArray unknown = rtuFrame("01 41 01 02 03");
    feed(unknown);
    const QList<QByteArray> frames = drain();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames[0], unknown);
    SlaveData data;
    EXPECT_EQ(hexOf(processRequest(data, makeStationSet({1}), frames[0])), hexOf(rtuFrame("01 C1 01")));
}

} // namespace
