#include "station_replies.h"

#include "frames.h"

std::function<QByteArray(const QByteArray &)> healthyStation(const QVector<unsigned short> &registers)
{
    return [registers](const QByteArray &request) {
        const int function = request.size() >= 8 ? request.at(1) : 0;
        if (function == 5 || function == 6 || function == 15 || function == 16)
            return withCrc(request.left(6));
        if (function < 1 || function > 4)
            return QByteArray();
        const int start = field(request, 2), quantity = field(request, 4);
        QByteArray reply = request.left(2);
        if (function <= 2) {
            reply.append(char((quantity + 7) / 8)).append(QByteArray(quantity / 8, char(0xFF)));
            if (quantity % 8)
                reply.append(char((1 << (quantity % 8)) - 1));
        } else {
            reply.append(char(2 * quantity));
            for (int i = start; i < start + quantity; ++i) {
                const unsigned short value = i < registers.size() ? registers[i] : 0;
                reply.append(char(value >> 8)).append(char(value & 0xFF));
            }
        }
        return withCrc(reply);
    };
}
