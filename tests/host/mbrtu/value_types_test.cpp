// Numbers over one, two or four registers in each byte order: known values
// into the words the driver carries (low byte first) and back, and the
// reasons for values that are not numbers of their type.

#include <gtest/gtest.h>

#include "host/mbrtu/value_types.h"

namespace {

using T = NumberType;
using O = ByteOrder;

TEST(ValueTypes, EncodesKnownValuesInEachOrderAndDecodesThemBack)
{
    // wordData in hexadecimal; decoded only where it reads back otherwise than written.
    const struct { T type; O order; const char *text, *wordData, *decoded = nullptr; } cases[] = {
        {T::Float32, O::ABCD, "1", "803F0000"},  {T::Float32, O::CDAB, "1", "0000803F"},
        {T::Float32, O::BADC, "1", "3F800000"},  {T::Float32, O::DCBA, "1", "00003F80"},
        {T::Float32, O::ABCD, "0.1", "CC3DCDCC"}, {T::Float32, O::ABCD, "3.4028235e+38", "7F7FFFFF"},
        {T::Float32, O::ABCD, "-inf", "80FF0000"}, {T::Float32, O::ABCD, "NaN", "C07F0000", "nan"},
        {T::Float32, O::ABCD, "20", "A0410000"},  {T::Float32, O::ABCD, "-0", "00800000"},
        {T::Int16, O::ABCD, "-2", "FEFF"},        {T::Int16, O::DCBA, "-2", "FFFE"},
        {T::Int16, O::CDAB, "0xFFFE", "FEFF", "-2"}, {T::UInt16, O::BADC, "65535", "FFFF"},
        {T::Int32, O::ABCD, "-2147483648", "00800000"}, {T::UInt32, O::ABCD, "4294967295", "FFFFFFFF"},
        {T::UInt32, O::ABCD, "305419896", "34127856"},  {T::UInt32, O::CDAB, "0x12345678", "78563412", "305419896"},
        {T::UInt32, O::BADC, "305419896", "12345678"},  {T::UInt32, O::DCBA, "305419896", "56781234"},
        {T::Int64, O::ABCD, "-9223372036854775808", "0080000000000000"},
        {T::Int64, O::DCBA, "9223372036854775807", "FFFFFFFFFFFF7FFF"},
        {T::UInt64, O::CDAB, "18446744073709551615", "FFFFFFFFFFFFFFFF"},
        {T::UInt64, O::ABCD, "72623859790382856", "0201040306050807"},
        {T::UInt64, O::CDAB, "72623859790382856", "0807060504030201"},
        {T::UInt64, O::BADC, "72623859790382856", "0102030405060708"},
        {T::UInt64, O::DCBA, "72623859790382856", "0708050603040102"},
        {T::Float64, O::ABCD, "1", "F03F000000000000"}, {T::Float64, O::DCBA, "1", "0000000000003FF0"},
        {T::Float64, O::ABCD, "0.1", "B93F999999999A99"}, {T::Float64, O::CDAB, "-2e3", "0000000000409FC0", "-2000"},
    };
    for (const auto &c : cases) {
        const QString what = numberTypeName(c.type) + QLatin1Char(' ') + QLatin1String(c.text);
        QByteArray data;
        QString error;
        ASSERT_TRUE(encodeNumbers(c.type, c.order, {QLatin1String(c.text)}, &data, &error)) << qPrintable(error);
        EXPECT_EQ(data.toHex().toUpper(), QByteArray(c.wordData)) << qPrintable(what);
        EXPECT_EQ(decodeNumbers(c.type, c.order, data, 1), QStringList{QLatin1String(c.decoded ? c.decoded : c.text)})
            << qPrintable(what);
    }
}

TEST(ValueTypes, NamesTypesAndOrdersAndDecodesOnlyWholeValues)
{
    NumberType type = T::Int16;
    ByteOrder order = O::ABCD;
    EXPECT_TRUE(parseNumberType(QStringLiteral("FLOAT64"), &type) && type == T::Float64);
    EXPECT_TRUE(parseByteOrder(QStringLiteral("cdab"), &order) && order == O::CDAB);
    EXPECT_FALSE(parseNumberType(QStringLiteral("int8"), &type) || parseByteOrder(QStringLiteral("ABDC"), &order));
    EXPECT_EQ(registersPerValue(T::UInt16) + registersPerValue(T::Float32) + registersPerValue(T::Int64), 7);
    const QByteArray data = QByteArray::fromHex("0100020003");
    EXPECT_EQ(decodeNumbers(T::Int32, O::CDAB, data, 5), QStringList{QStringLiteral("131073")});
    EXPECT_EQ(decodeNumbers(T::UInt16, O::ABCD, data, 9), (QStringList{"1", "2"}));
}

TEST(ValueTypes, RefusesValuesThatAreNotNumbersOfTheType)
{
    const struct { T type; QStringList values; const char *error; } cases[] = {
        {T::Int16, {"1", "40000"}, "value '40000' is out of range for int16 (-32768..32767 or 0x0..0xFFFF)"},
        {T::Int16, {"0x10000"}, "value '0x10000' is out of range for int16 (-32768..32767 or 0x0..0xFFFF)"},
        {T::UInt16, {"-1"}, "value '-1' is out of range for uint16 (0..65535 or 0x0..0xFFFF)"},
        {T::UInt64, {"18446744073709551616"}, "value '18446744073709551616' is out of range for uint64 "
                                              "(0..18446744073709551615 or 0x0..0xFFFFFFFFFFFFFFFF)"},
        {T::Int32, {"1.5"}, "value '1.5' is not an int32 (-2147483648..2147483647 or 0x0..0xFFFFFFFF)"},
        {T::Float32, {"1e39"}, "value '1e39' is out of range for float32 (-3.40282347e+38..3.40282347e+38, nan, inf)"},
        {T::Float64, {"0x10"}, "value '0x10' is not a float64 "
                               "(-1.7976931348623157e+308..1.7976931348623157e+308, nan, inf)"},
        {T::Int16, {""}, "empty value where an int16 belongs (-32768..32767 or 0x0..0xFFFF)"},
        {T::UInt32, {}, "no uint32 value given"},
    };
    for (const auto &c : cases) {
        QByteArray data("x");
        QString error;
        EXPECT_FALSE(encodeNumbers(c.type, O::ABCD, c.values, &data, &error)) << c.error;
        EXPECT_EQ(error, QLatin1String(c.error));
        EXPECT_TRUE(data.isEmpty());
    }
}

} // namespace
