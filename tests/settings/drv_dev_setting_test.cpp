// The device and driver settings: their streams byte for byte, the rule for
// the current socket index, the socket accessors and the dump lines.

#include <gtest/gtest.h>

#include <QDataStream>
#include <QStringList>
#include <tuple>

#include "settings/drv_dev_setting.h"
#include "support/qt_printers.h"

namespace {

DeviceSetting twoSocketSetting()
{
    DeviceSetting setting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2, 7,
                          QStringLiteral("extra"));
    setting.setSocketData({{QStringLiteral("10.0.0.1"), QStringLiteral("502")},
                           {QStringLiteral("10.0.0.2"), QStringLiteral("503")}});
    setting.setCurrentIPIndex(1);
    setting.linkID = 4;
    return setting;
}

DeviceSetting emptySetting() { return DeviceSetting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0); }

template <typename T>
QByteArray streamed(const T &value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return bytes;
}

template <typename T>
T readBack(const QByteArray &bytes, T value)
{
    QDataStream in(bytes);
    in >> value;
    return value;
}

QStringList captured;
template <typename T>
QStringList dumped(const T &setting)
{
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &line) { captured.append(line); });
    setting.dump();
    qInstallMessageHandler(previous);
    return captured;
}

} // namespace

TEST(DeviceSettingStream, IsByteExactAndReadsBackWithTheIndexRule)
{
    const QByteArray bytes = streamed(twoSocketSetting());
    EXPECT_EQ(bytes.toHex(), QByteArray("00000010"                         // type
                                        "00000008" "0043004f004d0032"       // "COM2"
                                        "00002580" "00000008" "00000000" "00000002" // serial line
                                        "00000007" "00000004" "00000001"    // extraValue, linkID, index
                                        "00000002"                         // two sockets
                                        "00000010" "00310030002e0030002e0030002e0031" "01f6"
                                        "00000010" "00310030002e0030002e0030002e0032" "01f7"));

    // The index is checked against the sockets held before the stream's list.
    const DeviceSetting fresh = readBack(bytes, emptySetting());
    EXPECT_EQ(fresh.sockets, twoSocketSetting().sockets);
    EXPECT_EQ(fresh.currentIPIndex, 0);
    EXPECT_EQ(std::make_tuple(fresh.deviceString, fresh.baudrate, fresh.linkID, fresh.extraValue),
              std::make_tuple(QStringLiteral("COM2"), 9600, 4, 7));
    EXPECT_TRUE(fresh.extraText.isNull()) << "extraText is not streamed";
    DeviceSetting holding = twoSocketSetting();
    holding.setCurrentIPIndex(0);
    EXPECT_EQ(readBack(bytes, holding).port(-1), 503);
}

namespace {

// The fields before the socket list read one by one, then the list with the
// framework's own list reader: the reference for the record's list reading.
struct ReferenceRead
{
    QList<QPair<QString, unsigned short> > sockets;
    QDataStream::Status status;
};

ReferenceRead referenceRead(const QByteArray &bytes)
{
    QDataStream in(bytes);
    qint32 number = 0;
    QString text;
    in >> number >> text;
    for (int i = 0; i < 7; ++i)
        in >> number;
    ReferenceRead result;
    in >> result.sockets;
    result.status = in.status();
    return result;
}

QByteArray withSocketCount(QByteArray bytes, quint32 count)
{
    // type 4, "COM2" 4 + 8, seven integers 28: the count follows at 44.
    for (int i = 0; i < 4; ++i)
        bytes[44 + i] = char(count >> (24 - 8 * i));
    return bytes;
}

} // namespace

TEST(DeviceSettingStream, SocketListReadsAsTheFrameworkReadsLists)
{
    const QByteArray whole = streamed(twoSocketSetting());
    QList<QByteArray> streams;
    for (int cut = 0; cut <= whole.size(); ++cut)
        streams.append(whole.left(cut));
    for (quint32 count : {0u, 1u, 3u})
        streams.append(withSocketCount(whole, count));
    // A device string of an odd byte count is corrupt; the fields after it are
    // read on regardless, and so is the list.
    QByteArray corrupt = whole;
    corrupt[7] = 7;
    streams.append(corrupt);

    for (const QByteArray &bytes : streams) {
        DeviceSetting setting = emptySetting();
        QDataStream in(bytes);
        in >> setting;
        const ReferenceRead reference = referenceRead(bytes);
        EXPECT_EQ(setting.sockets, reference.sockets) << bytes.toHex().constData();
        EXPECT_EQ(in.status(), reference.status) << bytes.toHex().constData();
    }
}

