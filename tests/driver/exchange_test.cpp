// The exchange every transaction runs: the checks of the first five reply
// bytes, each way a reply or the link can fail (its text, whether the link is
// closed, how far the driver read), and the bounds of the receive buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "transactions.h"

TEST(ReplyChecks, FirstFiveBytes)
{
    const struct
    {
        const char *bytes; // the first read, zero-padded to five bytes
        const char *text;  // nullptr when accepted
        int closes = 0;
        int received = 5;  // what readData reported
        unsigned char function = 3;
        int station = 1;   // the device's
    } rows[] = {
        {"01 03 04 00 0A", nullptr},                {"00 03 04 00 0A", nullptr, 0, 5, 3, 0},
        {"FF 03 04 00 0A", nullptr, 0, 5, 3, 255}, {"01 01 FF FF FF", nullptr, 0, 5, 1},
        {"01 03 04 00 0A", nullptr, 0, 5, 3, 0x101}, // the station id compared by its low byte
        {"", "PLC no response", 1, -1},             {"01 03 04 00 0A", "received bytes < 5", 1, 6},
        {"FF 03 04 00 0A", "invalid slave id:255"}, {"01 83 0B 00 F7", "exception code:0x0B"},
        {"01 83 AB 00 8F", "exception code:0xAB"}, {"01 80 02 00 00", "invalid response"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.bytes << " / " << row.received);
        Driver driver;
        ScriptedDevice device(row.station);
        // Checks that pass leave an earlier text alone.
        driver.setCommError(QStringLiteral("earlier"));
        driver.clearError();
        char reply[5] = {};
        const QByteArray first = hex(row.bytes);
        memcpy(reply, first.constData(), size_t(first.size()));
        const bool accepted = driver.checkMinADU(&device, reply, row.received)
                              && driver.checkException(reply, row.function);
        EXPECT_EQ(accepted, row.text == nullptr);
        EXPECT_EQ(driver.hasError(), !accepted);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text ? row.text : "earlier"));
        EXPECT_EQ(device.closeCalls, row.closes);
        EXPECT_TRUE(device.written.isEmpty() && device.readSizes.isEmpty());
    }
}

namespace {

// The reply with byte i replaced and its CRC recomputed.
QByteArray withByte(const QByteArray &good, int i, int value)
{
    QByteArray body = good.left(good.size() - 2);
    body[i] = char(value);
    return withCrc(body);
}

QByteArray exceptionReply(const QByteArray &good, int station, int code)
{
    return withCrc(QByteArray().append(char(station)).append(char(good.at(1) | 0x80)).append(char(code)));
}

QByteArray flipped(QByteArray bytes, int i)
{
    bytes[i] = char(bytes.at(i) ^ 0x01);
    return bytes;
}

using D = ScriptedDevice &;
using Q = const QByteArray &;

} // namespace

