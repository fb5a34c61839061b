// Writes: holding registers with function 16 or register by register with
// function 6, bits inside registers by read-modify-write, coils with function
// 15 or coil by coil with function 5. Request bytes and pauses, limits, and
// the first failure ending a sequence.

#include "transactions.h"

namespace {

QByteArray filled(int bytes) { return QByteArray(bytes, '\x5A'); }

// 8 coils at 0 with 300 bytes of bits: the byte count is the low 8 bits of
// 300 (0x2C), and all 300 bytes follow it.
const char *coilsWithLongArray()
{
    static const QByteArray frame = "FF 0F 00 00 00 08 2C" + QByteArray(" 5A").repeated(300);
    return frame.constData();
}

} // namespace

TEST(Writes, RequestsAndPauses)
{
    using Image = QVector<unsigned short>;
    const struct { const char *name; Write write; QList<const char *> frames; const char *events; Image image = {}; }
    rows[] = {
        {"fn16 dwords high first", fn16(HighFirst, 7, hex("01 02 03 04 05 06 07 08")),
         {"FF 10 00 07 00 04 08 04 03 02 01 08 07 06 05"}, "W"},
        {"fn16 dwords low first", fn16(LowFirst, 7, hex("01 02 03 04 05 06 07 08")),
         {"FF 10 00 07 00 04 08 02 01 04 03 06 05 08 07"}, "W"},
        {"fn16 even bytes", fn16(Bytes, 65534, hex("AA BB CC DD")), {"FF 10 FF FE 00 02 04 BB AA DD CC"}, "W"},
        {"fn6 last register", fn6(Words, 65535, hex("CD AB")), {"FF 06 FF FF AB CD"}, "W"},
        {"fn6 three words, pauses between", fn6(Words, 10, hex("01 00 02 00 03 00")),
         {"FF 06 00 0A 00 01", "FF 06 00 0B 00 02", "FF 06 00 0C 00 03"}, "W D W D W"},
        {"fn6 dword", fn6(HighFirst, 0, hex("78 56 34 12")), {"FF 06 00 00 12 34", "FF 06 00 01 56 78"}, "W D W"},
        {"fn6 odd bytes", fn6(Bytes, 0, hex("11 22 33")), {"FF 06 00 00 22 11", "FF 06 00 01 00 33"}, "W D W"},
        {"fn6 no data", fn6(Words, 0, QByteArray()), {}, ""},
        {"fn15 unused bits as given", fn15(0, hex("FF"), 3), {"FF 0F 00 00 00 03 01 FF"}, "W"},
        {"fn15 no coils", fn15(0, QByteArray(), 0), {"FF 0F 00 00 00 00 00"}, "W"},
        {"fn15 more bits than a byte count announces go out whole", fn15(0, filled(300), 8), {coilsWithLongArray()}, "W"},
        {"fn5 across a byte, back to back", fn5(65527, hex("80 01"), 9),
         {"FF 05 FF F7 00 00", "FF 05 FF F8 00 00", "FF 05 FF F9 00 00", "FF 05 FF FA 00 00", "FF 05 FF FB 00 00",
          "FF 05 FF FC 00 00", "FF 05 FF FD 00 00", "FF 05 FF FE FF 00", "FF 05 FF FF FF 00"}, "W W W W W W W W W"},
        {"fn5 missing bits are off", fn5(0, QByteArray(), 2), {"FF 05 00 00 00 00", "FF 05 00 01 00 00"}, "W W"},
        {"fn5 no coils", fn5(0, QByteArray(), 0), {}, ""},
        // Bit 15 of HR10 to 1, bit 0 of HR11 to 0; the rest as read.
        {"bits across registers", hrBits(9, 15, hex("01"), 2),
         {"FF 03 00 09 00 02", "FF 10 00 09 00 02 04 92 34 AB CC"}, "W W", Image(9) << 0x1234 << 0xABCD},
        {"bits beyond the array written as 0", hrBits(0, 4, hex("FF"), 12),
         {"FF 03 00 00 00 01", "FF 10 00 00 00 01 02 0F FF"}, "W W", {0xFFFF}},
        {"only count bits change", hrBits(9, 0, hex("1F"), 4), {"FF 03 00 09 00 01", "FF 10 00 09 00 01 02 00 0F"},
         "W W", Image(10)},
        // The array ends after one byte; the byte behind it in memory is not read.
        {"bits beyond the array written as 0, whatever follows it", hrBits(9, 0, QByteArray::fromRawData("\x00\xFF", 1), 9),
         {"FF 03 00 09 00 01", "FF 10 00 09 00 01 02 00 00"}, "W W", Image(10)},
        // Bits 14..17 to 1, 0, 0, 1; every register read goes back, no pauses.
        {"fn6 bits", hrBitsFn6(9, 14, hex("09"), 4), {"FF 03 00 09 00 02", "FF 06 00 09 40 F0", "FF 06 00 0A 80 02"},
         "W W W", Image(9) << 0x00F0 << 0x8001},
        // No bits from bit 0 on lie in no register: the read asks for none and nothing is written back.
        {"no bits at bit 0", hrBits(9, 0, QByteArray(), 0), {"FF 03 00 09 00 00"}, "W"},
        {"fn6 no bits at bit 0", hrBitsFn6(9, 0, QByteArray(), 0), {"FF 03 00 09 00 00"}, "W"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Driver driver;
        ScriptedDevice device(0x1FF); // goes out as station FF, its low 8 bits
        device.responder = healthyStation(row.image);
        EXPECT_TRUE(row.write(driver, device));
        EXPECT_FALSE(driver.hasError()) << qPrintable(driver.getLastError());
        EXPECT_EQ(device.written, rtuFrames(row.frames));
        EXPECT_EQ(device.events.join(' '), row.events);
    }
}

TEST(Writes, LimitsAtTheirBoundaries)
{
    const struct { Write write; int frames, lastFrameSize; const char *refusal; } rows[] = {
        // write, frames written and the size of the last when accepted, or the refusal
        {fn16(Words, 65413, filled(246)), 1, 255, nullptr},
        {fn16(Words, 65414, filled(246)), 0, 0, "can't write any word to HR65415"},
        {fn16(Words, 0, filled(248)), 0, 0, "can't write any word to HR1"},
        {fn16(HighFirst, 0, filled(244)), 1, 253, nullptr}, {fn16(HighFirst, 65534, filled(4)), 1, 13, nullptr},
        {fn16(LowFirst, 0, filled(248)), 0, 0, "can't write any double word to HR1"},
        {fn16(HighFirst, 65535, filled(4)), 0, 0, "can't write any double word to HR65536"},
        {fn16(Bytes, 0, filled(246)), 1, 255, nullptr}, {fn16(Bytes, 65535, filled(1)), 1, 11, nullptr},
        {fn16(Bytes, 0, filled(247)), 0, 0, "can't write any byte to HR1"},
        {fn6(Words, 65413, filled(246)), 123, 8, nullptr},
        {fn6(Words, 65414, filled(246)), 0, 0, "can't write any word to HR65415"},
        {fn15(0, filled(247), 1976), 1, 256, nullptr}, {fn15(65530, filled(1), 6), 1, 10, nullptr},
        {fn15(0, filled(248), 1977), 0, 0, "can't write 1977 bits to DO1"},
        {fn15(65530, filled(2), 10), 0, 0, "can't write 10 bits to DO65531"},
        {fn15(0, QByteArray(), -1), 0, 0, "can't write -1 bits to DO1"},
        {fn5(0, filled(248), 1977), 0, 0, "can't write 1977 bits to DO1"},
        {fn5(65530, filled(1), 6), 6, 8, nullptr},
        {fn5(65530, filled(2), 10), 0, 0, "can't write 10 bits to DO65531"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&row - rows));
        Driver driver;
        ScriptedDevice device;
        device.responder = healthyStation();
        EXPECT_EQ(row.write(driver, device), row.refusal == nullptr);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.refusal));
        EXPECT_EQ(driver.hasError(), row.refusal != nullptr);
        ASSERT_EQ(device.written.size(), row.frames) << "a refusal touches nothing";
        if (row.frames)
            EXPECT_EQ(device.written.last().size(), row.lastFrameSize);
    }
}

