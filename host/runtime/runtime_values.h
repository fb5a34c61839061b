#ifndef HOST_RUNTIME_VALUES_H
#define HOST_RUNTIME_VALUES_H

// Values between text and the runtime's data buffers: typed write values
// become little-endian runtime data, read data become rows with their
// addresses, shown as unsigned, signed, hexadecimal (and IEEE float for
// double words), as text or JSON. mbrtu and the demo print with these.

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "host/runtime/device_address.h"

// Runtime-order bytes for the values: bits packed least significant first,
// words and double words little-endian. Double words also take floats.
bool encodeWriteValues(DataType type, const QStringList &values, QByteArray *data, QString *error);

struct ValueRow
{
    QString address;
    quint64 unsignedValue = 0;
    qint64 signedValue = 0;
    int byteWidth = 0; // 0 for a bit
    bool hasFloat = false;
    float floatValue = 0;
};

QList<ValueRow> decodeReadValues(const DeviceAddress &address, DataType type, int count, const QByteArray &data);
QString formatRowsAsText(DataType type, const QList<ValueRow> &rows);
QJsonArray formatRowsAsJson(const QList<ValueRow> &rows);

#endif // HOST_RUNTIME_VALUES_H