TEST(Exchange, EveryFailureOfEveryTransactionKind)
{
    const struct
    {
        const char *name;
        std::function<void(D device, Q good)> script;
        const char *text;
        int closes;
        int reads;
    } failures[] = {
        {"short send", [](D d, Q) { d.failWrites(1, 3); }, "link down", 1, 0},
        {"no answer", [](D d, Q) { d.queueSilence(); }, "PLC no response", 1, 1},
        {"four, then the rest", [](D d, Q g) { d.queueReply(Chunks{g.left(4), g.mid(4)}); },
         "received bytes < 5", 1, 1},
        {"foreign station", [](D d, Q g) { d.queueReply(withByte(g, 0, 2)); }, "invalid slave id:2", 0, 1},
        {"foreign exception", [](D d, Q g) { d.queueReply(exceptionReply(g, 7, 2)); },
         "invalid slave id:7", 0, 1},
        {"exception", [](D d, Q g) { d.queueReply(exceptionReply(g, 1, 2)); }, "exception code:0x02", 0, 1},
        {"exception, bad CRC", [](D d, Q g) { d.queueReply(flipped(exceptionReply(g, 1, 2), 4)); },
         "CRC error", 0, 1},
        {"other function", [](D d, Q g) { d.queueReply(withByte(g, 1, g.at(1) + 1)); },
         "invalid response", 0, 1},
        {"other exception", [](D d, Q g) { d.queueReply(withByte(g, 1, (g.at(1) + 1) | 0x80)); },
         "invalid response", 0, 1},
        {"rest one short", [](D d, Q g) { d.queueReply(Chunks{g.left(5), g.mid(5, g.size() - 6)}); },
         "packet loss", 1, 2},
        {"bad CRC", [](D d, Q g) { d.queueReply(flipped(g, g.size() - 1)); }, "CRC error", 0, 2},
        {"damaged byte 3", [](D d, Q g) { d.queueReply(flipped(g, 3)); }, "CRC error", 0, 2},
    };
    const struct
    {
        const char *name;
        Write call;
    } transactions[] = {
        {"input registers", succeeds(words("IR", 0, 3))}, {"coils", succeeds(inputs("DO", 9, 12))},
        {"fn16", fn16(Words, 99, hex("34 12"))},           {"fn6", fn6(Words, 99, hex("34 12"))},
        {"fn15", fn15(16, hex("CD 01"), 10)},             {"fn5", fn5(16, hex("01"), 1)},
    };
    for (const auto &transaction : transactions) {
        ScriptedDevice probe;
        Driver probeDriver;
        probe.setResponder(goodReply);
        ASSERT_TRUE(transaction.call(probeDriver, probe));
        const QByteArray good = goodReply(probe.written.first());
        for (const auto &row : failures) {
            SCOPED_TRACE(std::string(transaction.name) + ": " + row.name);
            Driver driver;
            ScriptedDevice device;
            device.setErrorString(QStringLiteral("link down"));
            row.script(device, good);
            EXPECT_FALSE(transaction.call(driver, device));
            EXPECT_TRUE(driver.hasError());
            EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
            EXPECT_EQ(device.closeCalls, row.closes);
            EXPECT_EQ(device.readSizes.size(), row.reads);
            EXPECT_EQ(device.written, probe.written);
        }
    }
}

TEST(Exchange, RandomRepliesNeverReachPastTheReceiveBuffer)
{
    std::mt19937 random(99);
    const int counts[] = {-1, 0, 1, 8, 9, 62, 63, 125, 126, 250, 251, 2000, 2008, 2009};
    const unsigned short addresses[] = {0, 65411, 65535};
    const QByteArray prefixes[] = {"HR", "IR", "DO", "DI"};
    for (int i = 0; i < 4000; ++i) {
        const int count = random() % 3 ? counts[random() % 14] : int(random() % 2100) - 10;
        const unsigned short address = addresses[random() % 3];
        const QByteArray prefix = prefixes[random() % 4];
        const Read reads[] = {words(prefix, address, count), dwords(prefix, address, count, true),
                              bytes(prefix, address, count), bits(prefix, address, i % 40, count),
                              inputs(prefix, address, count)};
        Driver driver;
        ScriptedDevice device;
        // Up to 300 random bytes; half of the replies open with the station
        // and function that the checks ask for.
        device.setResponder([&random](const QByteArray &request) {
            QByteArray reply;
            for (int b = int(random() % 300); b > 0; --b)
                reply.append(char(random()));
            if (reply.size() >= 2 && random() % 2)
                reply.replace(0, 2, request.left(2));
            return reply;
        });
        const QByteArray result = reads[random() % 5](driver, device);
        // At most two reads: 5 bytes, then what the request asked for.
        ASSERT_LE(device.readSizes.size(), 2);
        if (!device.readSizes.isEmpty())
            ASSERT_EQ(device.readSizes.first(), 5);
        if (device.readSizes.size() == 2) {
            const int quantity = field(device.written.first(), 4);
            const int rest = device.written.first().at(1) <= 2 ? (quantity + 7) / 8 : 2 * quantity;
            ASSERT_EQ(device.readSizes.last(), rest);
            ASSERT_LE(5 + rest, 257);
        }
        ASSERT_TRUE(!driver.hasError() || result.isEmpty());
    }
}
