#include "host/gateway/driver_call.h"

#include "settings/data_type.h"

namespace gateway {
namespace {

struct Route
{
    quint8 function;
    bool write;
    int dataType;
    const char *area;
};

const Route kRoutes[] = {
    {1, false, BitData, "DO"},    {2, false, BitData, "DI"},     {3, false, WordData, "HR"},
    {4, false, WordData, "IR"},   {5, true, BitData, "FN5DO"},   {6, true, WordData, "FN6HR"},
    {15, true, BitData, "DO"},    {16, true, WordData, "HR"},
};

const Route &routeFor(quint8 function)
{
    for (const Route &route : kRoutes) {
        if (route.function == function)
            return route;
    }
    return kRoutes[0]; // decodePdu lets only the functions above through
}

// Swaps the bytes of every word: big-endian registers to little-endian, and back.
QByteArray swapWordBytes(const QByteArray &words)
{
    QByteArray swapped(words.size() & ~1, '\0');
    for (int i = 0; i + 1 < words.size(); i += 2) {
        swapped[i] = words[i + 1];
        swapped[i + 1] = words[i];
    }
    return swapped;
}

void putWord(QByteArray &out, int value)
{
    out.append(char((value >> 8) & 0xFF));
    out.append(char(value & 0xFF));
}

// Bits past count in the last byte are sent as 0.
QByteArray coilBytes(const QByteArray &bits, int count)
{
    QByteArray bytes = bits.left((count + 7) / 8);
    if (count % 8)
        bytes[bytes.size() - 1] = char(quint8(bytes.back()) & ((1 << (count % 8)) - 1));
    return bytes;
}

} // namespace

DriverCall driverCallFor(const PduRequest &request)
{
    const Route &route = routeFor(request.function);
    DriverCall call;
    call.write = route.write;
    call.command = CommunicatorCommand(route.dataType, request.count,
                                       QLatin1String(route.area) + QString::number(int(request.address) + 1));
    switch (request.function) {
    case 5:
        call.data = QByteArray(1, quint8(request.values.at(0)) == 0xFF ? '\1' : '\0');
        break;
    case 6:
    case 16:
        call.data = swapWordBytes(request.values);
        break;
    case 15:
        call.data = request.values;
        break;
    default:
        break;
    }
    return call;
}

int readDataBytes(const PduRequest &request)
{
    if (isWriteFunction(request.function))
        return 0;
    return request.function <= 2 ? (request.count + 7) / 8 : 2 * request.count;
}

QByteArray answerPdu(const PduRequest &request, const QByteArray &readData)
{
    QByteArray pdu(1, char(request.function));
    switch (request.function) {
    case 1:
    case 2: {
        const QByteArray bytes = coilBytes(readData, request.count);
        pdu.append(char(bytes.size()));
        pdu.append(bytes);
        break;
    }
    case 3:
    case 4: {
        const QByteArray words = swapWordBytes(readData.left(2 * request.count));
        pdu.append(char(words.size()));
        pdu.append(words);
        break;
    }
    case 5:
    case 6:
        putWord(pdu, request.address);
        pdu.append(request.values);
        break;
    default: // 15 and 16
        putWord(pdu, request.address);
        putWord(pdu, request.count);
        break;
    }
    return pdu;
}

} // namespace gateway
