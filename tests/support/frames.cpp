#include "frames.h"

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

QString toHex(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

unsigned short bitwiseCrc16(const char *data, int length)
{
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= (unsigned char)data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (unsigned short)((crc >> 1) ^ 0xA001) : (unsigned short)(crc >> 1);
    }
    return crc;
}

unsigned short bitwiseCrc16(const QByteArray &bytes) { return bitwiseCrc16(bytes.constData(), bytes.size()); }

QByteArray withCrc(const QByteArray &frame)
{
    const unsigned short crc = bitwiseCrc16(frame);
    return QByteArray(frame).append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray rtu(const char *text) { return withCrc(hex(text)); }

QList<QByteArray> rtuFrames(const QList<const char *> &frames)
{
    QList<QByteArray> bytes;
    for (const char *frame : frames)
        bytes.append(rtu(frame));
    return bytes;
}

int field(const QByteArray &frame, int offset)
{
    return ((unsigned char)frame.at(offset) << 8) | (unsigned char)frame.at(offset + 1);
}
