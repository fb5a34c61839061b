#include "station_replies.h"

#include <QList>

#include "frames.h"

namespace {

unsigned short bigEndianAt(const QByteArray &frame, int offset)
{
    return (unsigned short)(((unsigned char)frame.at(offset) << 8)
                            | (unsigned char)frame.at(offset + 1));
}

bool isWrite(char function)
{
    return function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10;
}

} // namespace

std::function<QByteArray(const QByteArray &)>
healthyStation(const QVector<unsigned short> &registers)
{
    return [registers](const QByteArray &request) -> QByteArray {
        if (request.size() < 8)
            return QByteArray();
        if (isWrite(request.at(1)))
            return withCrc(request.left(6));
        if (request.at(1) != 0x03)
            return QByteArray();
        const int start = bigEndianAt(request, 2);
        const int count = bigEndianAt(request, 4);
        QByteArray reply = request.left(2);
        reply.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const unsigned short value = start + i < registers.size() ? registers[start + i] : 0;
            reply.append(char(value >> 8));
            reply.append(char(value & 0xFF));
        }
        return withCrc(reply);
    };
}

QStringList hexFrames(const QList<QByteArray> &frames)
{
    QStringList texts;
    for (const QByteArray &frame : frames)
        texts.append(toHex(frame));
    return texts;
}
