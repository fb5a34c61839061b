#include "host/gateway/mbap_frame.h"

namespace gateway {
namespace {

quint16 wordAt(const char *data, int at)
{
    return quint16((quint8(data[at]) << 8) | quint8(data[at + 1]));
}

void putWord(QByteArray &out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

MbapFrame refused(const QString &reason)
{
    MbapFrame frame;
    frame.status = FrameStatus::Refused;
    frame.refusal = reason;
    return frame;
}

} // namespace

MbapFrame takeMbapFrame(const char *data, int size)
{
    MbapFrame frame;
    // The protocol id and the length are judged as soon as they have come,
    // so that garbage is refused at its sixth byte, not after a whole frame.
    if (size >= 4 && wordAt(data, 2) != 0)
        return refused(QStringLiteral("protocol id %1, not 0").arg(wordAt(data, 2)));
    if (size < 6)
        return frame;
    const int length = wordAt(data, 4);
    if (length < kMinMbapLength || length > kMaxMbapLength)
        return refused(QStringLiteral("length %1 outside %2..%3").arg(length).arg(kMinMbapLength).arg(kMaxMbapLength));
    const int total = kMbapHeaderSize - 1 + length;
    if (size < total)
        return frame;
    frame.status = FrameStatus::Complete;
    frame.transactionId = wordAt(data, 0);
    frame.unitId = quint8(data[6]);
    frame.pdu = QByteArray(data + kMbapHeaderSize, total - kMbapHeaderSize);
    frame.consumed = total;
    return frame;
}

QByteArray mbapFrame(quint16 transactionId, quint8 unitId, const QByteArray &pdu)
{
    QByteArray out;
    out.reserve(kMbapHeaderSize + pdu.size());
    putWord(out, transactionId);
    putWord(out, 0);
    putWord(out, quint16(pdu.size() + 1));
    out.append(char(unitId));
    out.append(pdu);
    return out;
}

} // namespace gateway
