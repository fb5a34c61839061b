// Register reads (functions 3 and 4) and coil and input reads (functions 1
// and 2): request bytes, the data handed back, the reuse of the result's
// storage, and the limits, with a device that sends more than asked for.

#include "transactions.h"

namespace {

const QByteArray HR("HR");

} // namespace

TEST(Reads, RequestsConversionsAndResultsTheRuntimeStillHolds)
{
    // Each reply reaches the driver in two pieces, the first five bytes and the rest.
    const struct { const char *name; Read read; const char *request, *reply, *result; } rows[] = {
        {"words", words(HR, 99, 2), "01 03 00 63 00 02", "01 03 04 00 0A 00 0B", "0A 00 0B 00"},
        {"byte count unchecked", words(HR, 99, 2), "01 03 00 63 00 02", "01 03 09 00 0C 00 0D", "0C 00 0D 00"},
        {"dword, low word first", dwords(HR, 0, 1, false), "01 03 00 00 00 02", "01 03 04 56 78 12 34", "78 56 34 12"},
        {"dwords, high word first", dwords("IR", 0x1234, 2, true), "01 04 12 34 00 04",
         "01 04 08 12 34 56 78 9A BC DE F0", "78 56 34 12 F0 DE BC 9A"},
        {"odd bytes", bytes(HR, 0, 3), "01 03 00 00 00 02", "01 03 04 22 11 00 33", "11 22 33"},
        {"even bytes", bytes(HR, 5, 4), "01 03 00 05 00 02", "01 03 04 22 11 44 33", "11 22 33 44"},
        {"bits across two registers", bits(HR, 0, 15, 2), "01 03 00 00 00 02", "01 03 04 80 00 00 01", "03"},
        {"bits above the count cleared", bits(HR, 0, 4, 10), "01 03 00 00 00 01", "01 03 02 FF FF", "FF 03"},
        {"bit index past a register", bits(HR, 0, 20, 4), "01 03 00 00 00 02", "01 03 04 FF FF 00 A0", "0A"},
        {"inputs, unused bits cleared", inputs("DI", 0, 10), "01 02 00 00 00 0A", "01 02 02 FF FF", "FF 03"},
        {"coils", inputs("DO", 9, 3), "01 01 00 09 00 03", "01 01 01 05", "05"},
        {"three words", words(HR, 0, 3), "01 03 00 00 00 03", "01 03 06 00 01 00 02 00 03", "01 00 02 00 03 00"},
    };
    // A register read puts its result where the last one was once the runtime
    // has let go of that: first every result is held while the next reads run,
    // then each is dropped before the next, sizes going up and down.
    Driver driver;
    QList<QByteArray> held;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedDevice device;
        const QByteArray reply = rtu(row.reply);
        device.queue({reply.left(5), reply.mid(5)});
        held.append(row.read(driver, device));
        EXPECT_FALSE(driver.hasError()) << qPrintable(driver.getLastError());
        EXPECT_EQ(device.written, rtuFrames({row.request}));
        EXPECT_EQ(device.readSizes, (QList<int>{5, reply.size() - 5}));
        EXPECT_EQ(device.events, QStringList{"W"});
    }
    for (int i = 0; i < held.size(); ++i)
        EXPECT_EQ(held[i], hex(rows[i].result)) << rows[i].name;
    held.clear();
    for (const auto &row : rows) {
        ScriptedDevice device;
        device.queue({rtu(row.reply)});
        EXPECT_EQ(row.read(driver, device), hex(row.result)) << row.name;
    }
}

TEST(Reads, LimitsAtTheirBoundaries)
{
    const struct { const char *name; Read read; int quantity, size; const char *refusal; } rows[] = {
        // name, read, quantity of the request and size of the result when accepted, or the refusal
        {"125 words", words(HR, 0, 125), 125, 250, nullptr},
        {"126 words", words(HR, 0, 126), 0, 0, "can't read any word from HR1"},
        {"125 words up to the last register", words(HR, 65411, 125), 125, 250, nullptr},
        {"125 words one past the end", words("IR", 65412, 125), 0, 0, "can't read any word from IR65413"},
        {"negative word count", words(HR, 9, -1), 0, 0, "can't read any word from HR10"},
        {"62 double words", dwords(HR, 0, 62, false), 124, 248, nullptr},
        {"63 double words", dwords(HR, 0, 63, true), 0, 0, "can't read any double word from HR1"},
        {"double word count over int", dwords(HR, 0, 1 << 30, false), 0, 0, "can't read any double word from HR1"},
        {"249 bytes", bytes(HR, 0, 249), 125, 249, nullptr},
        {"251 bytes", bytes(HR, 0, 251), 0, 0, "can't read any byte from HR1"},
        {"two bytes of the last register", bytes(HR, 65535, 2), 1, 2, nullptr},
        {"three bytes from the last register", bytes(HR, 65535, 3), 0, 0, "can't read any byte from HR65536"},
        {"negative byte count", bytes("IR", 0, -1), 0, 0, "can't read any byte from IR1"},
        {"2000 bits", bits(HR, 0, 0, 2000), 125, 250, nullptr},
        {"2001 bits", bits(HR, 0, 0, 2001), 0, 0, "can't read any word from HR1"},
        {"1985 bits from bit 15", bits(HR, 3, 15, 1985), 125, 249, nullptr},
        {"1986 bits from bit 15", bits(HR, 3, 15, 1986), 0, 0, "can't read any word from HR4"},
        {"negative bit count", bits(HR, 0, 1, -1), 0, 0, "can't read any word from HR1"},
        {"huge bit count", bits(HR, 0, 255, 0x7FFFFFFF), 0, 0, "can't read any word from HR1"},
        {"2008 inputs", inputs("DI", 0, 2008), 2008, 251, nullptr},
        {"2009 inputs", inputs("DI", 0, 2009), 0, 0, "can't read 2009 bits from DI1"},
        {"2008 inputs up to the last", inputs("DI", 63528, 2008), 2008, 251, nullptr},
        {"2008 inputs, one past", inputs("di", 63529, 2008), 0, 0, "can't read 2008 bits from di63530"},
        {"most negative count", inputs("FN5DO", 4, -2147483647 - 1), 0, 0, "can't read -2147483648 bits from FN5DO5"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Driver driver;
        ScriptedDevice device;
        device.responder = [](const QByteArray &r) { return healthyStation()(r) + QByteArray(400, '\xA5'); };
        const QByteArray result = row.read(driver, device);
        EXPECT_EQ(driver.getLastError(), QString::fromLatin1(row.refusal));
        EXPECT_EQ(driver.hasError(), row.refusal != nullptr);
        EXPECT_EQ(result.size(), row.size);
        if (row.refusal) {
            EXPECT_EQ(device.events, QStringList()) << "a refusal touches nothing";
            continue;
        }
        ASSERT_EQ(device.written.size(), 1);
        EXPECT_EQ(field(device.written.first(), 4), row.quantity);
        const bool bitRead = device.written.first().at(1) <= 2;
        EXPECT_EQ(device.readSizes, (QList<int>{5, bitRead ? (row.quantity + 7) / 8 : 2 * row.quantity}));
    }
}