TEST(DeviceSettingStream, CorruptSocketCountEndsInAStreamError)
{
    for (quint32 count : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u}) {
        DeviceSetting setting = emptySetting();
        QDataStream in(withSocketCount(streamed(twoSocketSetting()), count));
        in >> setting;
        EXPECT_EQ(in.status(), QDataStream::ReadPastEnd) << count;
        EXPECT_TRUE(setting.sockets.isEmpty()) << count;
        EXPECT_EQ(setting.linkID, 4) << "the fields before the list are kept";
    }
}

TEST(DeviceSettingStream, AnyTypeValueStreamsBackUnchanged)
{
    for (quint32 type : {1u, 17u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        QByteArray bytes = streamed(twoSocketSetting());
        for (int i = 0; i < 4; ++i)
            bytes[i] = char(type >> (24 - 8 * i));
        const DeviceSetting setting = readBack(bytes, emptySetting());
        EXPECT_EQ(uint(setting.type), type);
        EXPECT_EQ(streamed(setting).left(4), bytes.left(4));
        const QStringList lines = dumped(setting);
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("type: %1 ").arg(type)))
            << lines.first().toStdString();
    }
}

TEST(DeviceSettingSockets, CurrentAndOutOfRangeIndices)
{
    DeviceSetting setting = emptySetting();
    setting.setPort(502, -1);
    EXPECT_TRUE(setting.port(-1) == 0 && setting.socketIP(-1).isEmpty() && setting.sockets.isEmpty());

    setting.setSocketData({{QStringLiteral("1.2.3.4"), QStringLiteral("502")},
                           {QStringLiteral("5.6.7.8"), QStringLiteral("abc")}});
    EXPECT_EQ(setting.port(0), 502);
    EXPECT_EQ(setting.port(1), 0) << "a port text that does not convert";
    EXPECT_EQ(setting.socketIP(1), QStringLiteral("5.6.7.8"));
    EXPECT_EQ(setting.port(2), 0);
    EXPECT_TRUE(setting.socketIP(-2).isEmpty());
    setting.setPort(1502, 0);
    setting.setSocketIP(QStringLiteral("9.9.9.9"), -1);
    setting.setSocketIP(QStringLiteral("0.0.0.0"), 2);
    EXPECT_EQ(setting.sockets.at(0), qMakePair(QStringLiteral("9.9.9.9"), (unsigned short)1502));
    EXPECT_EQ(setting.socketIP(1), QStringLiteral("5.6.7.8"));

    setting.setCurrentIPIndex(2);
    EXPECT_EQ(setting.currentIPIndex, 0);
    setting.setCurrentIPIndex(1);
    setting.setSocketData({{QStringLiteral("1.1.1.1"), QStringLiteral("1")}});
    EXPECT_EQ(setting.currentIPIndex, 1) << "new sockets leave the index alone";
    EXPECT_EQ(setting.port(-1), 0);
}

TEST(DriverSetting, StreamOfFourIntegersAndCopyRule)
{
    const DriverSetting setting(3000, 3, 1, 0, QStringLiteral("x"), 7, QStringLiteral("text"), true);
    EXPECT_EQ(streamed(setting).toHex(), QByteArray("00000bb8000000030000000100000000"));
    const DriverSetting back = readBack(streamed(setting), DriverSetting(0, 0, 0, 0));
    EXPECT_EQ(std::make_tuple(back.timeout, back.retry, back.stationid, back.delay, back.extraFlag),
              std::make_tuple(3000, 3, 1, 0, false));
    EXPECT_TRUE(back.extraText.isNull());
    const DriverSetting six(1, 2, 3, 4, QStringLiteral("ignored"), 9);
    EXPECT_TRUE(six.extraText.isNull());

    DriverSetting target(0, 9, 0, 5);
    target.copy(setting);
    EXPECT_EQ(std::make_tuple(target.timeout, target.retry, target.stationid, target.delay,
                              target.extraText, target.extraFlag),
              std::make_tuple(3000, 3, 1, 0, QStringLiteral("text"), false)) << "copy keeps the own flag";
}

TEST(SettingsDump, OneLineEachWithTrailingBlank)
{
    const DeviceSetting device(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2);
    EXPECT_EQ(dumped(device),
              QStringList{QStringLiteral("type: 16 string: \"COM2\" baudrate: 9600 databits: 8 "
                                         "stopbits: 0 parity: 2 linkID: -1 current ip: \"\" "
                                         "current port: 0 ")});
    const DriverSetting driver(3000, 3, 1, 0);
    EXPECT_EQ(dumped(driver),
              QStringList{QStringLiteral("timeout: 3000 retry: 3 stationid: 1 delay: 0 ")});
    const QStringList lines = dumped(twoSocketSetting());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("current ip: \"10.0.0.2\" current port: 503 ")))
        << lines.first().toStdString();
}
