// Byte-wise reads of discrete inputs and coils that touch only the addresses
// the project has configured: each run of consecutive configured addresses is
// one transaction, every other bit of the result stays 0.

#include "modbus_rtu_slave_over_tcp.h"
#include "device_delay.h"
#include "rtu_frame.h"
#include "../tools/tools.h"

#include <QVector>

struct DriverModbusRtuSlaveOverTcp::SparseArea
{
    const char *prefix;                                   // area text for readDIDOs
    int (ModbusBitSet::*contains)(int, unsigned short);   // search in the station's set
    const char *missingStation;                           // %d: the station id
};

namespace {

const int BITS_PER_BYTE = 8;
// A longer read would only revisit the 16-bit address space, whose bits it
// has already covered; it is refused instead of allocating for it.
const int MAX_SPARSE_BYTES = int(ModbusAddressSpace / BITS_PER_BYTE);

// Consecutive configured addresses: the first address, the position of its
// bit in the result and the number of bits.
struct Run
{
    unsigned short address;
    int position;
    int length;
};

// Walks bits positions from start on. A search resumes after the last match,
// so an address after the wrap past 65535 that sorts below that match is not
// found, and no run continues across the wrap.
QVector<Run> configuredRuns(ModbusBitSet &set, int (ModbusBitSet::*contains)(int, unsigned short),
                            unsigned short start, int bits)
{
    QVector<Run> runs;
    bool runOpen = false;
    int searchFrom = 0;
    for (int i = 0; i < bits; ++i) {
        const unsigned short address = (unsigned short)(start + i);
        const int found = (set.*contains)(searchFrom, address);
        if (found < 0) {
            runOpen = false;
            continue;
        }
        if (!runOpen)
            runs.append(Run{address, i, 0});
        runOpen = true;
        ++runs.last().length;
        searchFrom = found + 1;
    }
    return runs;
}

} // namespace

QByteArray DriverModbusRtuSlaveOverTcp::readConfiguredBits(AbstractDeviceInterface *device,
                                                           const SparseArea &area,
                                                           unsigned short start, int count)
{
    const auto entry = validBitAddressesMap.find((unsigned char)device->stationId());
    if (entry == validBitAddressesMap.end()) {
        setCommError(QString::asprintf(area.missingStation, device->stationId()));
        return QByteArray();
    }
    if (count > MAX_SPARSE_BYTES) {
        setCommError(QString::asprintf("can't read %d bytes from %s%u", count, area.prefix,
                                       unsigned(start) + 1));
        return QByteArray();
    }

    // No bytes, or fewer than none: an empty result and no transaction.
    QByteArray result(qMax(count, 0), '\0');
    const QVector<Run> runs =
        configuredRuns(*entry, area.contains, start, result.size() * BITS_PER_BYTE);
    for (int r = 0; r < runs.size(); ++r) {
        // The device's delay separates transactions; the first is not delayed here.
        if (r > 0)
            PauseForDevice(device->delayTime());
        QByteArray bits = readDIDOs(device, QByteArray(area.prefix), runs[r].address, runs[r].length);
        if (bits.isEmpty())
            return QByteArray(); // never a partial result; readDIDOs has set the error
        CopyBits(result, bits, runs[r].position, runs[r].length);
    }
    return result;
}

QByteArray DriverModbusRtuSlaveOverTcp::readBytesFromDI(AbstractDeviceInterface *device,
                                                        unsigned short start, int count)
{
    static const SparseArea discreteInputs = {"DI", &ModbusBitSet::DISetContains,
                                              "invalid address %d-DI"};
    return readConfiguredBits(device, discreteInputs, start, count);
}

QByteArray DriverModbusRtuSlaveOverTcp::readBytesFromDO(AbstractDeviceInterface *device,
                                                        unsigned short start, int count)
{
    static const SparseArea coils = {"DO", &ModbusBitSet::DOSetContains, "invalid address %d-DO"};
    return readConfiguredBits(device, coils, start, count);
}
