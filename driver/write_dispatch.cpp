// The runtime's write request: database gate, one parse of the address, then
// per attempt the data fitted to the command and one transaction chosen by
// data type and area prefix.

#include "address.h"
#include "area_prefix.h"
#include "modbus_rtu_slave_over_tcp.h"
#include "../tools/served_data_type.h"
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

// One row per data type and area prefix (compared over its own length without
// regard to case): the transaction that serves it. The first matching row of
// the data type wins.
struct WriteRoute
{
    DataType type;
    const char *prefix;
    bool (*transaction)(Driver &, const WriteRequest &);
};

const WriteRoute WriteRoutes[] = {
    {BitData, "FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeHRbitWithFN6(r.device, r.number, r.bit, r.data, r.count); }},
    {BitData, "FN5DO", [](Driver &d, const WriteRequest &r) {
         return d.writeCoilsWithFN5(r.device, r.number, r.data, r.count); }},
    {BitData, "DO", [](Driver &d, const WriteRequest &r) {
         return d.writeCoils(r.device, r.number, r.data, r.count); }},
    {BitData, "HR", [](Driver &d, const WriteRequest &r) {
         return d.writeHRbit(r.device, r.number, r.bit, r.data, r.count); }},
    {ByteData, "HR", [](Driver &d, const WriteRequest &r) {
         return d.writeBytes(r.device, r.number, r.data); }},
    {ByteData, "FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeBytesWithFN6(r.device, r.number, r.data); }},
    {WordData, "HR", [](Driver &d, const WriteRequest &r) {
         return d.writeWords(r.device, r.number, r.data); }},
    {WordData, "FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeWordsWithFN6(r.device, r.number, r.data); }},
    {DoubleWordData, "HR", [](Driver &d, const WriteRequest &r) {
         return d.writeDWords(r.device, r.number, r.data, r.highWordFirst); }},
    {DoubleWordData, "FN6HR", [](Driver &d, const WriteRequest &r) {
         return d.writeDWordsWithFN6(r.device, r.number, r.data, r.highWordFirst); }},
};

// The item a write of the served data type names in its refusal text; null
// for data types no write supports.
const char *writtenItem(int servedType)
{
    switch (servedType) {
    case BitData:
        return "bit";
    case ByteData:
        return "byte";
    case WordData:
        return "word";
    case DoubleWordData:
        return "double word";
    default:
        return nullptr;
    }
}

const WriteRoute *findRoute(int type, const QByteArray &prefix)
{
    for (const WriteRoute &route : WriteRoutes) {
        if (route.type == type && area_prefix::startsWith(prefix, route.prefix))
            return &route;
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

    const Attempted<bool> last = runAttempts(device, [&]() {
        const int type = servedDataType(command.dataType());
        const char *item = writtenItem(type);
        if (!item) {
            setCommError(QStringLiteral("unsupported data type: ") + address);
            return stopped<bool>();
        }
        const WriteRoute *route = findRoute(type, at.prefix);
        if (!route) {
            // Counts as a failed attempt: retried like one.
            setCommError(QStringLiteral("can't write any %1 to %2").arg(QLatin1String(item), address));
            return Attempted<bool>{AttemptOutcome::Retry, false};
        }
        const WriteRequest request{device, at.number, at.bit, ToSafeData(command, data),
                                   command.count(), at.highWordFirst};
        const bool written = route->transaction(*this, request);
        return judgedByError(hasError(), written);
    });
    if (last.outcome == AttemptOutcome::Retry)
        appendCmdToWriteCommError((unsigned char)device->stationId(), command);
    return last.result;
}
