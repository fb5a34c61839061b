#ifndef HOST_TOOL_VALUES_H
#define HOST_TOOL_VALUES_H

// Values between the command line and the runtime's buffers: typed write
// values become little-endian runtime data, read data become rows with their
// addresses, shown as unsigned, signed, hexadecimal (and IEEE float for
// double words), as text or JSON.

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "host/tool_address.h"

// Runtime-order bytes for the values: bits packed least significant first,
// words and double words little-endian. Double words also take floats.
bool encodeWriteValues(DataKind kind, const QStringList &values, QByteArray *data, QString *error);

// Bytes of runtime data that count items of the kind take.
int runtimeDataSize(DataKind kind, int count);

struct ValueRow
{
    QString address;
    quint64 unsignedValue = 0;
    qint64 signedValue = 0;
    int byteWidth = 0; // 0 for a bit
    bool hasFloat = false;
    float floatValue = 0;
};

QList<ValueRow> decodeReadValues(const ToolAddress &address, DataKind kind, int count, const QByteArray &data);
QString formatRowsAsText(DataKind kind, const QList<ValueRow> &rows);
QJsonArray formatRowsAsJson(const QList<ValueRow> &rows);

#endif // HOST_TOOL_VALUES_H
