// The exchange every transaction runs: each way a reply or the link can fail,
// with its text, whether the link is closed and how far the driver read.

#include "transactions.h"

namespace {

using D = ScriptedDevice &;
using Q = const QByteArray &;

// The reply with byte i replaced and its CRC recomputed; a station's
// exception reply to the request that good answers; the bytes with byte i damaged.
QByteArray withByte(QByteArray good, int i, int value) { good[i] = char(value); return withCrc(good.chopped(2)); }
QByteArray exceptionReply(int station, Q good, int code)
{
    return withCrc(QByteArray(1, char(station)) + char(good.at(1) | 0x80) + char(code));
}
QByteArray flipped(QByteArray bytes, int i) { bytes[i] = char(bytes.at(i) ^ 0x01); return bytes; }

} // namespace

TEST(Exchange, EveryFailureOfEveryTransactionKind)
{
    // name, the device's script given the good reply, the error, closes of the link, reads
    const struct { const char *name; std::function<void(D, Q)> script; const char *text; int closes, reads; }
    failures[] = {
        {"short send", [](D d, Q) { d.shortWrites = 1; }, "link down", 1, 0},
        {"no answer", [](D d, Q) { d.queue({}); }, "PLC no response", 1, 1},
        {"four, then the rest", [](D d, Q g) { d.queue({g.left(4), g.mid(4)}); }, "received bytes < 5", 1, 1},
        {"foreign station", [](D d, Q g) { d.queue({withByte(g, 0, 2)}); }, "invalid slave id:2", 0, 1},
        {"foreign exception", [](D d, Q g) { d.queue({exceptionReply(7, g, 2)}); }, "invalid slave id:7", 0, 1},
        {"exception", [](D d, Q g) { d.queue({exceptionReply(1, g, 0xAB)}); }, "exception code:0xAB", 0, 1},
        {"exception, bad CRC", [](D d, Q g) { d.queue({flipped(exceptionReply(1, g, 2), 4)}); }, "CRC error", 0, 1},
        {"other function", [](D d, Q g) { d.queue({withByte(g, 1, g.at(1) + 1)}); }, "invalid response", 0, 1},
        {"other exception", [](D d, Q g) { d.queue({withByte(g, 1, g.at(1) + 0x81)}); }, "invalid response", 0, 1},
        {"rest one short", [](D d, Q g) { d.queue({g.left(5), g.mid(5, g.size() - 6)}); }, "packet loss", 1, 2},
        {"bad CRC", [](D d, Q g) { d.queue({flipped(g, g.size() - 1)}); }, "CRC error", 0, 2},
        {"damaged byte 3", [](D d, Q g) { d.queue({flipped(g, 3)}); }, "CRC error", 0, 2},
    };
    const std::pair<const char *, Write> transactions[] = {
        {"input registers", succeeds(words("IR", 0, 3))}, {"coils", succeeds(inputs("DO", 9, 12))},
        {"fn16", fn16(Words, 99, hex("34 12"))},           {"fn6", fn6(Words, 99, hex("34 12"))},
        {"fn15", fn15(16, hex("CD 01"), 10)},             {"fn5", fn5(16, hex("01"), 1)},
    };
    for (const auto &[name, transaction] : transactions) {
        ScriptedDevice probe;
        Driver probeDriver;
        probe.responder = healthyStation();
        ASSERT_TRUE(transaction(probeDriver, probe));
        const QByteArray good = healthyStation()(probe.written.first());
        for (const auto &row : failures) {
            SCOPED_TRACE(std::string(name) + ": " + row.name);
            Driver driver;
            ScriptedDevice device;
            row.script(device, good);
            EXPECT_FALSE(transaction(driver, device));
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
            EXPECT_EQ(device.events.count("C"), row.closes);
            EXPECT_EQ(device.readSizes.size(), row.reads);
            EXPECT_EQ(device.written, probe.written);
        }
    }
}
