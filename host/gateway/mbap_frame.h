#ifndef HOST_GATEWAY_MBAP_FRAME_H
#define HOST_GATEWAY_MBAP_FRAME_H

// Modbus TCP framing, as pure functions over bytes: the MBAP header
// (transaction id, protocol id 0, length, unit id) in front of a protocol
// data unit. takeMbapFrame() looks at the start of what a client has sent
// and finds a whole frame, the need for more bytes, or a header no Modbus
// client sends, which ends that client's connection (a stream that has lost
// its frame boundary cannot be trusted again).

#include <QByteArray>
#include <QString>

namespace gateway {

constexpr int kMbapHeaderSize = 7;  // transaction id, protocol id, length, unit id
constexpr int kMinMbapLength = 2;   // the unit id and a function code
constexpr int kMaxMbapLength = 254; // the unit id and the largest PDU, 253 bytes
constexpr int kMaxMbapFrameSize = kMbapHeaderSize - 1 + kMaxMbapLength;

enum class FrameStatus {
    Complete, // a whole frame starts the input
    NeedMore, // the input is the start of a frame
    Refused,  // the header is no Modbus TCP header
};

struct MbapFrame
{
    FrameStatus status = FrameStatus::NeedMore;
    quint16 transactionId = 0;
    quint8 unitId = 0;
    QByteArray pdu;  // function code and data
    int consumed = 0; // with Complete: the bytes of the input the frame took
    QString refusal;  // with Refused: why
};

MbapFrame takeMbapFrame(const char *data, int size);

// The frame that carries pdu back to the client.
QByteArray mbapFrame(quint16 transactionId, quint8 unitId, const QByteArray &pdu);

} // namespace gateway

#endif // HOST_GATEWAY_MBAP_FRAME_H
