#ifndef READ_EXCHANGE_CASES_H
#define READ_EXCHANGE_CASES_H

// What the register and the coil read tests share about the read exchange:
// the ways it can fail, random replies, and the bounds of the receive buffer.
//
// Each failure row turns the correct reply to the transaction's request into
// a faulty answer (or a faulty link) and says what the driver must report:
// its last error, how often it closes the link and how many reads it makes
// before giving up.

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "support/frames.h"
#include "support/scripted_device.h"

struct ReadFailureCase
{
    const char *name;
    // Programs the device; `good` is the correct reply to the request.
    std::function<void(ScriptedDevice &device, const QByteArray &good)> script;
    QString text;
    int closes;
    int reads;
};

// The reply with byte i replaced and the CRC recomputed over the result.
inline QByteArray withByte(const QByteArray &good, int i, unsigned char value)
{
    QByteArray body = good.left(good.size() - 2);
    body[i] = char(value);
    return withCrc(body);
}

// An exception reply to the request that `good` answers.
inline QByteArray exceptionReply(const QByteArray &good, unsigned char station, unsigned char code)
{
    QByteArray body;
    body.append(char(station));
    body.append(char((unsigned char)good.at(1) | 0x80));
    body.append(char(code));
    return withCrc(body);
}

inline QByteArray flipped(const QByteArray &bytes, int i)
{
    QByteArray damaged(bytes);
    damaged[i] = char(damaged.at(i) ^ 0x01);
    return damaged;
}

// What the device says about a link that failed to send.
constexpr const char *LinkDownText = "link down";

// Rows for a device of station 1.
inline QList<ReadFailureCase> readFailureCases()
{
    return {
        {"short send",
         [](ScriptedDevice &d, const QByteArray &) {
             d.setErrorString(QLatin1String(LinkDownText));
             d.failWrites(1, 3);
         },
         QLatin1String(LinkDownText), 1, 0},
        {"send error",
         [](ScriptedDevice &d, const QByteArray &) {
             d.setErrorString(QLatin1String(LinkDownText));
             d.failWrites(1, -1);
         },
         QLatin1String(LinkDownText), 1, 0},
        {"no answer", [](ScriptedDevice &d, const QByteArray &) { d.queueSilence(); },
         QStringLiteral("PLC no response"), 1, 1},
        {"read error",
         [](ScriptedDevice &d, const QByteArray &) {
             d.queueSilence();
             d.setReadFailureResult(-1);
         },
         QStringLiteral("PLC no response"), 1, 1},
        {"three bytes only",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(good.left(3)); },
         QStringLiteral("received bytes < 5"), 1, 1},
        {"one byte, then the rest",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(QList<QByteArray>{good.left(1), good.mid(1)});
         },
         QStringLiteral("received bytes < 5"), 1, 1},
        {"four bytes, then the rest",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(QList<QByteArray>{good.left(4), good.mid(4)});
         },
         QStringLiteral("received bytes < 5"), 1, 1},
        {"foreign station",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(withByte(good, 0, 2)); },
         QStringLiteral("invalid slave id:2"), 0, 1},
        {"exception from a foreign station",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(exceptionReply(good, 7, 2)); },
         QStringLiteral("invalid slave id:7"), 0, 1},
        {"exception",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(exceptionReply(good, 1, 2)); },
         QStringLiteral("exception code:0x02"), 0, 1},
        {"exception code in upper-case hex",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(exceptionReply(good, 1, 0xAB));
         },
         QStringLiteral("exception code:0xAB"), 0, 1},
        {"exception with damaged CRC",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(flipped(exceptionReply(good, 1, 2), 4));
         },
         QStringLiteral("CRC error"), 0, 1},
        {"other function",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(withByte(good, 1, (unsigned char)(good.at(1) + 1)));
         },
         QStringLiteral("invalid response"), 0, 1},
        {"exception of another function",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(withByte(good, 1, (unsigned char)((good.at(1) + 1) | 0x80)));
         },
         QStringLiteral("invalid response"), 0, 1},
        {"rest one byte short",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(QList<QByteArray>{good.left(5), good.mid(5, good.size() - 6)});
         },
         QStringLiteral("packet loss"), 1, 2},
        {"rest missing",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(QList<QByteArray>{good.left(5)}); },
         QStringLiteral("packet loss"), 1, 2},
        {"rest split in two",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(QList<QByteArray>{good.left(5), good.mid(5, 1), good.mid(6)});
         },
         QStringLiteral("packet loss"), 1, 2},
        {"damaged CRC",
         [](ScriptedDevice &d, const QByteArray &good) {
             d.queueReply(flipped(good, good.size() - 1));
         },
         QStringLiteral("CRC error"), 0, 2},
        {"damaged data byte",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(flipped(good, 3)); },
         QStringLiteral("CRC error"), 0, 2},
        {"damaged byte count",
         [](ScriptedDevice &d, const QByteArray &good) { d.queueReply(flipped(good, 2)); },
         QStringLiteral("CRC error"), 0, 2},
    };
}

// Receive buffer of a transaction: no read may reach past it.
constexpr int ReceiveBuffer = 257;

// The big-endian 16-bit field at offset of a frame.
inline unsigned short field(const QByteArray &frame, int offset)
{
    return (unsigned short)(((unsigned char)frame.at(offset) << 8) | (unsigned char)frame.at(offset + 1));
}

// One to three chunks of up to 300 random bytes; half the time the first
// chunk opens with station 1 and `function`, so that the checks of the
// first five bytes pass more often.
inline QList<QByteArray> randomChunks(std::mt19937 &random, char function)
{
    QList<QByteArray> chunks;
    for (int c = 0, n = 1 + int(random() % 3); c < n; ++c) {
        QByteArray chunk;
        for (int b = 0, length = int(random() % 300); b < length; ++b)
            chunk.append(char(random()));
        chunks.append(chunk);
    }
    if (random() % 2 && chunks.first().size() >= 2) {
        chunks.first()[0] = 1;
        chunks.first()[1] = function;
    }
    return chunks;
}

// The reads a transaction made stay inside the receive buffer: at most two,
// the first of 5 bytes, the second of exactly `rest` bytes after them.
inline ::testing::AssertionResult readsInsideTheBuffer(const QList<int> &readSizes, int rest)
{
    if (readSizes.size() > 2)
        return ::testing::AssertionFailure() << readSizes.size() << " reads";
    if (!readSizes.isEmpty() && readSizes.at(0) != 5)
        return ::testing::AssertionFailure() << "first read of " << readSizes.at(0);
    if (readSizes.size() == 2 && (readSizes.at(1) != rest || rest < 0 || 5 + rest > ReceiveBuffer))
        return ::testing::AssertionFailure() << "second read of " << readSizes.at(1) << ", " << rest
                                             << " expected";
    return ::testing::AssertionSuccess();
}

#endif // READ_EXCHANGE_CASES_H
