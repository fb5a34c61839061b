#include "host/runtime/runtime_values.h"

#include <QJsonObject>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kWordSize = 2;
constexpr int kDWordSize = 4;
constexpr int kLabelWidth = 14;
constexpr int kNumberWidth = 12;

struct IntegerRange
{
    const char *kind;
    qint64 min;
    qint64 max; // also the largest hexadecimal value
};

const IntegerRange kByteRange = {"byte", -128, 0xFF};
const IntegerRange kWordRange = {"word", -32768, 0xFFFF};
const IntegerRange kDWordRange = {"double word", std::numeric_limits<qint32>::min(), 0xFFFFFFFFLL};

// Decimal with an optional sign, or 0x hexadecimal; within the range.
bool parseInteger(const QString &text, const IntegerRange &range, qint64 *value)
{
    bool ok = false;
    qint64 parsed;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        parsed = qint64(text.mid(2).toULongLong(&ok, 16));
    else
        parsed = text.toLongLong(&ok, 10);
    if (!ok || parsed < range.min || parsed > range.max)
        return false;
    *value = parsed;
    return true;
}

QString rangeError(const QString &text, const IntegerRange &range)
{
    return QStringLiteral("value '%1' is not a %2 (%3..%4 or 0x0..0x%5)")
        .arg(text, QLatin1String(range.kind))
        .arg(range.min)
        .arg(range.max)
        .arg(QString::number(range.max, 16).toUpper());
}

bool looksLikeFloat(const QString &text)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return false;
    return text.contains(QLatin1Char('.')) || text.contains(QLatin1Char('e'), Qt::CaseInsensitive)
           || text.compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0
           || text.endsWith(QLatin1String("inf"), Qt::CaseInsensitive);
}

bool parseBit(const QString &text, bool *bit)
{
    static const QStringList on = {QStringLiteral("1"), QStringLiteral("on"), QStringLiteral("true")};
    static const QStringList off = {QStringLiteral("0"), QStringLiteral("off"), QStringLiteral("false")};
    if (on.contains(text, Qt::CaseInsensitive)) {
        *bit = true;
        return true;
    }
    if (off.contains(text, Qt::CaseInsensitive)) {
        *bit = false;
        return true;
    }
    return false;
}

void appendLittleEndian(QByteArray *data, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        data->append(char((value >> (8 * i)) & 0xFF));
}

bool encodeBits(const QStringList &values, QByteArray *data, QString *error)
{
    data->fill('\0', (values.size() + 7) / 8);
    for (int i = 0; i < values.size(); ++i) {
        bool bit = false;
        if (!parseBit(values[i], &bit)) {
            *error = QStringLiteral("value '%1' is not a bit (0, 1, on, off)").arg(values[i]);
            return false;
        }
        if (bit)
            (*data)[i / 8] = char((*data)[i / 8] | (1 << (i % 8)));
    }
    return true;
}

bool encodeDWord(const QString &text, QByteArray *data, QString *error)
{
    quint32 bits = 0;
    if (looksLikeFloat(text)) {
        bool ok = false;
        const float value = text.toFloat(&ok);
        if (!ok) {
            *error = QStringLiteral("value '%1' is not a float").arg(text);
            return false;
        }
        std::memcpy(&bits, &value, sizeof bits);
    } else {
        qint64 value = 0;
        if (!parseInteger(text, kDWordRange, &value)) {
            *error = rangeError(text, kDWordRange) + QStringLiteral(" nor a float");
            return false;
        }
        bits = quint32(value);
    }
    appendLittleEndian(data, bits, kDWordSize);
    return true;
}

QString hexText(quint64 value, int byteWidth)
{
    return QLatin1String("0x") + QStringLiteral("%1").arg(value, qMax(byteWidth, 1) * 2, 16, QLatin1Char('0')).toUpper();
}

QString binaryText(quint64 value)
{
    return QStringLiteral("%1").arg(value, 8, 2, QLatin1Char('0'));
}

ValueRow integerRow(const QString &address, quint64 value, int width)
{
    ValueRow row;
    row.address = address;
    row.byteWidth = width;
    row.unsignedValue = value;
    const int bits = 8 * width;
    // A bit row (width 0) has no sign bit: its signed value is the bit itself.
    if (bits <= 0 || bits >= 64) {
        row.signedValue = qint64(value);
        return row;
    }
    const quint64 signBit = quint64(1) << (bits - 1);
    row.signedValue = (value & signBit) ? qint64(value) - qint64(quint64(1) << bits) : qint64(value);
    return row;
}

// Address of item i when items step through a register area or a bit area.
QString registerLabel(const DeviceAddress &address, int registerOffset)
{
    return areaName(address.area) + QString::number(address.number + registerOffset);
}

