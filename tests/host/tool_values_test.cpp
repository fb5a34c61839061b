// Typed write values into runtime data, and read data into labelled rows.

#include <gtest/gtest.h>

#include <QJsonObject>
#include <cstring>

#include "host/tool_values.h"
#include "host_test_util.h"

namespace {

struct Encoding
{
    DataKind kind;
    QStringList values;
    const char *bytes; // hex
};

TEST(WriteValues, BecomeRuntimeOrderBytes)
{
    float value = 1.5f;
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    const QByteArray floatBytes = QByteArray::fromRawData(reinterpret_cast<const char *>(&bits), 4);
    const Encoding cases[] = {
        {DataKind::Word, {"1", "0x1234"}, "01 00 34 12"},
        {DataKind::Word, {"-1", "65535", "-32768"}, "FF FF FF FF 00 80"},
        {DataKind::Byte, {"0x11", "255", "-128"}, "11 FF 80"},
        {DataKind::Block, {"1", "2"}, "01 02"},
        {DataKind::DWord, {"0x12345678"}, "78 56 34 12"},
        {DataKind::DWord, {"4294967295", "-2147483648"}, "FF FF FF FF 00 00 00 80"},
        {DataKind::Bit, {"1", "0", "on", "off", "true", "false", "1", "1", "1"}, "D5 01"},
    };
    for (const Encoding &c : cases) {
        QByteArray data;
        QString error;
        ASSERT_TRUE(encodeWriteValues(c.kind, c.values, &data, &error)) << error.toStdString();
        EXPECT_EQ(data, hexBytes(c.bytes)) << c.values.join(' ').toStdString();
        EXPECT_EQ(data.size(), runtimeDataSize(c.kind, c.values.size()));
    }
    QByteArray data;
    QString error;
    ASSERT_TRUE(encodeWriteValues(DataKind::DWord, {"1.5"}, &data, &error));
    EXPECT_EQ(data, floatBytes);
    ASSERT_TRUE(encodeWriteValues(DataKind::DWord, {"2e0"}, &data, &error));
    float decoded;
    std::memcpy(&decoded, data.constData(), 4);
    EXPECT_EQ(decoded, 2.0f);
}

TEST(WriteValues, RejectWhatDoesNotFit)
{
    const struct
    {
        DataKind kind;
        const char *value;
    } cases[] = {
        {DataKind::Word, "65536"}, {DataKind::Word, "-32769"}, {DataKind::Word, "0x10000"},
        {DataKind::Word, "1.5"},   {DataKind::Word, "abc"},    {DataKind::Byte, "256"},
        {DataKind::Byte, "-129"},  {DataKind::Bit, "2"},       {DataKind::Bit, "yes"},
        {DataKind::DWord, "4294967296"}, {DataKind::DWord, "1.2.3"}, {DataKind::DWord, "0x1p3"},
    };
    for (const auto &c : cases) {
        QByteArray data;
        QString error;
        EXPECT_FALSE(encodeWriteValues(c.kind, {QLatin1String(c.value)}, &data, &error)) << c.value;
        EXPECT_TRUE(error.contains(QLatin1String(c.value))) << error.toStdString();
    }
    QByteArray data;
    QString error;
    EXPECT_FALSE(encodeWriteValues(DataKind::Word, {}, &data, &error));
}

ToolAddress address(const char *text)
{
    ToolAddress parsed;
    QString error;
    parseToolAddress(QLatin1String(text), &parsed, &error);
    return parsed;
}

QStringList labels(const QList<ValueRow> &rows)
{
    QStringList result;
    for (const ValueRow &row : rows)
        result.append(row.address);
    return result;
}

TEST(ReadValues, CarryTheAddressOfEveryItem)
{
    EXPECT_EQ(labels(decodeReadValues(address("HR100"), DataKind::Word, 3, hexBytes("00 00 00 00 00 00"))),
              QStringList({"HR100", "HR101", "HR102"}));
    EXPECT_EQ(labels(decodeReadValues(address("IR5"), DataKind::DWord, 2, QByteArray(8, '\0'))),
              QStringList({"IR5", "IR7"}));
    EXPECT_EQ(labels(decodeReadValues(address("HR10"), DataKind::Byte, 3, QByteArray(3, '\0'))),
              QStringList({"HR10.lo", "HR10.hi", "HR11.lo"}));
    EXPECT_EQ(labels(decodeReadValues(address("DI9"), DataKind::Block, 2, QByteArray(2, '\0'))),
              QStringList({"DI9-16", "DI17-24"}));
    EXPECT_EQ(labels(decodeReadValues(address("HR1.14"), DataKind::Bit, 4, QByteArray(1, '\0'))),
              QStringList({"HR1.14", "HR1.15", "HR2.0", "HR2.1"}));
    EXPECT_EQ(labels(decodeReadValues(address("HR3"), DataKind::Bit, 2, QByteArray(1, '\0'))),
              QStringList({"HR3.0", "HR3.1"}));
    EXPECT_EQ(labels(decodeReadValues(address("DO17"), DataKind::Bit, 2, QByteArray(1, '\0'))),
              QStringList({"DO17", "DO18"}));
}

TEST(ReadValues, ShowUnsignedSignedHexAndFloat)
{
    const QList<ValueRow> words = decodeReadValues(address("HR1"), DataKind::Word, 2, hexBytes("FF FF 34 12"));
    ASSERT_EQ(words.size(), 2);
    EXPECT_EQ(words[0].unsignedValue, 65535u);
    EXPECT_EQ(words[0].signedValue, -1);
    EXPECT_EQ(words[1].unsignedValue, 0x1234u);
    EXPECT_EQ(words[1].signedValue, 0x1234);

    const QList<ValueRow> dwords = decodeReadValues(address("HR1"), DataKind::DWord, 1, hexBytes("00 00 C0 BF"));
    ASSERT_EQ(dwords.size(), 1);
    EXPECT_EQ(dwords[0].unsignedValue, 0xBFC00000u);
    EXPECT_EQ(dwords[0].signedValue, qint64(qint32(0xBFC00000u)));
    EXPECT_TRUE(dwords[0].hasFloat);
    EXPECT_EQ(dwords[0].floatValue, -1.5f);

    const QList<ValueRow> bits = decodeReadValues(address("DI1"), DataKind::Bit, 10, hexBytes("05 02"));
    QList<quint64> values;
    for (const ValueRow &row : bits)
        values.append(row.unsignedValue);
    EXPECT_EQ(values, QList<quint64>({1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    for (const ValueRow &row : bits)
        EXPECT_EQ(row.signedValue, qint64(row.unsignedValue)) << "a bit has no sign";

    const QString text = formatRowsAsText(DataKind::DWord, dwords);
    EXPECT_TRUE(text.startsWith(QStringLiteral("address")));
    EXPECT_TRUE(text.contains(QStringLiteral("0xBFC00000")));
    EXPECT_TRUE(text.contains(QStringLiteral("-1.5")));
    EXPECT_TRUE(formatRowsAsText(DataKind::Byte, decodeReadValues(address("DI1"), DataKind::Byte, 1, hexBytes("0C")))
                    .contains(QStringLiteral("00001100")));
}

TEST(ReadValues, ShortDataGivesOnlyTheItemsItHolds)
{
    EXPECT_EQ(decodeReadValues(address("HR1"), DataKind::Word, 4, hexBytes("01 00 02")).size(), 1);
    EXPECT_TRUE(decodeReadValues(address("HR1"), DataKind::DWord, 1, QByteArray()).isEmpty());
    EXPECT_EQ(decodeReadValues(address("DO1"), DataKind::Bit, 16, hexBytes("FF")).size(), 8);
}

TEST(ReadValues, JsonKeepsNumbersAndMarksNonFiniteFloats)
{
    const QJsonArray words = formatRowsAsJson(decodeReadValues(address("HR1"), DataKind::Word, 1, hexBytes("FE FF")));
    ASSERT_EQ(words.size(), 1);
    const QJsonObject word = words[0].toObject();
    EXPECT_EQ(word.value(QStringLiteral("address")).toString(), QStringLiteral("HR1"));
    EXPECT_EQ(word.value(QStringLiteral("unsigned")).toInt(), 65534);
    EXPECT_EQ(word.value(QStringLiteral("signed")).toInt(), -2);
    EXPECT_EQ(word.value(QStringLiteral("hex")).toString(), QStringLiteral("0xFFFE"));
    EXPECT_FALSE(word.contains(QStringLiteral("float")));

    const QJsonArray nan = formatRowsAsJson(decodeReadValues(address("HR1"), DataKind::DWord, 1, hexBytes("00 00 C0 7F")));
    EXPECT_TRUE(nan[0].toObject().value(QStringLiteral("float")).isNull());

    const QJsonArray bit = formatRowsAsJson(decodeReadValues(address("DI1"), DataKind::Bit, 1, hexBytes("01")));
    EXPECT_EQ(bit[0].toObject().value(QStringLiteral("value")).toInt(), 1);
}

} // namespace
