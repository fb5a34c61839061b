#ifndef HOST_TEST_UTIL_H
#define HOST_TEST_UTIL_H

// Frames in the host tests are hex text; CRCs come from the host's own CRC.

#include <QByteArray>

#include "host/rtu_crc.h"

// "01 03 00 63" (blanks optional) -> bytes.
inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The frame of the hex text with its CRC appended.
inline QByteArray rtuFrame(const char *text)
{
    return rtu::withCrc(hexBytes(text));
}

#endif // HOST_TEST_UTIL_H