QString bitLabel(const DeviceAddress &address, int i)
{
    if (!isRegisterArea(address.area))
        return registerLabel(address, i);
    const int bit = qMax(address.bit, 0) + i;
    return QStringLiteral("%1.%2").arg(registerLabel(address, bit / kBitsPerRegister)).arg(bit % kBitsPerRegister);
}

QString byteLabel(const DeviceAddress &address, int i)
{
    if (isRegisterArea(address.area))
        return registerLabel(address, i / 2) + (i % 2 ? QStringLiteral(".hi") : QStringLiteral(".lo"));
    const int first = address.number + 8 * i;
    return QStringLiteral("%1%2-%3").arg(areaName(address.area)).arg(first).arg(first + 7);
}

quint64 littleEndianAt(const QByteArray &data, int offset, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | uchar(data[offset + i]);
    return value;
}

} // namespace

bool encodeWriteValues(DataType type, const QStringList &values, QByteArray *data, QString *error)
{
    data->clear();
    if (values.isEmpty()) {
        *error = QStringLiteral("write needs at least one value");
        return false;
    }
    if (type == BitData)
        return encodeBits(values, data, error);
    for (const QString &text : values) {
        if (type == DoubleWordData) {
            if (!encodeDWord(text, data, error))
                return false;
            continue;
        }
        const IntegerRange &range = type == WordData ? kWordRange : kByteRange;
        const int width = type == WordData ? kWordSize : 1;
        qint64 value = 0;
        if (!parseInteger(text, range, &value)) {
            *error = rangeError(text, range);
            return false;
        }
        appendLittleEndian(data, quint64(value), width);
    }
    return true;
}

QList<ValueRow> decodeReadValues(const DeviceAddress &address, DataType type, int count, const QByteArray &data)
{
    QList<ValueRow> rows;
    if (type == BitData) {
        for (int i = 0; i < count && i / 8 < data.size(); ++i)
            rows.append(integerRow(bitLabel(address, i), (uchar(data[i / 8]) >> (i % 8)) & 1, 0));
        return rows;
    }
    const int width = type == WordData ? kWordSize : type == DoubleWordData ? kDWordSize : 1;
    for (int i = 0; i < count && (i + 1) * width <= data.size(); ++i) {
        const quint64 value = littleEndianAt(data, i * width, width);
        if (width == 1) {
            rows.append(integerRow(byteLabel(address, i), value, width));
            continue;
        }
        ValueRow row = integerRow(registerLabel(address, i * width / kWordSize), value, width);
        if (width == kDWordSize) {
            const quint32 bits = quint32(value);
            row.hasFloat = true;
            std::memcpy(&row.floatValue, &bits, sizeof bits);
        }
        rows.append(row);
    }
    return rows;
}

QString formatRowsAsText(DataType type, const QList<ValueRow> &rows)
{
    QString text;
    if (type == BitData) {
        for (const ValueRow &row : rows)
            text += QStringLiteral("%1 %2\n").arg(row.address, -kLabelWidth).arg(row.unsignedValue);
        return text;
    }
    const bool bytes = type == ByteData || type == BlockData;
    text += QStringLiteral("%1 %2 %3  %4").arg(QStringLiteral("address"), -kLabelWidth)
                .arg(QStringLiteral("unsigned"), kNumberWidth)
                .arg(QStringLiteral("signed"), kNumberWidth)
                .arg(QStringLiteral("hex"), -10);
    text += type == DoubleWordData ? QStringLiteral(" float") : bytes ? QStringLiteral(" binary") : QString();
    text = text.trimmed() + QLatin1Char('\n');
    for (const ValueRow &row : rows) {
        QString line = QStringLiteral("%1 %2 %3  %4").arg(row.address, -kLabelWidth)
                           .arg(row.unsignedValue, kNumberWidth)
                           .arg(row.signedValue, kNumberWidth)
                           .arg(hexText(row.unsignedValue, row.byteWidth), -10);
        if (row.hasFloat)
            line += QLatin1Char(' ') + QString::number(double(row.floatValue), 'g', 9);
        else if (bytes)
            line += QLatin1Char(' ') + binaryText(row.unsignedValue);
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

QJsonArray formatRowsAsJson(const QList<ValueRow> &rows)
{
    QJsonArray array;
    for (const ValueRow &row : rows) {
        QJsonObject object;
        object.insert(QStringLiteral("address"), row.address);
        if (row.byteWidth == 0) {
            object.insert(QStringLiteral("value"), int(row.unsignedValue));
        } else {
            object.insert(QStringLiteral("unsigned"), double(row.unsignedValue));
            object.insert(QStringLiteral("signed"), double(row.signedValue));
            object.insert(QStringLiteral("hex"), hexText(row.unsignedValue, row.byteWidth));
        }
        if (row.hasFloat) {
            // JSON has no NaN or infinity: those become null.
            object.insert(QStringLiteral("float"), std::isfinite(row.floatValue) ? QJsonValue(double(row.floatValue))
                                                                                 : QJsonValue());
        }
        array.append(object);
    }
    return array;
}
