// Every read and write transaction against a device whose replies come from
// the input.
//
// Input layout (big-endian numbers):
//   transaction   1 byte, modulo the table below
//   area prefix   1 byte, modulo the prefix table
//   address       2 bytes, zero-based register or coil number
//   count         4 bytes, signed
//   bit index     1 byte
//   flags         1 byte: 0x01 high word first, 0x02 station id above 255
//   station       1 byte
//   failing write 1 byte: that write (from 1) sends a byte less; 0 none
//   data length   2 bytes, then the data the write transactions get, fitted
//                 as the dispatcher fits it (dispatcherData)
//   map entries   1 byte n, then n times: kind (0x01 DO else DI, 0x02 for
//                 the next station) and a 2-byte address; the configured
//                 addresses the sparse reads consult
//   the rest      the device's replies (fuzz_device.h)

#include <QCoreApplication>
#include <QVector>
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "fuzz_device.h"
#include "fuzz_input.h"
#include "fuzz_support.h"
#include "tools/tools.h"

namespace {

enum Transaction {
    ReadWords, ReadDWords, ReadBytes, ReadIRHRbits, ReadDIDOs, ReadBytesFromDI, ReadBytesFromDO,
    WriteWords, WriteDWords, WriteBytes, WriteHRbit, WriteWordWithFN6, WriteWordsWithFN6,
    WriteBytesWithFN6, WriteDWordsWithFN6, WriteHRbitWithFN6, WriteCoils, WriteCoilsWithFN5,
    TransactionCount
};

const char *const Prefixes[] = {"HR", "hr", "FN6HR", "fn6hr", "IR", "DI", "DO", "FN5DO",
                                "fn5do", "HRX", "XY", "", "F", "FN6"};
const int PrefixCount = int(sizeof Prefixes / sizeof *Prefixes);

struct Request
{
    int transaction;
    QByteArray prefix;
    unsigned short address;
    int count;
    unsigned char bit;
    bool highWordFirst;
    int station;
    QByteArray data;
};

// Configured addresses, sorted and without repeats as the map holds them after a load.
void fillMap(DriverModbusRtuSlaveOverTcp &driver, FuzzInput &input, int station)
{
    QVector<unsigned short> sets[2][2]; // [station offset][DI, DO]
    for (int n = input.byte(); n > 0; --n) {
        const uint8_t kind = input.byte();
        sets[(kind >> 1) & 1][kind & 1].append(input.word());
    }
    for (int s = 0; s < 2; ++s) {
        for (int area = 0; area < 2; ++area) {
            QVector<unsigned short> &set = sets[s][area];
            std::sort(set.begin(), set.end());
            set.erase(std::unique(set.begin(), set.end()), set.end());
            for (unsigned short address : set) {
                if (area == 0)
                    driver.validBitAddressesMapInsertDI((unsigned char)(station + s), address);
                else
                    driver.validBitAddressesMapInsertDO((unsigned char)(station + s), address);
            }
        }
    }
}

long long bitBytes(int count) { return count <= 0 ? 0 : (count + 7LL) / 8; }

// What a successful read returns: its size by the unit of the request, and
// no bit set beyond the count in a bit array.
void checkRead(const Request &r, const QByteArray &result, DriverModbusRtuSlaveOverTcp &driver)
{
    if (driver.hasError()) {
        FUZZ_CHECK(result.isEmpty(), "a failed read returned %d bytes", result.size());
        FUZZ_CHECK(!driver.getLastError().isEmpty(), "a failed read without an error text");
        return;
    }
    long long expected = 0;
    bool bits = false;
    const long long count = r.count;
    switch (r.transaction) {
    case ReadWords: expected = 2 * count; break;
    case ReadDWords: expected = 4 * count; break;
    case ReadBytes: expected = count; break;
    case ReadIRHRbits: expected = bitBytes(r.count); bits = true; break;
    case ReadDIDOs: expected = bitBytes(r.count); bits = true; break;
    default: expected = count > 0 ? count : 0; break; // sparse byte reads
    }
    FUZZ_CHECK(result.size() == expected, "transaction %d of count %d returned %d bytes, not %lld",
               r.transaction, r.count, result.size(), expected);
    if (bits && r.count % 8 != 0 && !result.isEmpty()) {
        const unsigned char last = (unsigned char)result.at(result.size() - 1);
        FUZZ_CHECK((last >> (r.count % 8)) == 0, "bits beyond the count of %d are set: %02X",
                   r.count, last);
    }
}

// The data as the write dispatcher hands it over: whole words to the word
// writes, whole double words to the double-word writes, exactly as many
// bytes as the count needs to the bit writes. The byte writes and the single
// register write take any size.
QByteArray dispatcherData(const Request &r)
{
    const int size = r.data.size();
    switch (r.transaction) {
    case WriteWords:
    case WriteWordsWithFN6:
        return ToSafeData(CommunicatorCommand(2, size / 2), r.data);
    case WriteDWords:
    case WriteDWordsWithFN6:
        return ToSafeData(CommunicatorCommand(3, size / 4), r.data);
    case WriteHRbit:
    case WriteHRbitWithFN6:
    case WriteCoils:
    case WriteCoilsWithFN5:
        return ToSafeData(CommunicatorCommand(0, r.count), r.data);
    default:
        return r.data;
    }
}

void checkWrite(bool ok, DriverModbusRtuSlaveOverTcp &driver)
{
    FUZZ_CHECK(ok == !driver.hasError(), "a write returned %s with the error flag %s",
               ok ? "true" : "false", driver.hasError() ? "set" : "clear");
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
    Request r;
    r.transaction = input.byte() % TransactionCount;
    r.prefix = QByteArray(Prefixes[input.byte() % PrefixCount]);
    r.address = input.word();
    r.count = input.int32();
    r.bit = input.byte();
    const uint8_t flags = input.byte();
    r.highWordFirst = flags & 0x01;
    r.station = input.byte() + ((flags & 0x02) ? 256 : 0);
    const int failingWrite = input.byte();
    r.data = input.take(input.word());

    r.data = dispatcherData(r);

    DriverModbusRtuSlaveOverTcp driver;
    fillMap(driver, input, r.station);
    FuzzDevice device(input, r.station);
    device.setFailingWrite(failingWrite);

    FuzzDevice *d = &device;
    switch (r.transaction) {
    case ReadWords: checkRead(r, driver.readWords(d, r.prefix, r.address, r.count), driver); break;
    case ReadDWords:
        checkRead(r, driver.readDWords(d, r.prefix, r.address, r.count, r.highWordFirst), driver);
        break;
    case ReadBytes: checkRead(r, driver.readBytes(d, r.prefix, r.address, r.count), driver); break;
    case ReadIRHRbits:
        checkRead(r, driver.readIRHRbits(d, r.prefix, r.address, r.bit, r.count), driver);
        break;
    case ReadDIDOs: checkRead(r, driver.readDIDOs(d, r.prefix, r.address, r.count), driver); break;
    case ReadBytesFromDI: checkRead(r, driver.readBytesFromDI(d, r.address, r.count), driver); break;
    case ReadBytesFromDO: checkRead(r, driver.readBytesFromDO(d, r.address, r.count), driver); break;
    case WriteWords: checkWrite(driver.writeWords(d, r.address, r.data), driver); break;
    case WriteDWords:
        checkWrite(driver.writeDWords(d, r.address, r.data, r.highWordFirst), driver);
        break;
    case WriteBytes: checkWrite(driver.writeBytes(d, r.address, r.data), driver); break;
    case WriteHRbit:
        checkWrite(driver.writeHRbit(d, r.address, r.bit, r.data, r.count), driver);
        break;
    case WriteWordWithFN6: checkWrite(driver.writeWordWithFN6(d, r.address, r.data), driver); break;
    case WriteWordsWithFN6: checkWrite(driver.writeWordsWithFN6(d, r.address, r.data), driver); break;
    case WriteBytesWithFN6: checkWrite(driver.writeBytesWithFN6(d, r.address, r.data), driver); break;
    case WriteDWordsWithFN6:
        checkWrite(driver.writeDWordsWithFN6(d, r.address, r.data, r.highWordFirst), driver);
        break;
    case WriteHRbitWithFN6:
        checkWrite(driver.writeHRbitWithFN6(d, r.address, r.bit, r.data, r.count), driver);
        break;
    case WriteCoils: checkWrite(driver.writeCoils(d, r.address, r.data, r.count), driver); break;
    case WriteCoilsWithFN5:
        checkWrite(driver.writeCoilsWithFN5(d, r.address, r.data, r.count), driver);
        break;
    }
    if (fuzzTrace())
        fprintf(stderr, "transaction %d, %d requests: %s\n", r.transaction, device.writes(),
                driver.hasError() ? qPrintable(driver.getLastError()) : "ok");
    return 0;
}
