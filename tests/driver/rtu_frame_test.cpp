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
    // What each writer put into 5 bytes of room, and whether everything fitted:
    // after a refusal nothing more goes in.
    const struct { std::function<void(FrameWriter &)> put; const char *written; bool fitted; } rows[] = {
        {[](FrameWriter &w) { w.putWord(0x0102); w.putByte(3); w.putCrc(); }, "01 02 03 61 61", true},
        {[](FrameWriter &w) { w.putBytes("\x01\x02\x03\x04", 4); w.putWord(0x0506); w.putByte(7); }, "01 02 03 04", false},
        {[](FrameWriter &w) { w.room(6); w.putByte(2); w.room(-1); }, "", false},
    };
    for (const auto &row : rows) {
        char frame[6] = {0, 0, 0, 0, 0, 0x77};
        FrameWriter out(frame, 5);
        row.put(out);
        EXPECT_EQ(std::make_pair(QByteArray(frame, out.length()), out.fitted()), std::make_pair(hex(row.written), row.fitted));
        EXPECT_EQ(frame[5], 0x77) << "nothing past the room";
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
