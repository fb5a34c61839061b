// Typed write values into runtime data, and read data into labelled rows.

#include <gtest/gtest.h>

#include <QJsonObject>

#include "host/tool_values.h"
#include "host_test_util.h"

namespace {

TEST(WriteValues, BecomeRuntimeOrderBytesOrAreRefusedByName)
{
    const struct
    {
        DataKind kind;
        QStringList values;
        const char *bytes; // null: the last value is refused
    } cases[] = {
        {DataKind::Word, {"1", "0x1234"}, "01 00 34 12"},
        {DataKind::Word, {"-1", "65535", "-32768"}, "FF FF FF FF 00 80"},
        {DataKind::Byte, {"0x11", "255", "-128"}, "11 FF 80"},
        {DataKind::Block, {"1", "2"}, "01 02"},
        {DataKind::DWord, {"0x12345678", "4294967295", "-2147483648"}, "78 56 34 12 FF FF FF FF 00 00 00 80"},
        {DataKind::DWord, {"1.5", "2e0"}, "00 00 C0 3F 00 00 00 40"}, // floats
        {DataKind::Bit, {"1", "0", "on", "off", "true", "false", "1", "1", "1"}, "D5 01"},
        {DataKind::Word, {"1", "65536"}, nullptr}, {DataKind::Word, {"-32769"}, nullptr},
        {DataKind::Word, {"0x10000"}, nullptr},    {DataKind::Word, {"1.5"}, nullptr},
        {DataKind::Word, {"abc"}, nullptr},        {DataKind::Byte, {"256"}, nullptr},
        {DataKind::Byte, {"-129"}, nullptr},       {DataKind::Bit, {"2"}, nullptr},
        {DataKind::Bit, {"yes"}, nullptr},         {DataKind::DWord, {"4294967296"}, nullptr},
        {DataKind::DWord, {"1.2.3"}, nullptr},     {DataKind::DWord, {"0x1p3"}, nullptr},
    };
    for (const auto &c : cases) {
        QByteArray data;
        QString error;
        const bool ok = encodeWriteValues(c.kind, c.values, &data, &error);
        EXPECT_EQ(ok, c.bytes != nullptr) << c.values.join(' ').toStdString();
        if (ok)
            EXPECT_EQ(hexOf(data), hexOf(hexBytes(c.bytes))) << c.values.join(' ').toStdString();
        EXPECT_TRUE(ok ? data.size() == runtimeDataSize(c.kind, c.values.size()) : error.contains(c.values.last()))
            << error.toStdString();
    }
    QByteArray data;
    QString error;
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
    EXPECT_EQ(formatRowsAsJson(decode("HR1", DataKind::Word, 2, hexBytes("FE FF 0A 00"))),
              QJsonArray({QJsonObject({{"address", "HR1"}, {"unsigned", 65534}, {"signed", -2}, {"hex", "0xFFFE"}}),
                          QJsonObject({{"address", "HR2"}, {"unsigned", 10}, {"signed", 10}, {"hex", "0x000A"}})}));
    const QString text = formatRowsAsText(DataKind::DWord, decode("HR1", DataKind::DWord, 1, hexBytes("00 00 C0 BF")));
    for (const char *shown : {"address", "3217031168", "-1077936128", "0xBFC00000", "-1.5"})
        EXPECT_TRUE(text.contains(QLatin1String(shown))) << shown << " in:\n" << text.toStdString();
    const QJsonArray nan = formatRowsAsJson(decode("HR1", DataKind::DWord, 1, hexBytes("00 00 C0 7F")));
    EXPECT_TRUE(nan[0].toObject().value(QStringLiteral("float")).isNull());
    QList<quint64> bits;
    for (const ValueRow &row : decode("DI1", DataKind::Bit, 10, hexBytes("05 02"))) {
        bits.append(row.unsignedValue);
        EXPECT_EQ(row.signedValue, qint64(row.unsignedValue)) << "a bit has no sign";
    }
    EXPECT_EQ(bits, QList<quint64>({1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(formatRowsAsJson(decode("DI1", DataKind::Bit, 1, hexBytes("01")))[0].toObject().value("value").toInt(), 1);
}

} // namespace
