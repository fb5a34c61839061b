#include "host/gateway/pdu_request.h"

namespace gateway {
namespace {

enum class Shape {
    Read,     // address, count
    Single,   // address, value
    Multiple, // address, count, byte count, data
};

struct FunctionRule
{
    quint8 function;
    Shape shape;
    int maxCount;     // items one request may carry
    int bitsPerItem;  // 1 for coils and inputs, 16 for registers
};

// The protocol's limits of one request.
const FunctionRule kFunctions[] = {
    {1, Shape::Read, 2000, 1},  {2, Shape::Read, 2000, 1},    {3, Shape::Read, 125, 16},
    {4, Shape::Read, 125, 16},  {5, Shape::Single, 1, 1},     {6, Shape::Single, 1, 16},
    {15, Shape::Multiple, 1968, 1}, {16, Shape::Multiple, 123, 16},
};

constexpr int kAddressSpace = 65536;
constexpr int kFixedPduSize = 5;     // function, address, count or value
constexpr int kMultipleHeaderSize = 6; // ... and the byte count
constexpr quint16 kCoilOn = 0xFF00;

const FunctionRule *ruleFor(quint8 function)
{
    for (const FunctionRule &rule : kFunctions) {
        if (rule.function == function)
            return &rule;
    }
    return nullptr;
}

quint16 wordAt(const QByteArray &pdu, int at)
{
    return quint16((quint8(pdu[at]) << 8) | quint8(pdu[at + 1]));
}

DecodedPdu exception(int code)
{
    DecodedPdu decoded;
    decoded.verdict = PduVerdict::Exception;
    decoded.exceptionCode = code;
    return decoded;
}

DecodedPdu malformed(const QByteArray &pdu, int expected)
{
    DecodedPdu decoded;
    decoded.reason = QStringLiteral("function %1 with %2 byte(s) of PDU, not %3").arg(quint8(pdu[0])).arg(pdu.size()).arg(expected);
    return decoded;
}

int dataBytes(const FunctionRule &rule, int count)
{
    return (count * rule.bitsPerItem + 7) / 8;
}

} // namespace

DecodedPdu decodePdu(const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return malformed(pdu, kFixedPduSize);
    const FunctionRule *rule = ruleFor(quint8(pdu[0]));
    if (!rule)
        return exception(kIllegalFunction);
    const int expected = rule->shape == Shape::Multiple && pdu.size() > kMultipleHeaderSize - 1
                             ? kMultipleHeaderSize + quint8(pdu[kMultipleHeaderSize - 1])
                             : (rule->shape == Shape::Multiple ? kMultipleHeaderSize : kFixedPduSize);
    if (pdu.size() != expected)
        return malformed(pdu, expected);

    DecodedPdu decoded;
    PduRequest &request = decoded.request;
    request.function = rule->function;
    request.address = wordAt(pdu, 1);
    request.count = rule->shape == Shape::Single ? 1 : wordAt(pdu, 3);
    if (request.count < 1 || request.count > rule->maxCount)
        return exception(kIllegalDataValue);
    if (rule->shape == Shape::Multiple && quint8(pdu[kMultipleHeaderSize - 1]) != dataBytes(*rule, request.count))
        return exception(kIllegalDataValue);
    if (rule->function == 5 && wordAt(pdu, 3) != kCoilOn && wordAt(pdu, 3) != 0)
        return exception(kIllegalDataValue);
    if (int(request.address) + request.count > kAddressSpace)
        return exception(kIllegalDataAddress);
    request.values = rule->shape == Shape::Single ? pdu.mid(3, 2) : pdu.mid(kMultipleHeaderSize);
    decoded.verdict = PduVerdict::Request;
    return decoded;
}

bool isWriteFunction(quint8 function)
{
    const FunctionRule *rule = ruleFor(function);
    return rule && rule->shape != Shape::Read;
}

QByteArray exceptionPdu(quint8 function, int code)
{
    QByteArray pdu;
    pdu.append(char(function | 0x80));
    pdu.append(char(code));
    return pdu;
}

} // namespace gateway