TEST(Writes, AcknowledgementsAreCheckedNotComparedAndTheFirstFailureEndsASequence)
{
    const struct { const char *name; Write write; QList<QByteArray> replies; const char *text; int frames; } rows[] = {
        // name, write, the first replies (a healthy station answers the rest), the error, frames written
        {"fn16, other values echoed", fn16(Words, 99, hex("34 12")), {rtu("01 10 12 34 00 7B")}, nullptr, 1},
        {"fn5, other values echoed", fn5(16, hex("01"), 1), {rtu("01 05 00 99 00 00")}, nullptr, 1},
        {"fn6, exception at the second of three registers", fn6(Words, 10, hex("01 00 02 00 03 00")),
         {rtu("01 06 00 0A 00 01"), rtu("01 86 02")}, "exception code:0x02", 2},
        {"fn5, exception at the second of three coils", fn5(16, hex("07"), 3),
         {rtu("01 05 00 10 FF 00"), rtu("01 85 03")}, "exception code:0x03", 2},
        {"bits, read fails", hrBits(9, 3, hex("01"), 1), {QByteArray()}, "PLC no response", 1},
        {"bits, 124 registers read but not written", hrBits(9, 0, filled(248), 16 * 124), {},
         "can't write any word to HR10", 1},
        {"bits, negative count", hrBits(9, 3, hex("01"), -1), {}, "can't read any word from HR10", 0},
        {"fn6 bits, read fails", hrBitsFn6(9, 15, hex("03"), 2), {rtu("01 83 02")}, "exception code:0x02", 1},
        {"fn6 bits, first register fails", hrBitsFn6(9, 15, hex("03"), 2), {rtu("01 03 04 00 00 00 00"), QByteArray()},
         "PLC no response", 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Driver driver;
        ScriptedDevice device;
        device.responder = healthyStation();
        for (const QByteArray &reply : row.replies)
            device.queue(reply.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{reply});
        EXPECT_EQ(row.write(driver, device), row.text == nullptr);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.text));
        EXPECT_EQ(device.written.size(), row.frames);
    }
}
