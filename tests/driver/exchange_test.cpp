// The exchange every transaction runs: the checks of the first five reply
// bytes, each way a reply or the link can fail (its text, whether the link is
// closed, how far the driver read), and the bounds of the receive buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "transactions.h"

TEST(ReplyChecks, CheckMinADU)
{
    const struct
    {
        int station;       // the device's station id
        const char *bytes; // the first read, zero-padded to five bytes
        int received;      // what readData reported
        const char *text;  // nullptr when accepted
        int closes;
    } rows[] = {
        {1, "01 03 04 00 0A", 5, nullptr, 0},
        {0, "00 03 04 00 0A", 5, nullptr, 0},
        {255, "FF 03 04 00 0A", 5, nullptr, 0},
        {0x101, "01 03 04 00 0A", 5, nullptr, 0}, // compared by its low byte
        {1, "", 0, "PLC no response", 1},
        {1, "", -1, "PLC no response", 1},
        {1, "01 03 04 00", 4, "received bytes < 5", 1},
        {1, "01 03 04 00 0A", 6, "received bytes < 5", 1},
        {1, "FF 03 04 00 0A", 5, "invalid slave id:255", 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.bytes << " / " << row.received);
        Driver driver;
        ScriptedDevice device(row.station);
        // A check that passes leaves an earlier text alone.
        driver.setCommError(QStringLiteral("earlier"));
        driver.clearError();
        char reply[5] = {};
        const QByteArray first = hex(row.bytes);
        memcpy(reply, first.constData(), size_t(first.size()));
        EXPECT_EQ(driver.checkMinADU(&device, reply, row.received), row.text == nullptr);
        EXPECT_EQ(driver.hasError(), row.text != nullptr);
        EXPECT_EQ(driver.getLastError(), QLatin1String(row.text ? row.text : "earlier"));
        EXPECT_EQ(device.closeCalls, row.closes);
        EXPECT_TRUE(device.written.isEmpty() && device.readSizes.isEmpty());
    }
}

TEST(ReplyChecks, CheckException)
{
    const struct
    {
        const char *bytes;
        unsigned char function;
        const char *text; // nullptr when accepted
    } rows[] = {
        {"01 01 FF FF FF", 1, nullptr},
        {"01 83 02 C0 F1", 3, "exception code:0x02"},
        {"01 83 0B 00 F7", 3, "exception code:0x0B"},
        {"01 83 AB 00 8F", 3, "exception code:0xAB"},
        {"01 83 02 C0 F2", 3, "CRC error"},
        {"01 84 02 C2 C1", 4, "exception code:0x02"},
        {"01 84 02 C2 C1", 3, "invalid response"},
        {"01 04 04 00 0A", 3, "invalid response"},
        {"01 80 02 00 00", 3, "invalid response"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.bytes);
        Driver driver;
        EXPECT_EQ(driver.checkException(hex(row.bytes).constData(), row.function), row.text == nullptr);
        EXPECT_EQ(driver.hasError(), row.text != nullptr);
        EXPECT_EQ(driver.getLastError(), QLatin1String(row.text));
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

using Script = std::function<void(ScriptedDevice &, const QByteArray &good)>;
using Q = const QByteArray &;

} // namespace

TEST(Exchange, EveryFailureOfEveryTransactionKind)
{
    const struct
    {
        const char *name;
        Script script;
        const char *text;
        int closes;
        int reads;
    } failures[] = {
        {"short send", [](ScriptedDevice &d, Q) { d.failWrites(1, 3); }, "link down", 1, 0},
        {"send error", [](ScriptedDevice &d, Q) { d.failWrites(1, -1); }, "link down", 1, 0},
        {"no answer", [](ScriptedDevice &d, Q) { d.queueSilence(); }, "PLC no response", 1, 1},
        {"three bytes", [](ScriptedDevice &d, Q g) { d.queueReply(g.left(3)); }, "received bytes < 5", 1, 1},
        {"four, then the rest", [](ScriptedDevice &d, Q g) { d.queueReply(Chunks{g.left(4), g.mid(4)}); },
         "received bytes < 5", 1, 1},
        {"foreign station", [](ScriptedDevice &d, Q g) { d.queueReply(withByte(g, 0, 2)); },
         "invalid slave id:2", 0, 1},
        {"foreign exception", [](ScriptedDevice &d, Q g) { d.queueReply(exceptionReply(g, 7, 2)); },
         "invalid slave id:7", 0, 1},
        {"exception", [](ScriptedDevice &d, Q g) { d.queueReply(exceptionReply(g, 1, 2)); },
         "exception code:0x02", 0, 1},
        {"exception, bad CRC", [](ScriptedDevice &d, Q g) { d.queueReply(flipped(exceptionReply(g, 1, 2), 4)); },
         "CRC error", 0, 1},
        {"other function", [](ScriptedDevice &d, Q g) { d.queueReply(withByte(g, 1, g.at(1) + 1)); },
         "invalid response", 0, 1},
        {"other exception", [](ScriptedDevice &d, Q g) { d.queueReply(withByte(g, 1, (g.at(1) + 1) | 0x80)); },
         "invalid response", 0, 1},
        {"rest one short", [](ScriptedDevice &d, Q g) { d.queueReply(Chunks{g.left(5), g.mid(5, g.size() - 6)}); },
         "packet loss", 1, 2},
        {"rest missing", [](ScriptedDevice &d, Q g) { d.queueReply(Chunks{g.left(5)}); },
         "packet loss", 1, 2},
        {"bad CRC", [](ScriptedDevice &d, Q g) { d.queueReply(flipped(g, g.size() - 1)); }, "CRC error", 0, 2},
        {"damaged byte 3", [](ScriptedDevice &d, Q g) { d.queueReply(flipped(g, 3)); }, "CRC error", 0, 2},
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
            EXPECT_EQ(driver.getLastError(), QLatin1String(row.text));
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
        const int kind = int(random() % 5);
        // One to three chunks of up to 300 random bytes; half of them open
        // with the station and function the checks ask for.
        QList<QByteArray> chunks;
        for (int c = 0, n = 1 + int(random() % 3); c < n; ++c) {
            QByteArray chunk;
            for (int b = int(random() % 300); b > 0; --b)
                chunk.append(char(random()));
            chunks.append(chunk);
        }
        if (random() % 2 && chunks.first().size() >= 2)
            chunks.first().replace(0, 2, hex(kind == 4 ? (prefix == "DO" ? "01 01" : "01 02")
                                                        : (prefix == "HR" ? "01 03" : "01 04")));
        Driver driver;
        ScriptedDevice device;
        device.queueReply(chunks);
        const QByteArray result = reads[kind](driver, device);
        // At most two reads: 5 bytes, then what the request asked for.
        ASSERT_LE(device.readSizes.size(), 2);
        if (device.readSizes.isEmpty())
            continue;
        ASSERT_EQ(device.readSizes.at(0), 5);
        const int quantity = field(device.written.first(), 4);
        const int rest = kind == 4 ? (quantity + 7) / 8 : 2 * quantity;
        if (device.readSizes.size() == 2)
            ASSERT_TRUE(device.readSizes.at(1) == rest && 5 + rest <= 257) << rest;
        ASSERT_TRUE(!driver.hasError() || result.isEmpty());
    }
}
