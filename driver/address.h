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

#endif // ADDRESS_H
