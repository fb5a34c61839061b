// Every read and write transaction against a device whose replies come from
// the input.
//
// Input layout (big-endian numbers):
//   transaction   1 byte, modulo the 18 of the switch below
//   area prefix   1 byte, modulo the prefix table
//   address       2 bytes, zero-based register or coil number
//   count         4 bytes, signed
//   bit index     1 byte
//   flags         1 byte: 0x01 high word first, 0x02 station id above 255
//   station       1 byte
//   failing write 1 byte: that write (from 1) sends a byte less; 0 none
//   data length   2 bytes, then the data the write transactions get, fitted
//                 as the write dispatcher fits it (fitted below)
//   map entries   1 byte n, then n times: kind (0x01 DO else DI, 0x02 for
//                 the next station) and a 2-byte address; the configured
//                 addresses the sparse reads consult
//   the rest      the device's replies (fuzz_device.h)

#include <set>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "fuzz_device.h"
#include "tools/tools.h"

namespace {

const char *const Prefixes[] = {"HR", "hr", "FN6HR", "fn6hr", "IR", "DI", "DO", "FN5DO", "fn5do", "HRX", "XY", "", "F",
                                "FN6"};

using Driver = DriverModbusRtuSlaveOverTcp;

// Configured addresses, sorted and without repeats as the map holds them after a load.
void fillMap(Driver &driver, FuzzInput &input, int station)
{
    std::set<unsigned short> sets[4]; // bit 1 of the kind: the next station; bit 0: DO, else DI
    for (int n = input.byte(); n > 0; --n) {
        const int kind = input.byte() & 3;
        sets[kind].insert(input.word());
    }
    for (int kind = 0; kind < 4; ++kind) {
        const auto insert = (kind & 1) ? &Driver::validBitAddressesMapInsertDO : &Driver::validBitAddressesMapInsertDI;
        for (unsigned short address : sets[kind])
            (driver.*insert)((unsigned char)(station + kind / 2), address);
    }
}

// A successful read returns count units of the given size in bytes (0: bit
// arrays, with no bit set beyond the count); a failed one nothing, and an
// error text.
void checkRead(Driver &driver, const QByteArray &result, int count, int unit)
{
    if (driver.hasError()) {
        FUZZ_CHECK(result.isEmpty() && !driver.getLastError().isEmpty(), "a failed read returned %d bytes or no text",
                   result.size());
        return;
    }
    const long long expected = unit > 0 ? (long long)unit * count : count <= 0 ? 0 : (count + 7LL) / 8;
    FUZZ_CHECK(result.size() == expected, "a read of count %d gave %d bytes, not %lld", count, result.size(), expected);
    const unsigned char last = result.isEmpty() ? 0 : result.back();
    FUZZ_CHECK(unit || count % 8 == 0 || result.isEmpty() || (last >> (count % 8)) == 0,
               "bits beyond the count of %d: %02X", count, last);
}

void checkWrite(Driver &driver, bool ok)
{
    FUZZ_CHECK(ok == !driver.hasError(), "a write returned %d with the error flag %d", ok, driver.hasError());
    FUZZ_CHECK(ok || !driver.getLastError().isEmpty(), "a failed write without an error text");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzInput input(bytes, size);
    const int transaction = input.byte() % 18;
    const QByteArray prefix(Prefixes[input.byte() % std::size(Prefixes)]);
    const unsigned short address = input.word();
    const int count = input.int32();
    const unsigned char bit = input.byte();
    const uint8_t flags = input.byte();
    const bool highWordFirst = flags & 0x01;
    const int station = input.byte() + ((flags & 0x02) ? 256 : 0);
    const int failingWrite = input.byte();
    const QByteArray data = input.take(input.word());
    // The data as the write dispatcher hands it over: whole words to the word
    // writes, whole double words to the double-word writes, exactly as many
    // bytes as the count needs to the bit writes. The byte writes and the
    // single register write take any size. Each is made only when used: the
    // bits of a large count take a megabyte.
    const auto words = [&] { return ToSafeData(CommunicatorCommand(WordData, data.size() / 2), data); };
    const auto dwords = [&] { return ToSafeData(CommunicatorCommand(DoubleWordData, data.size() / 4), data); };
    const auto bits = [&] { return ToSafeData(CommunicatorCommand(BitData, count), data); };

    Driver driver;
    fillMap(driver, input, station);
    FuzzDevice device(input, station);
    device.setFailingWrite(failingWrite);
    switch (transaction) {
    case 0: checkRead(driver, driver.readWords(&device, prefix, address, count), count, 2); break;
    case 1: checkRead(driver, driver.readDWords(&device, prefix, address, count, highWordFirst), count, 4); break;
    case 2: checkRead(driver, driver.readBytes(&device, prefix, address, count), count, 1); break;
    case 3: checkRead(driver, driver.readIRHRbits(&device, prefix, address, bit, count), count, 0); break;
    case 4: checkRead(driver, driver.readDIDOs(&device, prefix, address, count), count, 0); break;
    // The sparse byte reads: count bytes, none for a count below 1.
    case 5: checkRead(driver, driver.readBytesFromDI(&device, address, count), qMax(count, 0), 1); break;
    case 6: checkRead(driver, driver.readBytesFromDO(&device, address, count), qMax(count, 0), 1); break;
    case 7: checkWrite(driver, driver.writeWords(&device, address, words())); break;
    case 8: checkWrite(driver, driver.writeDWords(&device, address, dwords(), highWordFirst)); break;
    case 9: checkWrite(driver, driver.writeBytes(&device, address, data)); break;
    case 10: checkWrite(driver, driver.writeHRbit(&device, address, bit, bits(), count)); break;
    case 11: checkWrite(driver, driver.writeWordWithFN6(&device, address, data)); break;
    case 12: checkWrite(driver, driver.writeWordsWithFN6(&device, address, words())); break;
    case 13: checkWrite(driver, driver.writeBytesWithFN6(&device, address, data)); break;
    case 14: checkWrite(driver, driver.writeDWordsWithFN6(&device, address, dwords(), highWordFirst)); break;
    case 15: checkWrite(driver, driver.writeHRbitWithFN6(&device, address, bit, bits(), count)); break;
    case 16: checkWrite(driver, driver.writeCoils(&device, address, bits(), count)); break;
    case 17: checkWrite(driver, driver.writeCoilsWithFN5(&device, address, bits(), count)); break;
    }
    return 0;
}
