#ifndef TEST_FRAMES_H
#define TEST_FRAMES_H

// Frames in tests are written as hex text; CRCs are computed here, bit by
// bit, independently of the driver's table-driven routine.

#include <QByteArray>
#include <QStringList>

// "01 03 00 63" (blanks optional) -> bytes.
QByteArray hex(const char *text);
// bytes -> "01 03 00 63", upper case, one blank between bytes.
QString toHex(const QByteArray &bytes);
// Modbus CRC-16 computed bit by bit (reflected 0xA001, initial 0xFFFF): the
// oracle of the tests and fuzz targets, independent of the product's tables.
unsigned short bitwiseCrc16(const char *data, int length);
unsigned short bitwiseCrc16(const QByteArray &bytes);
// The frame with its CRC appended, low byte first.
QByteArray withCrc(const QByteArray &frame);
// Shorthand: withCrc(hex(text)).
QByteArray rtu(const char *text);
// Each frame as rtu completes it.
QList<QByteArray> rtuFrames(const QList<const char *> &frames);
// The big-endian 16-bit field at offset of a frame.
int field(const QByteArray &frame, int offset);

#endif // TEST_FRAMES_H
