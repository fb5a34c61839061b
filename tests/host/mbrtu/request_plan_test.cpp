// What mbrtu works out before and after the driver: the requests a long read
// is split into, and what it tells about a failure from the driver's and the
// device's texts.

#include <gtest/gtest.h>

#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/poll_stats.h"
#include "host/mbrtu/request_plan.h"
#include "host/mbrtu/watch_command.h"

namespace {

// "HR1:125 HR126:1": each piece's address text and count.
QString pieces(const char *address, DataType type, int count)
{
    DeviceAddress parsed;
    QString error;
    EXPECT_TRUE(parseDeviceAddress(QLatin1String(address), &parsed, &error)) << address;
    QStringList texts;
    for (const ReadPiece &piece : splitRead(parsed, type, count))
        texts.append(QStringLiteral("%1:%2").arg(piece.address.text).arg(piece.count));
    return texts.join(QLatin1Char(' '));
}

TEST(RequestPlan, SplitsReadsAtEachTypesLimitAndJoinsThemEndToEnd)
{
    const struct { const char *address; DataType type; int count; const char *expected; } cases[] = {
        {"HR1", WordData, 125, "HR1:125"},
        {"HR1", WordData, 126, "HR1:125 HR126:1"},
        {"IR10SW", DoubleWordData, 63, "IR10SW:62 IR134SW:1"},
        {"HR1", ByteData, 251, "HR1:250 HR126:1"},
        {"DI1", BitData, 2001, "DI1:2000 DI2001:1"},
        {"DO9", ByteData, 251, "DO9:250 DO2009:1"},
        // Bits inside registers: pieces of whole bytes, each within 125 registers.
        {"HR1.15", BitData, 2005, "HR1.15:1984 HR125.15:21"},
        {"HR65411", WordData, 126, "HR65411:125 HR65536:1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pieces(c.address, c.type, c.count), QLatin1String(c.expected)) << c.address << " " << c.count;
}

TEST(FailureText, NamesTheKindAndWhatTheDeviceSaw)
{
    const struct { const char *driver, *device; const char *kind; int code; const char *explanation;
                   QByteArray head; } cases[] = {
        {"exception code:0x02 (read 1 word(s) from 1-HR1)", "", "exception", 2, "illegal data address"},
        {"exception code:0x0B (read 1 word(s) from 3-HR1)", "", "exception", 11,
         "gateway fault: target device failed to respond"},
        {"exception code:0x09 (read 1 word(s) from 1-HR1)", "", "exception", 9, ""},
        {"PLC no response (read 1 word(s) from 9-HR1)", "timed out", "timeout", -1, "no reply within 250 ms"},
        {"PLC no response (read 1 word(s) from 1-HR1)", "connection closed by peer", "link", -1,
         "the slave closed the link"},
        {"packet loss (read 1 word(s) from 1-HR1)", "timed out", "frame", -1, "the reply stopped short within 250 ms"},
        {"CRC error (read 1 word(s) from 1-HR1)", "", "crc", -1, ""},
        {"invalid slave id:7 (read 1 word(s) from 1-HR1)", "", "frame", -1, "the reply names another station"},
        {"connection refused", "connection refused", "link", -1, ""},
        {"failed to get default station id", "", "project", -1, ""},
        {"can't read any word from HR65536", "", "request", -1, ""},
        // A peer speaking text, whatever the driver made of its first bytes.
        {"invalid slave id:72 (read 1 word(s) from 1-HR1)", "", "frame", -1,
         "the peer does not speak Modbus RTU: it sent \"HTTP/1.0 4\" (48 54 54 50 2F 31 2E 30 20 34)", "HTTP/1.0 4"},
        {"PLC no response (read 1 word(s) from 1-HR1)", "timed out", "frame", -1,
         "the peer does not speak Modbus RTU: it sent \"ok..\" (6F 6B 0D 0A)", "ok\r\n"},
        // Station 0x48 ('H') with a function code: a frame, not text.
        {"invalid slave id:72 (read 1 word(s) from 1-HR1)", "", "frame", -1, "the reply names another station",
         QByteArray::fromHex("48030200")},
        {"CRC error (read 1 word(s) from 1-HR1)", "", "crc", -1, "", "A"},
    };
    for (const auto &c : cases) {
        const FailureInfo info = explainFailure(QLatin1String(c.driver), QLatin1String(c.device), 250, c.head);
        EXPECT_EQ(info.kind, QLatin1String(c.kind)) << c.driver;
        EXPECT_EQ(info.exceptionCode, c.code) << c.driver;
        EXPECT_EQ(info.explanation, QLatin1String(c.explanation)) << c.driver;
    }
}

TEST(PollStats, CountsFailuresByKindAndTakesPercentilesByNearestRank)
{
    PollStats stats;
    EXPECT_EQ(stats.percentileUs(99), -1);
    for (int us = 1000; us <= 100000; us += 1000)
        stats.addGood(us);
    stats.addFailed(QStringLiteral("timeout"));
    stats.addFailed(QStringLiteral("crc"));
    stats.addFailed(QStringLiteral("timeout"));
    stats.addStopped(); // neither good nor lost
    EXPECT_EQ(stats.percentileUs(99), 99000);
    EXPECT_EQ(stats.percentileUs(0), 1000);
    EXPECT_EQ(stats.summary(), QStringLiteral("104 polls: 100 good, 3 failed (crc 1, timeout 2), 1 stopped, loss 2.9 %\n"
                                              "response time: min 1.0 ms, average 50.5 ms, max 100.0 ms, "
                                              "99th percentile 99.0 ms\n"));
}

TEST(WatchTags, ReadsTagListsAndFilesWithTheirTypesAndSaysWhatIsWrong)
{
    const struct { const char *text; bool file; const char *expected; } cases[] = {
        {"HR100:float32:CDAB,2-IR7:int16,DI1-3,HR5.3", false, "HR100 2 CDAB|2-IR7 1 ABCD|DI1 b|DI2 b|DI3 b|HR5.3 b"},
        {"HR1-5:int32", false, "HR1 2 ABCD|HR3 2 ABCD|HR5 2 ABCD"},
        {"# name,address,type\nsetpoint,HR100,float32:DCBA\n\npump,3-DO4\n", true, "setpoint 2 DCBA|pump b"},
        {"setpoint,HR100,float32\nbad\n", true, "2: expected name,address[,type], not 'bad'"},
        {"run,HR1-4", true, "1: 'HR1-4' names 4 tags: one line, one tag"},
        {"# nothing\n", true, "no tag in the file"},
        {"Name,Address,Type\nsetpoint,HR100,float32\n", true, "setpoint 2 ABCD"},
        {"setpoint,HR100\nname,address\n", true, "2: --tags: 'address' is no tag: [STATION-]ADDRESS[-LAST][:TYPE[:ORDER]]"},
    };
    for (const auto &c : cases) {
        QVector<TypedTag> tags;
        QString error;
        const QString text = QLatin1String(c.text);
        const bool ok = c.file ? parseWatchTagFile(text, 1, &tags, &error) : parseWatchTags(text, 1, &tags, &error);
        QStringList described;
        for (const TypedTag &tag : tags)
            described.append(tag.tag.name + (tag.bit ? QStringLiteral(" b") : QStringLiteral(" %1 %2").arg(tag.tag.registers)
                                                                             .arg(byteOrderName(tag.order))));
        EXPECT_EQ(ok ? described.join(QLatin1Char('|')) : error, QLatin1String(c.expected)) << c.text;
    }
}

} // namespace
