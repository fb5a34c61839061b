// Typed write values into runtime data, and read data into labelled rows
// shown as text and JSON.

#include <gtest/gtest.h>

#include <QJsonObject>

#include "host/runtime/runtime_values.h"

namespace {

TEST(WriteValues, BecomeRuntimeOrderBytesWithinTheirTypesRangeOrAreRefusedByName)
{
    const struct { DataType type; QStringList values; const char *bytes; } cases[] = { // null: the last is refused
        {WordData, {"1", "0x1234", "-1", "65535", "-32768"}, "0100 3412 FFFF FFFF 0080"},
        {ByteData, {"0x11", "255", "-128"}, "11FF80"},
        {BlockData, {"1", "2"}, "0102"},
        {DoubleWordData, {"0x12345678", "4294967295", "-2147483648"}, "78563412 FFFFFFFF 00000080"},
        {DoubleWordData, {"1.5", "2e0"}, "0000C03F 00000040"}, // floats
        {BitData, {"1", "0", "on", "off", "true", "false", "1", "1", "1"}, "D501"},
        {WordData, {"1", "65536"}, nullptr}, {WordData, {"-32769"}, nullptr}, {WordData, {"0x10000"}, nullptr},
        {WordData, {"1.5"}, nullptr},        {WordData, {"abc"}, nullptr},    {ByteData, {"256"}, nullptr},
        {ByteData, {"-129"}, nullptr},       {BitData, {"2"}, nullptr},       {BitData, {"yes"}, nullptr},
        {DoubleWordData, {"4294967296"}, nullptr}, {DoubleWordData, {"1.2.3"}, nullptr},
        {DoubleWordData, {"0x1p3"}, nullptr},      {WordData, {}, nullptr},
    };
    for (const auto &c : cases) {
        QByteArray data;
        QString error;
        const bool ok = encodeWriteValues(c.type, c.values, &data, &error);
        EXPECT_EQ(ok, c.bytes != nullptr) << c.values.join(' ').toStdString();
        EXPECT_TRUE(ok ? data == QByteArray::fromHex(c.bytes) : error.contains(c.values.value(c.values.size() - 1)))
            << c.values.join(' ').toStdString() << ": " << (data.toHex() + error).toStdString();
    }
}

QList<ValueRow> decode(const char *address, DataType type, int count, const QByteArray &data)
{
    DeviceAddress parsed;
    QString error;
    parseDeviceAddress(QLatin1String(address), &parsed, &error);
    return decodeReadValues(parsed, type, count, data);
}

TEST(ReadValues, CarryTheAddressOfEveryItemAndOnlyTheItemsTheDataHolds)
{
    const struct { const char *address; DataType type; int count; int bytes; const char *labels; } cases[] = {
        {"HR100", WordData, 3, 6, "HR100 HR101 HR102"}, {"IR5", DoubleWordData, 2, 8, "IR5 IR7"},
        {"IR5", DoubleWordData, 1, 3, ""},              {"HR10", ByteData, 3, 3, "HR10.lo HR10.hi HR11.lo"},
        {"DI9", BlockData, 2, 2, "DI9-16 DI17-24"},     {"HR1.14", BitData, 4, 1, "HR1.14 HR1.15 HR2.0 HR2.1"},
        {"DO17", BitData, 2, 1, "DO17 DO18"},           {"DO1", BitData, 10, 1, "DO1 DO2 DO3 DO4 DO5 DO6 DO7 DO8"},
    };
    for (const auto &c : cases) {
        QStringList labels;
        for (const ValueRow &row : decode(c.address, c.type, c.count, QByteArray(c.bytes, '\0')))
            labels.append(row.address);
        EXPECT_EQ(labels.join(' '), QLatin1String(c.labels)) << c.address;
    }
}

TEST(ReadValues, ShowUnsignedSignedHexAndFloatAsTextAndJson)
{
    EXPECT_EQ(formatRowsAsJson(decode("HR1", WordData, 2, QByteArray::fromHex("FEFF0A00"))),
              QJsonArray({QJsonObject({{"address", "HR1"}, {"unsigned", 65534}, {"signed", -2}, {"hex", "0xFFFE"}}),
                          QJsonObject({{"address", "HR2"}, {"unsigned", 10}, {"signed", 10}, {"hex", "0x000A"}})}));
    EXPECT_EQ(formatRowsAsText(DoubleWordData, decode("HR1", DoubleWordData, 1, QByteArray::fromHex("0000C0BF"))),
              QStringLiteral("address            unsigned       signed  hex        float\n"
                             "HR1              3217031168  -1077936128  0xBFC00000 -1.5\n"));
    EXPECT_EQ(formatRowsAsText(ByteData, decode("DI1", ByteData, 1, QByteArray::fromHex("85"))),
              QStringLiteral("address            unsigned       signed  hex        binary\n"
                             "DI1-8                   133         -123  0x85       10000101\n"));
    EXPECT_EQ(formatRowsAsText(BitData, decode("DI1", BitData, 3, QByteArray::fromHex("05"))),
              QStringLiteral("DI1            1\nDI2            0\nDI3            1\n"));
    const QJsonArray nan = formatRowsAsJson(decode("HR1", DoubleWordData, 1, QByteArray::fromHex("0000C07F")));
    EXPECT_TRUE(nan[0].toObject().value(QStringLiteral("float")).isNull()) << "JSON has no NaN";
    EXPECT_EQ(formatRowsAsJson(decode("DI1", BitData, 2, QByteArray::fromHex("02"))),
              QJsonArray({QJsonObject({{"address", "DI1"}, {"value", 0}}), QJsonObject({{"address", "DI2"}, {"value", 1}})}));
}

} // namespace
