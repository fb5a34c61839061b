// The runtime's write request: database gate, one parse of the address, then
// per attempt the data fitted to the command and one transaction chosen by
// data type and area prefix.

#include "address.h"
#include "area_prefix.h"
#include "modbus_rtu_slave_over_tcp.h"
#include "../tools/tools.h"

namespace {

// What every write transaction may need of one request.
struct WriteRequest
{
    AbstractDeviceInterface *device;
    unsigned short number;
    unsigned char bit;
    QByteArray data; // fitted to the command's size
    int count;
    bool highWordFirst;
};

using Driver = DriverModbusRtuSlaveOverTcp;

// The write transactions, one per data type and area.
enum class WriteTransaction {
    None,
    DoubleWords,
    DoubleWordsWithFN6,
    Words,
    WordsWithFN6,
    Bytes,
    BytesWithFN6,
    RegisterBitsWithFN6,
    CoilsWithFN5,
    Coils,
    RegisterBits
};

// Runs the transaction on the request. The calls are direct, so that the
// transaction is compiled into the dispatcher and the request waits for its
// reply fewer calls deep.
bool perform(Driver &d, WriteTransaction transaction, const WriteRequest &r)
{
    switch (transaction) {
    case WriteTransaction::DoubleWords:
        return d.writeDWords(r.device, r.number, r.data, r.highWordFirst);
    case WriteTransaction::DoubleWordsWithFN6:
        return d.writeDWordsWithFN6(r.device, r.number, r.data, r.highWordFirst);
    case WriteTransaction::Words:
        return d.writeWords(r.device, r.number, r.data);
    case WriteTransaction::WordsWithFN6:
        return d.writeWordsWithFN6(r.device, r.number, r.data);
    case WriteTransaction::Bytes:
        return d.writeBytes(r.device, r.number, r.data);
    case WriteTransaction::BytesWithFN6:
        return d.writeBytesWithFN6(r.device, r.number, r.data);
    case WriteTransaction::RegisterBitsWithFN6:
        return d.writeHRbitWithFN6(r.device, r.number, r.bit, r.data, r.count);
    case WriteTransaction::CoilsWithFN5:
        return d.writeCoilsWithFN5(r.device, r.number, r.data, r.count);
    case WriteTransaction::Coils:
        return d.writeCoils(r.device, r.number, r.data, r.count);
    case WriteTransaction::RegisterBits:
        return d.writeHRbit(r.device, r.number, r.bit, r.data, r.count);
    case WriteTransaction::None:
        break;
    }
    return false;
}

// An area prefix, compared over its own length without regard to case, and
// the transaction it selects.
struct PrefixRoute
{
    const char *prefix;
    WriteTransaction transaction;
};

const PrefixRoute DoubleWordRoutes[] = {
    {"HR", WriteTransaction::DoubleWords},
    {"FN6HR", WriteTransaction::DoubleWordsWithFN6},
};

const PrefixRoute WordRoutes[] = {
    {"HR", WriteTransaction::Words},
    {"FN6HR", WriteTransaction::WordsWithFN6},
};

const PrefixRoute ByteRoutes[] = {
    {"HR", WriteTransaction::Bytes},
    {"FN6HR", WriteTransaction::BytesWithFN6},
};

// FN6HR and FN5DO before DO and HR.
const PrefixRoute BitRoutes[] = {
    {"FN6HR", WriteTransaction::RegisterBitsWithFN6},
    {"FN5DO", WriteTransaction::CoilsWithFN5},
    {"DO", WriteTransaction::Coils},
    {"HR", WriteTransaction::RegisterBits},
};

// The transactions of one data type and the text for a prefix that fits none.
struct TypeRoutes
{
    const PrefixRoute *begin;
    const PrefixRoute *end;
    const char *noRoute;
};

template <size_t N>
TypeRoutes routes(const PrefixRoute (&table)[N], const char *noRoute)
{
    return TypeRoutes{table, table + N, noRoute};
}

// False for data types no write supports.
bool routesForType(unsigned type, TypeRoutes &result)
{
    switch (type) {
    case 0:
    case 6:
        result = routes(BitRoutes, "can't write any bit to %1");
        return true;
    case 1:
    case 5:
        result = routes(ByteRoutes, "can't write any byte to %1");
        return true;
    case 2:
        result = routes(WordRoutes, "can't write any word to %1");
        return true;
    case 3:
        result = routes(DoubleWordRoutes, "can't write any double word to %1");
        return true;
    default:
        return false;
    }
}

WriteTransaction findTransaction(const TypeRoutes &routes, const QByteArray &prefix)
{
    for (const PrefixRoute *route = routes.begin; route != routes.end; ++route) {
        if (area_prefix::startsWith(prefix, route->prefix))
            return route->transaction;
    }
    return WriteTransaction::None;
}

} // namespace

bool DriverModbusRtuSlaveOverTcp::write(AbstractDeviceInterface *device,
                                        const CommunicatorCommand &command, const QByteArray &data)
{
    if (!ensureValidBitAddresses(device))
        return false;

    const QString address = command.address();
    const DeviceAddress at = ParseDeviceAddress(address);
    const unsigned type = unsigned(command.dataType());

    bool result = false;
    const bool ranToTheEnd = runAttempts(device, [&]() {
        result = false;
        TypeRoutes routes;
        if (!routesForType(type, routes)) {
            setCommError(QStringLiteral("unsupported data type: ") + address);
            return false;
        }
        const WriteTransaction transaction = findTransaction(routes, at.prefix);
        if (transaction == WriteTransaction::None) {
            // Counts as a failed attempt: retried like one.
            setCommError(QString::fromLatin1(routes.noRoute).arg(address));
            return true;
        }
        const WriteRequest request{device, at.number, at.bit, ToSafeData(command, data),
                                   command.count(), at.highWordFirst};
        result = perform(*this, transaction, request);
        return true;
    });
    if (!ranToTheEnd)
        return false;
    if (hasError())
        appendCmdToWriteCommError((unsigned char)device->stationId(), command);
    return result;
}
