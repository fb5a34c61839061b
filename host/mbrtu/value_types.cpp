#include "host/mbrtu/value_types.h"

#include <QRegularExpression>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "host/runtime/device_address.h"

namespace {

constexpr int kBytesPerRegister = kBitsPerRegister / 8;
constexpr int kFloat32Digits = std::numeric_limits<float>::max_digits10; // 9
constexpr int kFloat64Digits = std::numeric_limits<double>::max_digits10; // 17
// Doubles from here on round to infinity as float32, those below it to at
// most the largest float32: that one plus half its last bit.
constexpr double kFloat32Overflow = 0x1.ffffffp127;

struct TypeInfo
{
    int registers;
    bool isSigned;
    bool isFloat;
};

// All three in the order of their enum.
const TypeInfo kTypes[] = {{1, true, false}, {1, false, false}, {2, true, false}, {2, false, false},
                           {2, true, true},  {4, true, false},  {4, false, false}, {4, true, true}};
const char *const kTypeNames[] = {"int16", "uint16", "int32", "uint32", "float32", "int64", "uint64", "float64"};
const char *const kOrderNames[] = {"ABCD", "CDAB", "BADC", "DCBA"};

const TypeInfo &info(NumberType type)
{
    return kTypes[int(type)];
}

// The index of text among the names, either case; -1 when not there.
int indexOfName(const QString &text, const char *const *names, int count)
{
    for (int i = 0; i < count; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The value's top bit, its sign in signed types; and all its bits (for 64
// bits the unsigned arithmetic wraps round to all ones).
quint64 signBit(const TypeInfo &type)
{
    return quint64(1) << (type.registers * kBitsPerRegister - 1);
}

quint64 valueMask(const TypeInfo &type)
{
    return signBit(type) * 2 - 1;
}

// The register that holds word i of the value, words counted from the least
// significant; and the word as that register holds it.
int registerOfWord(int word, int registers, ByteOrder order)
{
    const bool wordsSwapped = order == ByteOrder::CDAB || order == ByteOrder::DCBA;
    return wordsSwapped ? word : registers - 1 - word;
}

quint16 orderBytes(quint16 word, ByteOrder order)
{
    const bool bytesSwapped = order == ByteOrder::BADC || order == ByteOrder::DCBA;
    return bytesSwapped ? quint16((word << 8) | (word >> 8)) : word;
}

void appendValue(quint64 bits, int registers, ByteOrder order, QByteArray *wordData)
{
    QByteArray value(registers * kBytesPerRegister, '\0');
    for (int word = 0; word < registers; ++word) {
        const quint16 reg = orderBytes(quint16(bits >> (word * kBitsPerRegister)), order);
        const int offset = registerOfWord(word, registers, order) * kBytesPerRegister;
        value[offset] = char(reg & 0xFF);
        value[offset + 1] = char(reg >> 8);
    }
    wordData->append(value);
}

quint64 valueAt(const QByteArray &wordData, int first, int registers, ByteOrder order)
{
    quint64 bits = 0;
    for (int word = 0; word < registers; ++word) {
        const int offset = first + registerOfWord(word, registers, order) * kBytesPerRegister;
        const quint16 reg = quint16(uchar(wordData[offset]) | (uchar(wordData[offset + 1]) << 8));
        bits |= quint64(orderBytes(reg, order)) << (word * kBitsPerRegister);
    }
    return bits;
}

// The shortest 'g' form, up to maxDigits significant digits, that reads back
// as the same value (as a float32 when single).
QString floatText(double value, int maxDigits, bool single)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0") : QStringLiteral("0");
    // Whole numbers of up to maxDigits digits in full, 20 rather than 2e+01.
    const double magnitude = std::fabs(value);
    const int wholeDigits = magnitude < std::pow(10.0, maxDigits) ? QString::number(magnitude, 'f', 0).size() : 1;
    for (int digits = 1; digits < maxDigits; ++digits) {
        const QString text = QString::number(value, 'g', qMax(digits, wholeDigits));
        const double back = text.toDouble();
        if (single ? float(back) == float(value) : back == value)
            return text;
    }
    return QString::number(value, 'g', maxDigits);
}

template<typename To, typename From>
To bitCast(From from)
{
    static_assert(sizeof(To) == sizeof(From), "the same size");
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

QString numberText(const TypeInfo &type, quint64 bits)
{
    if (type.isFloat && type.registers == 2)
        return floatText(double(bitCast<float>(quint32(bits))), kFloat32Digits, true);
    if (type.isFloat)
        return floatText(bitCast<double>(bits), kFloat64Digits, false);
    const quint64 sign = signBit(type);
    if (type.isSigned && (bits & sign))
        return QString::number(-qint64(~bits & (sign - 1)) - 1);
    return QString::number(bits);
}

QString rangeText(const TypeInfo &type)
{
    if (type.isFloat) {
        const QString max = type.registers == 2
                                ? QString::number(double(std::numeric_limits<float>::max()), 'g', kFloat32Digits)
                                : QString::number(std::numeric_limits<double>::max(), 'g', kFloat64Digits);
        return QStringLiteral("-%1..%1, nan, inf").arg(max);
    }
    const QString low = type.isSigned ? QStringLiteral("-%1").arg(signBit(type)) : QStringLiteral("0");
    const quint64 high = type.isSigned ? signBit(type) - 1 : valueMask(type);
    return QStringLiteral("%1..%2 or 0x0..0x%3").arg(low).arg(high).arg(QString::number(valueMask(type), 16).toUpper());
}

// Reads text as a float of the type into its bits; false with outOfRange set
// for a number beyond the type.
bool parseFloatBits(const TypeInfo &type, const QString &text, quint64 *bits, bool *outOfRange)
{
    static const QRegularExpression real(
        QStringLiteral("^(nan|[+-]?(inf|([0-9]+\\.?[0-9]*|\\.[0-9]+)(e[+-]?[0-9]+)?))$"),
        QRegularExpression::CaseInsensitiveOption);
    if (!real.match(text).hasMatch())
        return false;
    bool ok = false;
    const double value = text.toDouble(&ok);
    *outOfRange = !ok || (type.registers == 2 && std::isfinite(value) && std::fabs(value) >= kFloat32Overflow);
    if (*outOfRange)
        return false;
    *bits = type.registers == 2 ? bitCast<quint32>(float(value)) : bitCast<quint64>(value);
    return true;
}

// Reads text as an integer of the type, decimal or 0x hexadecimal (the
// value's bits), into its bits; false with outOfRange set for a number beyond
// the type.
bool parseIntegerBits(const TypeInfo &type, const QString &text, quint64 *bits, bool *outOfRange)
{
    static const QRegularExpression integer(QStringLiteral("^([+-]?[0-9]+|0x[0-9a-f]+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!integer.match(text).hasMatch())
        return false;
    const quint64 mask = valueMask(type);
    const quint64 sign = signBit(type);
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        *bits = text.mid(2).toULongLong(&ok, 16);
        ok = ok && *bits <= mask;
    } else if (text.startsWith(QLatin1Char('-'))) {
        // Signed types go down to minus the sign bit's weight, unsigned ones only to -0.
        const qint64 number = text.toLongLong(&ok);
        ok = ok && (type.isSigned ? number >= -qint64(sign - 1) - 1 : number == 0);
        *bits = quint64(number) & mask;
    } else {
        *bits = text.toULongLong(&ok);
        ok = ok && *bits <= (type.isSigned ? sign - 1 : mask);
    }
    *outOfRange = !ok;
    return ok;
}

} // namespace

bool parseNumberType(const QString &text, NumberType *type)
{
    const int i = indexOfName(text, kTypeNames, int(std::size(kTypeNames)));
    if (i >= 0)
        *type = NumberType(i);
    return i >= 0;
}

bool parseByteOrder(const QString &text, ByteOrder *order)
{
    const int i = indexOfName(text, kOrderNames, int(std::size(kOrderNames)));
    if (i >= 0)
        *order = ByteOrder(i);
    return i >= 0;
}

QString numberTypeName(NumberType type)
{
    return QLatin1String(kTypeNames[int(type)]);
}

QString byteOrderName(ByteOrder order)
{
    return QLatin1String(kOrderNames[int(order)]);
}

int registersPerValue(NumberType type)
{
    return info(type).registers;
}

QStringList decodeNumbers(NumberType type, ByteOrder order, const QByteArray &wordData, int count)
{
    const TypeInfo &typeInfo = info(type);
    const int valueSize = typeInfo.registers * kBytesPerRegister;
    QStringList texts;
    for (int i = 0; i < count && (i + 1) * valueSize <= wordData.size(); ++i)
        texts.append(numberText(typeInfo, valueAt(wordData, i * valueSize, typeInfo.registers, order)));
    return texts;
}

bool encodeNumbers(NumberType type, ByteOrder order, const QStringList &values, QByteArray *wordData,
                   QString *error)
{
    const TypeInfo &typeInfo = info(type);
    const QString name = numberTypeName(type);
    const QString article = name.startsWith(QLatin1Char('i')) ? QStringLiteral("an") : QStringLiteral("a");
    wordData->clear();
    if (values.isEmpty()) {
        *error = QStringLiteral("no %1 value given").arg(name);
        return false;
    }
    for (const QString &text : values) {
        quint64 bits = 0;
        bool outOfRange = false;
        const QString trimmed = text.trimmed();
        if (typeInfo.isFloat ? parseFloatBits(typeInfo, trimmed, &bits, &outOfRange)
                             : parseIntegerBits(typeInfo, trimmed, &bits, &outOfRange)) {
            appendValue(bits, typeInfo.registers, order, wordData);
            continue;
        }
        if (trimmed.isEmpty())
            *error = QStringLiteral("empty value where %1 %2 belongs (%3)").arg(article, name, rangeText(typeInfo));
        else if (outOfRange)
            *error = QStringLiteral("value '%1' is out of range for %2 (%3)").arg(text, name, rangeText(typeInfo));
        else
            *error = QStringLiteral("value '%1' is not %2 %3 (%4)").arg(text, article, name, rangeText(typeInfo));
        wordData->clear();
        return false;
    }
    return true;
}
