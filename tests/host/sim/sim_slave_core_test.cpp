// The simulated slave's frame core: every function, every exception, the
// largest requests, the silent cases, a gateway's exceptions, each station on
// its own tables and the framing of both directions of a byte stream.

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QRegularExpression>
#include <QStringList>

#include "host/sim/sim_slave.h"
#include "host_test_util.h"

using namespace sim;

namespace {

// The reply to each request must be the frame of the hex text, or nothing for "".
void expectReplies(SlaveData &data, std::initializer_list<std::pair<QByteArray, const char *>> exchanges)
{
    for (const auto &[request, reply] : exchanges)
        EXPECT_EQ(hexOf(processRequest(data, makeStationSet({1, 17}), request)),
                  hexOf(*reply ? rtuFrame(reply) : QByteArray()))
            << hexOf(request).toStdString();
}

TEST(SlaveCore, ServesEveryFunctionUpToTheLastAddressAndTheLargestQuantity)
{
    SlaveData data;
    for (int coil : {19, 21, 22, 25, 26, 27, 29, 65535}) // 19..28: 1011001110
        data.coils[std::size_t(coil)] = 1;
    data.discreteInputs[8] = 1;
    data.holdingRegisters[0x6B] = 0x022B;
    data.holdingRegisters[0x6D] = 0x0064;
    data.holdingRegisters[65535] = 0xBEEF;
    data.inputRegisters[8] = 0x000A;
    // Each write is followed by a read that shows what it changed and what it left.
    expectReplies(data, {
        {rtuFrame("01 01 00 13 00 0A"), "01 01 02 CD 01"}, {rtuFrame("01 01 FF FF 00 01"), "01 01 01 01"},
        {rtuFrame("01 02 00 00 00 09"), "01 02 02 00 01"}, {rtuFrame("01 03 FF FF 00 01"), "01 03 02 BE EF"},
        {rtuFrame("01 03 00 6B 00 03"), "01 03 06 02 2B 00 00 00 64"},
        {rtuFrame("01 04 00 08 00 01"), "01 04 02 00 0A"}, {rtuFrame("11 03 00 6B 00 01"), "11 03 02 02 2B"},
        {rtuFrame("01 05 00 13 00 00"), "01 05 00 13 00 00"}, {rtuFrame("01 05 00 AC FF 00"), "01 05 00 AC FF 00"},
        {rtuFrame("01 0F 00 13 00 0A 02 32 02"), "01 0F 00 13 00 0A"},
        {rtuFrame("01 01 00 12 00 0C"), "01 01 02 64 0C"}, {rtuFrame("01 01 00 AC 00 01"), "01 01 01 01"},
        {rtuFrame("01 10 00 01 00 02 04 00 0A 01 02"), "01 10 00 01 00 02"},
        {rtuFrame("01 06 00 02 00 03"), "01 06 00 02 00 03"},
        {rtuFrame("01 03 00 00 00 04"), "01 03 08 00 00 00 0A 00 03 00 00"},
        {withCrc(hexBytes("01 10 FF 85 00 7B F6") + QByteArray(246, 0x11)), "01 10 FF 85 00 7B"}, // 123 registers
        {withCrc(hexBytes("01 0F F8 50 07 B0 F6") + QByteArray(246, 0x0F)), "01 0F F8 50 07 B0"}, // 1968 coils
        {rtuFrame("01 03 FF FF 00 01"), "01 03 02 11 11"}, {rtuFrame("01 01 F8 4F 00 02"), "01 01 01 02"},
    });
    for (const char *read : {"01 01 F8 30 07 D0", "01 02 F8 30 07 D0", "01 03 FF 83 00 7D", "01 04 FF 83 00 7D"})
        EXPECT_EQ(processRequest(data, makeStationSet({1}), rtuFrame(read)).size(), 3 + 250 + 2) << read; // 2000 bits, 125 registers
}

TEST(SlaveCore, AnswersBadRequestsWithTheirExceptionOrSilenceAndLeavesTheMapAlone)
{
    SlaveData data;
    expectReplies(data, {
        {rtuFrame("01 07"), "01 87 01"},                     {rtuFrame("01 01 00 00 00 00"), "01 81 03"},
        {rtuFrame("01 01 00 00 07 D1"), "01 81 03"},         {rtuFrame("01 01 FF FF 00 02"), "01 81 02"},
        {rtuFrame("01 02 00 00 07 D1"), "01 82 03"},         {rtuFrame("01 02 FD E8 03 E8"), "01 82 02"},
        {rtuFrame("01 03 00 00 00 7E"), "01 83 03"},         {rtuFrame("01 03 FF FF 00 02"), "01 83 02"},
        {rtuFrame("01 03 00 00 00 01 00"), "01 83 03"},      {rtuFrame("01 04 FF 9C 00 65"), "01 84 02"},
        {rtuFrame("01 05 00 01 12 34"), "01 85 03"},         {rtuFrame("01 06 00 01 00"), "01 86 03"},
        {rtuFrame("01 0F 00 00 00 0A 01 FF"), "01 8F 03"},   {rtuFrame("01 0F FF FF 00 02 01 03"), "01 8F 02"},
        {rtuFrame("01 10 00 00 00 02 02 00 01"), "01 90 03"}, {rtuFrame("01 10 FF FF 00 02 04 00 01 00 02"), "01 90 02"},
        {rtuFrame("01 10 00 00 00 02 04 00 01"), "01 90 03"},
        {withCrc(hexBytes("01 10 00 00 00 7C F8") + QByteArray(248, 0)), "01 90 03"}, // 124 registers
        {withCrc(hexBytes("01 0F 00 00 07 B1 F7") + QByteArray(247, 0)), "01 8F 03"}, // 1969 coils
        {rtuFrame("02 06 00 00 00 01"), ""}, {rtuFrame("00 06 00 00 00 01"), ""}, // other station, broadcast
        {rtuFrame("01 06 00 00 00 09").replace(5, 1, "\x08"), ""},                  // bad CRC
        {hexBytes("01 03 40"), ""}, {QByteArray(), ""},                               // too short
    });
    const SlaveData untouched;
    EXPECT_TRUE(data.holdingRegisters == untouched.holdingRegisters && data.coils == untouched.coils);
}

TEST(SlaveCore, AnswersForStationsBehindAGatewayItCannotReach)
{
    SlaveData data;
    const GatewayRules absent{true, makeStationSet({5})};
    const GatewayRules unreachableOnly{false, makeStationSet({5, 1})};
    const struct { GatewayRules rules; const char *request, *reply; } cases[] = {
        {absent, "01 03 00 00 00 01", "01 03 02 00 00"}, // served
        {absent, "02 03 00 00 00 01", "02 83 0B"},       // not served
        {absent, "05 10 00 00 00 01 02 00 01", "05 90 0A"},
        {absent, "00 06 00 00 00 01", ""},               // broadcasts stay unanswered
        {absent, "05 41", "05 C1 0A"},                   // whatever the function
        {unreachableOnly, "02 03 00 00 00 01", ""},
        {unreachableOnly, "01 03 00 00 00 01", "01 83 0A"}, // unreachable wins over served
    };
    for (const auto &c : cases)
        EXPECT_EQ(hexOf(processRequest(data, makeStationSet({1}), rtuFrame(c.request), c.rules)),
                  hexOf(*c.reply ? rtuFrame(c.reply) : QByteArray())) << c.request;
    QByteArray badCrc = rtuFrame("02 03 00 00 00 01");
    badCrc[6] = char(badCrc[6] ^ 1);
    EXPECT_TRUE(processRequest(data, makeStationSet({1}), badCrc, absent).isEmpty());
}

// The units a framer makes of stream, fed whole or byte by byte; "R " marks replies.
QStringList unitsOf(const QByteArray &expectedEcho, const QByteArray &stream, bool byteByByte)
{
    ReplyFramer framer;
    framer.expectEcho(expectedEcho);
    QStringList units;
    QByteArray unit;
    bool isReply = false;
    for (int i = 0; i < stream.size(); i += byteByByte ? 1 : stream.size()) {
        framer.append(stream.constData() + i, byteByByte ? 1 : stream.size());
        while (framer.take(&unit, &isReply))
            units.append((isReply ? "R " : "- ") + hexOf(unit));
    }
    if (framer.flush(&unit))
        units.append("- " + hexOf(unit));
    return units;
}

TEST(ReplyFramer, CutsRepliesByTheirLengthAndPassesEverythingElseOnWhole)
{
    const QByteArray read = rtuFrame("01 03 00 00 00 02");
    const QByteArray replies[] = {rtuFrame("01 03 04 00 0A FF FE"), rtuFrame("01 83 02"), rtuFrame("01 06 00 01 00 03"),
                                  rtuFrame("01 10 00 01 00 02"), rtuFrame("01 01 01 05"), rtuFrame("01 0F 00 00 00 09")};
    QByteArray corrupt = replies[0];
    corrupt[4] = char(0x55);
    const QByteArray write6 = rtuFrame("01 06 00 01 00 03");
    // Fed byte by byte, a frame that turns out bad passes on less at a time.
    const struct { const char *name; QByteArray echo, stream; QStringList units; bool sameByteByByte; } cases[] = {
        {"replies of every length rule", QByteArray(), QByteArrayList(std::begin(replies), std::end(replies)).join(),
         [&] { QStringList u; for (const QByteArray &r : replies) u.append("R " + hexOf(r)); return u; }(), true},
        {"an echo, then the reply", read, read + replies[0], {"- " + hexOf(read), "R " + hexOf(replies[0])}, true},
        {"a function 6 reply repeats its request: a reply", write6, write6, {"R " + hexOf(write6)}, true},
        {"a bad CRC passes all that is buffered", QByteArray(), corrupt + replies[1], {"- " + hexOf(corrupt + replies[1])},
         false},
        {"an unknown function", QByteArray(), hexBytes("01 41 02 03"), {"- 01 41 02 03"}, false},
        {"a partial reply goes on at the flush", QByteArray(), hexBytes("01 03 04 00"), {"- 01 03 04 00"}, true},
        {"one garbage byte", QByteArray(), hexBytes("FF"), {"- FF"}, true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(unitsOf(c.echo, c.stream, false), c.units) << c.name;
        const QStringList units = unitsOf(c.echo, c.stream, true);
        if (c.sameByteByByte)
            EXPECT_EQ(units, c.units) << c.name << ", byte by byte";
        else // nothing is lost either way
            EXPECT_EQ(units.join(' ').remove(QRegularExpression("[-R] ")).remove(' '), hexOf(c.stream).remove(' ')) << c.name;
    }
}

TEST(StationTables, KeepEveryStationsWritesToItself)
{
    StationTables tables(makeStationSet({1, 2}));
    const struct { const char *request, *reply; } exchanges[] = {
        {"01 06 00 05 12 34", "01 06 00 05 12 34"},          {"02 03 00 05 00 01", "02 03 02 00 00"},
        {"02 10 00 05 00 01 02 56 78", "02 10 00 05 00 01"}, {"01 03 00 05 00 01", "01 03 02 12 34"},
        {"02 03 00 05 00 01", "02 03 02 56 78"},             {"03 03 00 05 00 01", ""},
    };
    for (const auto &e : exchanges)
        EXPECT_EQ(hexOf(processRequest(tables, rtuFrame(e.request), GatewayRules())),
                  hexOf(*e.reply ? rtuFrame(e.reply) : QByteArray())) << e.request;
    EXPECT_EQ(&tables.first(), tables.find(1));
    EXPECT_EQ(tables.find(3), nullptr);

    // The slave's own data: withData acts on the lowest station's tables.
    SimSlave slave{[] { SlaveConfig c; c.stations = makeStationSet({9, 4}); return c; }()};
    EXPECT_TRUE(slave.withStationData(9, [](SlaveData &d) { d.coils[0] = 1; }));
    EXPECT_FALSE(slave.withStationData(5, [](SlaveData &) { ADD_FAILURE() << "station 5 is not served"; }));
    EXPECT_EQ(slave.withData([](SlaveData &d) { return d.coils[0]; }), 0);
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

TEST(RequestFramer, CutsRequestsOutOfTheStreamWholeOrByteByByteAndDropsAllAfterABadCrc)
{
    const QByteArrayList requests = {rtuFrame("01 01 00 00 00 02"), rtuFrame("01 06 00 00 12 34"),
                                     rtuFrame("01 0F 00 00 00 09 02 FF 01"), rtuFrame("01 10 00 00 00 01 02 00 01")};
    RequestFramer framer;
    EXPECT_EQ(framesOf(framer, requests.join()), requests);
    QByteArrayList frames;
    for (const char byte : requests.join())
        frames += framesOf(framer, QByteArray(1, byte));
    EXPECT_EQ(frames, requests);
    const QByteArray unknown = rtuFrame("01 41 01 02 03"); // taken as everything received
    EXPECT_EQ(framesOf(framer, unknown), QByteArrayList({unknown}));
    QByteArray garbled = requests[0];
    garbled[3] = char(0x55);
    EXPECT_TRUE(framesOf(framer, garbled + requests[1].left(2)).isEmpty());
    EXPECT_EQ(framer.discardedFrames(), 1);
    EXPECT_FALSE(framer.hasPartialFrame());
    EXPECT_EQ(framesOf(framer, requests[1]), QByteArrayList({requests[1]}));

    // A bad frame comes back with everything buffered after it.
    QByteArray frame, discarded;
    const QByteArray badThenMore = garbled + requests[1].left(3);
    framer.append(badThenMore.constData(), badThenMore.size());
    EXPECT_FALSE(framer.takeFrame(&frame, &discarded));
    EXPECT_EQ(hexOf(discarded), hexOf(badThenMore));
}

} // namespace
