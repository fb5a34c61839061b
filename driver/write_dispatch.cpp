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
using WriteTransaction = bool (*)(Driver &, const WriteRequest &);

// An area prefix, compared over its own length without regard to case, and
// the transaction it selects.
struct PrefixRoute
{
    const char *prefix;
    WriteTransaction transaction;
};

const PrefixRoute DoubleWordRoutes[] = {
    {"HR", [](Driver &d, const WriteRequest &r) {
         return d.writeDWords(r.device, r.number, r.data, r.highWordFirst);
     }},
    {"FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeDWordsWithFN6(r.device, r.number, r.data, r.highWordFirst);
     }},
};

const PrefixRoute WordRoutes[] = {
    {"HR", [](Driver &d, const WriteRequest &r) {
         return d.writeWords(r.device, r.number, r.data);
     }},
    {"FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeWordsWithFN6(r.device, r.number, r.data);
     }},
};

const PrefixRoute ByteRoutes[] = {
    {"HR", [](Driver &d, const WriteRequest &r) {
         return d.writeBytes(r.device, r.number, r.data);
     }},
    {"FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeBytesWithFN6(r.device, r.number, r.data);
     }},
};

// FN6HR and FN5DO before DO and HR.
const PrefixRoute BitRoutes[] = {
    {"FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeHRbitWithFN6(r.device, r.number, r.bit, r.data, r.count);
     }},
    {"FN5DO", [](Driver &d, const WriteRequest &r) {
         return d.writeCoilsWithFN5(r.device, r.number, r.data, r.count);
     }},
    {"DO", [](Driver &d, const WriteRequest &r) {
         return d.writeCoils(r.device, r.number, r.data, r.count);
     }},
    {"HR", [](Driver &d, const WriteRequest &r) {
         return d.writeHRbit(r.device, r.number, r.bit, r.data, r.count);
     }},
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
    return nullptr;
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
        if (!transaction) {
            // Counts as a failed attempt: retried like one.
            setCommError(QString::fromLatin1(routes.noRoute).arg(address));
            return true;
        }
        const WriteRequest request{device, at.number, at.bit, ToSafeData(command, data),
                                   command.count(), at.highWordFirst};
        result = transaction(*this, request);
        return true;
    });
    if (!ranToTheEnd)
        return false;
    if (hasError())
        appendCmdToWriteCommError((unsigned char)device->stationId(), command);
    return result;
}
