#ifndef HOST_TEST_UTIL_H
#define HOST_TEST_UTIL_H

// Frames in the host tests are hex text; CRCs come from the simulated slave's.

#include <QByteArray>
#include <QString>

#include "host/sim/sim_slave_core.h"

// "01 03 00 63" (blanks optional) -> bytes.
inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The frame with its CRC appended.
inline QByteArray withCrc(QByteArray frame)
{
    sim::appendCrc(frame);
    return frame;
}

// The frame of the hex text with its CRC appended.
inline QByteArray rtuFrame(const char *text) { return withCrc(hexBytes(text)); }

// Bytes as "01 03 02", for readable failures.
inline QString hexOf(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

#endif // HOST_TEST_UTIL_H
