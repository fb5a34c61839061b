#ifndef HOST_GATEWAY_PDU_REQUEST_H
#define HOST_GATEWAY_PDU_REQUEST_H

// A client's protocol data unit, judged before anything reaches the line:
// a request of one of the functions served (1, 2, 3, 4, 5, 6, 15, 16), an
// exception the gateway answers itself (0x01 another function, 0x03 a count
// of 0 or over one request's limit or a value no coil takes, 0x02 addresses
// past 65535), or a PDU whose length does not fit its function, which is a
// broken frame rather than a request. Pure functions over bytes.

#include <QByteArray>
#include <QString>

namespace gateway {

// Exception codes the gateway answers with.
constexpr int kIllegalFunction = 0x01;
constexpr int kIllegalDataAddress = 0x02;
constexpr int kIllegalDataValue = 0x03;
constexpr int kServerDeviceFailure = 0x04;
constexpr int kPathUnavailable = 0x0A;
constexpr int kTargetFailedToRespond = 0x0B;

struct PduRequest
{
    quint8 function = 0;
    quint16 address = 0; // zero-based, as on the wire
    int count = 0;       // items; 1 for functions 5 and 6
    QByteArray values;   // 5 and 6: the value's two bytes; 15: the coil bytes; 16: the registers, big-endian
};

enum class PduVerdict {
    Request,   // serve it
    Exception, // answer exceptionCode without touching the line
    Malformed, // the length does not fit the function: close the client
};

struct DecodedPdu
{
    PduVerdict verdict = PduVerdict::Malformed;
    PduRequest request;
    int exceptionCode = 0;
    QString reason; // with Malformed
};

DecodedPdu decodePdu(const QByteArray &pdu);

bool isWriteFunction(quint8 function);

// The exception answer to function.
QByteArray exceptionPdu(quint8 function, int code);

} // namespace gateway

#endif // HOST_GATEWAY_PDU_REQUEST_H
