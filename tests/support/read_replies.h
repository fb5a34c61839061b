#ifndef READ_REPLIES_H
#define READ_REPLIES_H

// A slave's answers to read requests, for ScriptedDevice::setResponder.

#include <QByteArray>

// The reply to an 8-byte request of function 1, 2, 3 or 4: station, function,
// byte count, every data byte `fill` (bits past the quantity cleared for
// functions 1 and 2), CRC. Empty for anything else.
QByteArray replyToRead(const QByteArray &request, unsigned char fill = 0xFF);

// Fields of an 8-byte read request.
struct ReadRequest
{
    int station;
    int function;
    int address;
    int quantity;
};
ReadRequest parseReadRequest(const QByteArray &request);

#endif // READ_REPLIES_H
