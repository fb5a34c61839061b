// The frame layer: the request builders byte for byte against frames whose
// CRC the test computes, and the CRC test of replies.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "driver/rtu_frame.h"
#include "support/frames.h"
#include "support/qt_printers.h"

namespace {

bool checkCrc(QByteArray frame)
{
    return ModbusRTUSlaveCheckCRC(reinterpret_cast<unsigned char *>(frame.data()), unsigned(frame.size()));
}

} // namespace

TEST(RtuFrame, RequestsWithTheirFieldsAtTheExtremes)
{
    // A multiple-write request built in place as the writes build theirs, with
    // as many data bytes as its byte count can announce.
    const QByteArray data255(255, char(0xA5)), data300(300, char(0x5A));
    const RtuRequest request = ModbusRTUSlaveMultipleWriteRequest(
        0xF7, 16, 0xFFFF, 0xFFFF, data255.size(), [&](char *out) { memcpy(out, data255.constData(), 255); });
    EXPECT_EQ(QByteArray(request.data(), request.length()), withCrc(hex("F7 10 FF FF FF FF FF") + data255));
    EXPECT_EQ(ModbusRTUSlaveBuildReadDevicesRequest(255, 0x80, 0xFFFF, 0xFFFF), rtu("FF 80 FF FF FF FF"));
    // The byte count keeps the low 8 bits of the data length; the data go out whole.
    EXPECT_EQ(ModbusRTUSlaveBuildFn16Request(3, 0x1234, 150, data300), withCrc(hex("03 10 12 34 00 96 2C") + data300));
}

TEST(RtuFrame, TheWriterRefusesFieldsPastItsCapacity)
{
    char frame[6] = {};
    const struct { const char *name; std::function<void(FrameWriter &)> put; const char *written; bool fitted; } rows[] = {
        {"exactly full", [](FrameWriter &w) { w.putWord(0x0102); w.putBytes("\x03\x04", 2); w.putCrc(); }, "01 02 03 04", true},
        {"a word one byte short", [](FrameWriter &w) { w.putBytes("\x01\x02\x03\x04\x05", 5); w.putWord(0x0607); },
         "01 02 03 04 05", false},
        {"nothing after a refusal", [](FrameWriter &w) { w.putBytes("\x01", 1); w.room(6); w.putByte(2); }, "01", false},
        {"negative room", [](FrameWriter &w) { w.room(-1); }, "", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        memset(frame, 0x77, sizeof frame);
        FrameWriter out(frame, 6);
        row.put(out);
        const QByteArray written = hex(row.written);
        EXPECT_EQ(out.fitted(), row.fitted);
        EXPECT_EQ(out.length(), row.fitted ? 6 : written.size());
        EXPECT_EQ(QByteArray(frame, written.size()), written);
        EXPECT_EQ(QByteArray(frame + out.length(), 6 - out.length()), QByteArray(6 - out.length(), 0x77))
            << "nothing written past what fitted";
    }
}

TEST(RtuFrame, CheckCrcAcceptsCorrectFramesOnly)
{
    const QByteArray frame = rtu("01 03 04 00 0A 00 0B");
    EXPECT_TRUE(checkCrc(frame));
    for (int bit = 0; bit < 8 * frame.size(); ++bit) {
        QByteArray damaged(frame);
        damaged[bit / 8] = char(damaged.at(bit / 8) ^ (1 << (bit % 8)));
        EXPECT_FALSE(checkCrc(damaged)) << "bit " << bit;
    }
    // Two bytes are the CRC of nothing; fewer hold no CRC at all.
    EXPECT_TRUE(checkCrc(rtu("")));
    EXPECT_FALSE(checkCrc(rtu("").left(1)));
    EXPECT_FALSE(checkCrc(QByteArray()));
}
