// The simulated slave's frame core: every function, every exception, the
// silent cases and the framing of a byte stream.

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <initializer_list>

#include "host/sim_slave_core.h"
#include "host_test_util.h"

using namespace sim;

namespace {

TEST(RtuCrc, MatchesTheProtocolCheckValueAndGoesLowByteFirst)
{
    EXPECT_EQ(rtu::crc16(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(hexOf(rtuFrame("01 03 00 00 00 01")), QStringLiteral("01 03 00 00 00 01 84 0A"));
}

class SlaveCore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char *pattern = "1011001110"; // coils 19..28
        for (int i = 0; pattern[i]; ++i)
            data.coils[std::size_t(19 + i)] = pattern[i] == '1';
        data.coils[0] = data.coils[29] = data.coils[65535] = 1;
        data.discreteInputs[8] = 1;
        data.holdingRegisters[0x6B] = 0x022B;
        data.holdingRegisters[0x6D] = 0x0064;
        data.holdingRegisters[65535] = 0xBEEF;
        data.inputRegisters[8] = 0x000A;
    }

    QByteArray ask(const QByteArray &body) { return processRequest(data, stations, rtu::withCrc(body)); }

    struct Exchange
    {
        const char *request;
        const char *reply;
    };

    // Sends the requests in turn, each with its CRC, and compares the replies.
    void expectReplies(std::initializer_list<Exchange> exchanges)
    {
        for (const Exchange &e : exchanges)
            EXPECT_EQ(hexOf(ask(hexBytes(e.request))), hexOf(rtuFrame(e.reply))) << e.request;
    }

    SlaveData data;
    StationSet stations = makeStationSet({1, 17});
};

TEST_F(SlaveCore, ServesEveryFunction)
{
    // Reads of the seeded map first; each write is followed by a read that
    // shows what it changed and what it left.
    expectReplies({
        {"01 01 00 13 00 0A", "01 01 02 CD 01"}, // coils packed LSB first
        {"01 01 FF FF 00 01", "01 01 01 01"},
        {"01 02 00 00 00 09", "01 02 02 00 01"}, // inputs, not coils
        {"01 03 00 6B 00 03", "01 03 06 02 2B 00 00 00 64"},
        {"01 03 FF FF 00 01", "01 03 02 BE EF"},
        {"01 04 00 08 00 01", "01 04 02 00 0A"},
        {"11 03 00 6B 00 01", "11 03 02 02 2B"}, // the second station answers with its id
        {"01 05 00 AC FF 00", "01 05 00 AC FF 00"},
        {"01 01 00 AC 00 01", "01 01 01 01"},
        {"01 05 00 13 00 00", "01 05 00 13 00 00"},
        {"01 01 00 13 00 01", "01 01 01 00"},
        {"01 0F 00 13 00 0A 02 32 02", "01 0F 00 13 00 0A"},
        {"01 01 00 12 00 0C", "01 01 02 64 0C"},
        {"01 10 00 01 00 02 04 00 0A 01 02", "01 10 00 01 00 02"},
        {"01 03 00 00 00 04", "01 03 08 00 00 00 0A 01 02 00 00"},
        {"01 06 00 01 00 03", "01 06 00 01 00 03"},
        {"01 03 00 00 00 03", "01 03 06 00 00 00 03 01 02"},
    });
}

TEST_F(SlaveCore, AnswersBadRequestsWithTheirExceptionAndLeavesTheMapAlone)
{
    const SlaveData before = data;
    expectReplies({
        {"01 07", "01 87 01"},
        {"01 01 00 00 00 00", "01 81 03"},
        {"01 01 00 00 07 D1", "01 81 03"},
        {"01 01 FF FF 00 02", "01 81 02"},
        {"01 02 00 00 07 D1", "01 82 03"},
        {"01 02 FD E8 03 E8", "01 82 02"},
        {"01 03 00 00 00 00", "01 83 03"},
        {"01 03 00 00 00 7E", "01 83 03"},
        {"01 03 FF FF 00 02", "01 83 02"},
        {"01 03 00 00 00 01 00", "01 83 03"}, // too long
        {"01 04 FF 9C 00 65", "01 84 02"},
        {"01 05 00 01 12 34", "01 85 03"},
        {"01 06 00 01 00", "01 86 03"}, // too short
        {"01 0F 00 00 00 0A 01 FF", "01 8F 03"}, // byte count
        {"01 0F FF FF 00 02 01 03", "01 8F 02"},
        {"01 10 00 00 00 02 02 00 01", "01 90 03"}, // byte count
        {"01 10 FF FF 00 02 04 00 01 00 02", "01 90 02"},
        {"01 10 00 00 00 02 04 00 01", "01 90 03"}, // data short of the byte count
    });
    EXPECT_TRUE(data.holdingRegisters == before.holdingRegisters && data.coils == before.coils);
}

TEST_F(SlaveCore, ServesTheLargestRequestsEndingAtTheLastAddressAndNoLarger)
{
    EXPECT_EQ(ask(hexBytes("01 01 F8 30 07 D0")).size(), 3 + 250 + 2); // 2000 coils
    EXPECT_EQ(ask(hexBytes("01 03 FF 83 00 7D")).size(), 3 + 250 + 2); // 125 registers
    EXPECT_EQ(hexOf(ask(hexBytes("01 10 FF 85 00 7B F6") + QByteArray(246, 0x11))), hexOf(rtuFrame("01 10 FF 85 00 7B")));
    EXPECT_EQ(data.holdingRegisters[65535], 0x1111);
    EXPECT_EQ(hexOf(ask(hexBytes("01 0F F8 50 07 B0 F6") + QByteArray(246, 0x0F))), hexOf(rtuFrame("01 0F F8 50 07 B0")));
    EXPECT_TRUE(data.coils[0xF84F] == 0 && data.coils[0xF850] == 1);
    EXPECT_EQ(hexOf(ask(hexBytes("01 10 00 00 00 7C F8") + QByteArray(248, 0))), hexOf(rtuFrame("01 90 03")));
    EXPECT_EQ(hexOf(ask(hexBytes("01 0F 00 00 07 B1 F7") + QByteArray(247, 0))), hexOf(rtuFrame("01 8F 03")));
}

TEST_F(SlaveCore, StaysSilentForBadFramesAndOtherStations)
{
    QByteArray badCrc = rtuFrame("01 03 00 00 00 01");
    badCrc[7] = char(badCrc[7] ^ 0x01);
    QByteArray garbledWrite = rtuFrame("01 06 00 00 00 09");
    garbledWrite[5] = char(0x08);
    for (const QByteArray &frame : {badCrc, garbledWrite, rtuFrame("02 03 00 00 00 01"), rtuFrame("00 06 00 00 00 01"),
                                    hexBytes("01 03 40"), QByteArray()})
        EXPECT_TRUE(processRequest(data, stations, frame).isEmpty()) << hexOf(frame).toStdString();
    EXPECT_EQ(data.holdingRegisters[0], 0) << "a silent write must not change the map";
}

QByteArrayList framesOf(RequestFramer &framer, const QByteArray &bytes)
{
    framer.append(bytes.constData(), bytes.size());
    QByteArrayList frames;
    QByteArray frame;
    while (framer.takeFrame(&frame))
        frames.append(frame);
    return frames;
}

TEST(RequestFramer, CutsRequestsOfEveryFunctionOutOfTheStreamWholeOrByteByByte)
{
    const QByteArrayList requests = {rtuFrame("01 01 00 00 00 02"), rtuFrame("01 02 00 00 00 02"),
                                     rtuFrame("01 03 00 00 00 02"), rtuFrame("01 04 00 00 00 02"),
                                     rtuFrame("01 05 00 00 FF 00"), rtuFrame("01 06 00 00 12 34"),
                                     rtuFrame("01 0F 00 00 00 09 02 FF 01"), rtuFrame("01 10 00 00 00 02 04 00 01 00 02")};
    RequestFramer framer;
    EXPECT_EQ(framesOf(framer, requests.join()), requests);
    QByteArrayList frames;
    for (const char byte : requests.join())
        frames += framesOf(framer, QByteArray(1, byte));
    EXPECT_EQ(frames, requests);
    EXPECT_FALSE(framer.hasPartialFrame());
    const QByteArray unknown = rtuFrame("01 41 01 02 03"); // taken as everything received
    EXPECT_EQ(framesOf(framer, unknown), QByteArrayList({unknown}));
}

TEST(RequestFramer, DiscardsEverythingAfterABadCrcAndRecovers)
{
    QByteArray garbled = rtuFrame("01 03 00 00 00 02");
    garbled[3] = char(0x55);
    RequestFramer framer;
    EXPECT_TRUE(framesOf(framer, garbled + hexBytes("01 03")).isEmpty());
    EXPECT_EQ(framer.discardedFrames(), 1);
    EXPECT_FALSE(framer.hasPartialFrame());
    const QByteArray good = rtuFrame("01 04 00 00 00 01");
    EXPECT_EQ(framesOf(framer, good), QByteArrayList({good}));
}

} // namespace
