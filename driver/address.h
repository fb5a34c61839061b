#ifndef ADDRESS_H
#define ADDRESS_H

#include <QByteArray>
#include <QString>

// Splits a device address such as HR100, FN5DO17 or FN6HR100.3 into its area
// prefix (appended to prefix, case kept), the zero-based number (the written
// number minus 1, modulo 65536; 65535 when missing) and the bit index after a
// point (written only when there is a point; modulo 256).
void ModbusRTUSlaveParseAddress(const QString &address, QByteArray &prefix,
                                unsigned short &number, unsigned char &bit);

// A device address as the dispatchers use it.
struct DeviceAddress
{
    QByteArray prefix;
    unsigned short number = 0;
    unsigned char bit = 0; // 0 unless the address has a point
    bool highWordFirst = false;
};

// Parses the address once for a request; SW anywhere in the text, in any
// case, puts the high-order half of a double word in the first register.
DeviceAddress ParseDeviceAddress(const QString &address);

#endif // ADDRESS_H
