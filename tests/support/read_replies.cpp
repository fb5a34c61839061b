#include "read_replies.h"

#include "frames.h"

namespace {

const int READ_REQUEST_LENGTH = 8;

int bigEndianWord(const QByteArray &bytes, int at)
{
    return ((unsigned char)bytes.at(at) << 8) | (unsigned char)bytes.at(at + 1);
}

} // namespace

ReadRequest parseReadRequest(const QByteArray &request)
{
    if (request.size() != READ_REQUEST_LENGTH)
        return ReadRequest{-1, -1, -1, -1};
    return ReadRequest{(unsigned char)request.at(0), (unsigned char)request.at(1),
                       bigEndianWord(request, 2), bigEndianWord(request, 4)};
}

QByteArray replyToRead(const QByteArray &request, unsigned char fill)
{
    const ReadRequest r = parseReadRequest(request);
    const bool bits = r.function == 1 || r.function == 2;
    const bool registers = r.function == 3 || r.function == 4;
    if (!bits && !registers)
        return QByteArray();
    const int dataBytes = bits ? (r.quantity + 7) / 8 : 2 * r.quantity;
    QByteArray data(dataBytes, char(fill));
    if (bits && r.quantity % 8 != 0)
        data[dataBytes - 1] = char((unsigned char)fill & ((1 << (r.quantity % 8)) - 1));
    QByteArray reply;
    reply.append(char(r.station)).append(char(r.function)).append(char(dataBytes)).append(data);
    return withCrc(reply);
}
