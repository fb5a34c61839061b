#ifndef HOST_GATEWAY_DRIVER_CALL_H
#define HOST_GATEWAY_DRIVER_CALL_H

// A client's request as the runtime would put it to the driver, and the
// driver's data back as the client's answer. Function 1 reads DO bits, 2 DI
// bits, 3 HR words, 4 IR words; 5 writes one bit at FN5DO, 6 one word at
// FN6HR, 15 bits at DO, 16 words at HR, so that the driver sends the very
// function the client asked for. Bits travel in the runtime's order, which
// is Modbus's (least significant bit first); words are little-endian in the
// runtime and big-endian on the wire. Pure functions.

#include <QByteArray>

#include "host/gateway/pdu_request.h"
#include "settings/communicator_command.h"

namespace gateway {

struct DriverCall
{
    bool write = false;
    CommunicatorCommand command;
    QByteArray data; // what a write hands the driver
};

DriverCall driverCallFor(const PduRequest &request);

// The bytes a read of request must return (0 for a write): a read that
// returned fewer has failed, whatever the driver says.
int readDataBytes(const PduRequest &request);

// The answer PDU of a request that succeeded; readData is what the driver
// returned for a read, readDataBytes() of it (ignored for writes).
QByteArray answerPdu(const PduRequest &request, const QByteArray &readData);

} // namespace gateway

#endif // HOST_GATEWAY_DRIVER_CALL_H
