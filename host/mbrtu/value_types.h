#ifndef HOST_VALUE_TYPES_H
#define HOST_VALUE_TYPES_H

// Numbers that span one, two or four registers: 16-, 32- and 64-bit
// integers and IEEE floats, laid over their registers in one of the four
// byte orders devices use, between text and the words the driver reads and
// writes.

#include <QByteArray>
#include <QString>
#include <QStringList>

enum class NumberType { Int16, UInt16, Int32, UInt32, Float32, Int64, UInt64, Float64 };

// Byte order of a value over its registers in the common naming: A is the
// most significant byte. ABCD: big-endian (first register holds the high
// word, high byte first); CDAB: words swapped; BADC: bytes swapped inside
// each word; DCBA: little-endian. For 64-bit values the same pattern extends
// over four registers (ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA); for 16-bit
// values ABCD and CDAB are the same, and BADC and DCBA swap the two bytes.
enum class ByteOrder { ABCD, CDAB, BADC, DCBA };

// "int16" .. "float64" and "ABCD" .. "DCBA", either case.
bool parseNumberType(const QString &text, NumberType *type);
bool parseByteOrder(const QString &text, ByteOrder *order);
QString numberTypeName(NumberType type);
QString byteOrderName(ByteOrder order);
int registersPerValue(NumberType type); // 1, 2 or 4

// wordData holds registers as the driver reads them as words: two bytes
// each, low byte first, in register order. One text per value, at most
// count and no more than wordData holds whole: integers in decimal, floats
// in the shortest form that reads back as the same value ("nan", "inf",
// "-inf" where they are not numbers).
QStringList decodeNumbers(NumberType type, ByteOrder order, const QByteArray &wordData, int count);

// The values into wordData as above. Integers in decimal or 0x hexadecimal
// (the value's bits); floats as 1.5, -2e3, 20, nan or inf. False, with the
// value and the type's range in error, for a value that is not a number of
// the type.
bool encodeNumbers(NumberType type, ByteOrder order, const QStringList &values, QByteArray *wordData,
                   QString *error);

#endif // HOST_VALUE_TYPES_H
