// Typed write values into runtime data, and read data into labelled rows.

#include <gtest/gtest.h>

#include <QJsonObject>

#include "host/tool_values.h"
#include "host_test_util.h"

namespace {

TEST(WriteValues, BecomeRuntimeOrderBytes)
{
    const struct
    {
        DataKind kind;
        QStringList values;
        const char *bytes;
    } cases[] = {
        {DataKind::Word, {"1", "0x1234"}, "01 00 34 12"},
        {DataKind::Word, {"-1", "65535", "-32768"}, "FF FF FF FF 00 80"},
        {DataKind::Byte, {"0x11", "255", "-128"}, "11 FF 80"},
        {DataKind::Block, {"1", "2"}, "01 02"},
        {DataKind::DWord, {"0x12345678", "4294967295", "-2147483648"}, "78 56 34 12 FF FF FF FF 00 00 00 80"},
        {DataKind::DWord, {"1.5", "2e0"}, "00 00 C0 3F 00 00 00 40"}, // floats
        {DataKind::Bit, {"1", "0", "on", "off", "true", "false", "1", "1", "1"}, "D5 01"},
    };
    for (const auto &c : cases) {
        QByteArray data;
        QString error;
        ASSERT_TRUE(encodeWriteValues(c.kind, c.values, &data, &error)) << error.toStdString();
        EXPECT_EQ(hexOf(data), hexOf(hexBytes(c.bytes))) << c.values.join(' ').toStdString();
        EXPECT_EQ(data.size(), runtimeDataSize(c.kind, c.values.size()));
    }
}

TEST(WriteValues, RejectWhatDoesNotFitNamingTheValue)
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
    QByteArray data;
    QString error;
    for (const auto &c : cases) {
        EXPECT_FALSE(encodeWriteValues(c.kind, {QLatin1String(c.value)}, &data, &error)) << c.value;
        EXPECT_TRUE(error.contains(QLatin1String(c.value))) << error.toStdString();
    }
    EXPECT_FALSE(encodeWriteValues(DataKind::Word, {}, &data, &error));
}

QList<ValueRow> decode(const char *address, DataKind kind, int count, const QByteArray &data)
{
    ToolAddress parsed;
    QString error;
    parseToolAddress(QLatin1String(address), &parsed, &error);
    return decodeReadValues(parsed, kind, count, data);
}

TEST(ReadValues, CarryTheAddressOfEveryItemAndOnlyTheItemsTheDataHolds)
{
    const struct
    {
        const char *address;
        DataKind kind;
        int count;
        int bytes;
        QStringList labels;
    } cases[] = {
        {"HR100", DataKind::Word, 3, 6, {"HR100", "HR101", "HR102"}},
        {"HR100", DataKind::Word, 3, 3, {"HR100"}},
        {"IR5", DataKind::DWord, 2, 8, {"IR5", "IR7"}},
        {"IR5", DataKind::DWord, 1, 0, {}},
        {"HR10", DataKind::Byte, 3, 3, {"HR10.lo", "HR10.hi", "HR11.lo"}},
        {"DI9", DataKind::Block, 2, 2, {"DI9-16", "DI17-24"}},
        {"HR1.14", DataKind::Bit, 4, 1, {"HR1.14", "HR1.15", "HR2.0", "HR2.1"}},
        {"HR3", DataKind::Bit, 2, 1, {"HR3.0", "HR3.1"}},
        {"DO17", DataKind::Bit, 2, 1, {"DO17", "DO18"}},
        {"DO1", DataKind::Bit, 10, 1, {"DO1", "DO2", "DO3", "DO4", "DO5", "DO6", "DO7", "DO8"}},
    };
    for (const auto &c : cases) {
        QStringList labels;
        for (const ValueRow &row : decode(c.address, c.kind, c.count, QByteArray(c.bytes, '\0')))
            labels.append(row.address);
        EXPECT_EQ(labels, c.labels) << c.address;
    }
}

TEST(ReadValues, ShowUnsignedSignedHexAndFloatAsTextAndJson)
{
    const QList<ValueRow> words = decode("HR1", DataKind::Word, 2, hexBytes("FE FF 34 12"));
    ASSERT_EQ(words.size(), 2);
    EXPECT_TRUE(words[0].unsignedValue == 65534u && words[0].signedValue == -2);
    EXPECT_TRUE(words[1].unsignedValue == 0x1234u && words[1].signedValue == 0x1234);
    const QJsonObject word = formatRowsAsJson(words)[0].toObject();
    EXPECT_EQ(word, QJsonObject({{"address", "HR1"}, {"unsigned", 65534}, {"signed", -2}, {"hex", "0xFFFE"}}));

    const QList<ValueRow> dwords = decode("HR1", DataKind::DWord, 1, hexBytes("00 00 C0 BF"));
    ASSERT_EQ(dwords.size(), 1);
    EXPECT_EQ(dwords[0].signedValue, qint64(qint32(0xBFC00000u)));
    EXPECT_TRUE(dwords[0].hasFloat && dwords[0].floatValue == -1.5f);
    const QString text = formatRowsAsText(DataKind::DWord, dwords);
    EXPECT_TRUE(text.startsWith(QStringLiteral("address")) && text.contains(QStringLiteral("0xBFC00000"))
                && text.contains(QStringLiteral("-1.5"))) << text.toStdString();
    const QJsonArray nan = formatRowsAsJson(decode("HR1", DataKind::DWord, 1, hexBytes("00 00 C0 7F")));
    EXPECT_TRUE(nan[0].toObject().value(QStringLiteral("float")).isNull());

    QList<quint64> bits;
    for (const ValueRow &row : decode("DI1", DataKind::Bit, 10, hexBytes("05 02")))
        bits.append(row.unsignedValue);
    EXPECT_EQ(bits, QList<quint64>({1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(formatRowsAsJson(decode("DI1", DataKind::Bit, 1, hexBytes("01")))[0].toObject().value("value").toInt(), 1);
    EXPECT_TRUE(formatRowsAsText(DataKind::Byte, decode("DI1", DataKind::Byte, 1, hexBytes("0C"))).contains("00001100"));
}

} // namespace
