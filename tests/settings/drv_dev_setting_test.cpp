#include <gtest/gtest.h>

#include <QBuffer>
#include <QDataStream>
#include <QStringList>

#include "settings/drv_dev_setting.h"

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

template <typename T>
QByteArray streamed(const T &value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return bytes;
}

template <typename T>
void readBack(const QByteArray &bytes, T &value)
{
    QDataStream in(bytes);
    in >> value;
}

QStringList captured;
void captureHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured.append(message);
}

QStringList capturedLines(const std::function<void()> &action)
{
    captured.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureHandler);
    action();
    qInstallMessageHandler(previous);
    return captured;
}

} // namespace

TEST(DeviceSettingStream, IsByteExact)
{
    const DeviceSetting setting = twoSocketSetting();
    const QByteArray expected = QByteArray::fromHex(
        "00000010"                  // type
        "00000008" "0043004f004d0032" // "COM2"
        "00002580" "00000008" "00000000" "00000002" // baud, data, stop, parity
        "00000007" "00000004" "00000001" // extraValue, linkID, currentIPIndex
        "00000002"                  // two sockets
        "00000010" "00310030002e0030002e0030002e0031" "01f6"
        "00000010" "00310030002e0030002e0030002e0032" "01f7");
    EXPECT_EQ(streamed(setting).toHex(), expected.toHex());
}

TEST(DeviceSettingStream, CurrentIndexIsCheckedAgainstTheSocketsHeldBeforeReading)
{
    const QByteArray bytes = streamed(twoSocketSetting());

    DeviceSetting fresh(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0);
    readBack(bytes, fresh);
    EXPECT_EQ(fresh.sockets.size(), 2);
    EXPECT_EQ(fresh.currentIPIndex, 0);
    EXPECT_EQ(fresh.deviceString, QStringLiteral("COM2"));
    EXPECT_EQ(fresh.linkID, 4);
    EXPECT_EQ(fresh.extraValue, 7);
    EXPECT_TRUE(fresh.extraText.isNull()) << "extraText is not part of the stream";

    DeviceSetting holding = twoSocketSetting();
    holding.setCurrentIPIndex(0);
    readBack(bytes, holding);
    EXPECT_EQ(holding.currentIPIndex, 1);
    EXPECT_EQ(holding.port(-1), 503);
}

TEST(DeviceSettingStream, TruncatedStreamStopsWithoutCrash)
{
    const QByteArray bytes = streamed(twoSocketSetting());
    for (int cut = 0; cut < bytes.size(); ++cut) {
        DeviceSetting setting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0);
        readBack(bytes.left(cut), setting);
        EXPECT_LE(setting.sockets.size(), 2);
    }
}

// The fields before the socket list, read the way the record reads them, then
// the list with the framework's own list reader: the reference for the
// record's reading of the list.
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
    const int at = 44;
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(count >> (24 - 8 * i));
    return bytes;
}

TEST(DeviceSettingStream, SocketListReadsAsTheFrameworkReadsLists)
{
    QList<QByteArray> streams;
    const QByteArray whole = streamed(twoSocketSetting());
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
        DeviceSetting setting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0);
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
        DeviceSetting setting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0);
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
        DeviceSetting setting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0);
        readBack(bytes, setting);
        EXPECT_EQ(uint(setting.type), type);
        EXPECT_EQ(streamed(setting).left(4), bytes.left(4));
        const QStringList lines = capturedLines([&] { setting.dump(); });
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("type: %1 ").arg(type))) << qPrintable(lines.first());
    }
}

TEST(DeviceSettingSockets, IndexMinusOneAndOutOfRange)
{
    DeviceSetting setting(DEVICE_TYPE_SERIAL, QStringLiteral("COM1"), 9600, 8, 0, 2);
    EXPECT_EQ(setting.port(-1), 0);
    EXPECT_TRUE(setting.socketIP(-1).isEmpty());
    setting.setPort(502, -1);
    EXPECT_TRUE(setting.sockets.isEmpty());

    setting.setSocketData({{QStringLiteral("1.2.3.4"), QStringLiteral("502")},
                           {QStringLiteral("5.6.7.8"), QStringLiteral("abc")}});
    EXPECT_EQ(setting.port(0), 502);
    EXPECT_EQ(setting.port(1), 0) << "a port text that does not convert gives 0";
    EXPECT_EQ(setting.socketIP(1), QStringLiteral("5.6.7.8"));
    EXPECT_EQ(setting.port(2), 0);
    EXPECT_TRUE(setting.socketIP(-2).isEmpty());

    setting.setPort(1502, 0);
    EXPECT_EQ(setting.sockets.at(0), qMakePair(QStringLiteral("1.2.3.4"), (unsigned short)1502));
    setting.setSocketIP(QStringLiteral("9.9.9.9"), -1);
    EXPECT_EQ(setting.socketIP(0), QStringLiteral("9.9.9.9"));
    EXPECT_EQ(setting.port(0), 1502);

    setting.setCurrentIPIndex(2);
    EXPECT_EQ(setting.currentIPIndex, 0);
    setting.setCurrentIPIndex(1);
    setting.setSocketData({{QStringLiteral("1.1.1.1"), QStringLiteral("1")}});
    EXPECT_EQ(setting.currentIPIndex, 1) << "setSocketData leaves the index alone";
    EXPECT_EQ(setting.port(-1), 0);
}

TEST(DriverSettingStream, FourIntegersAndCopyRule)
{
    const DriverSetting setting(3000, 3, 1, 0, QStringLiteral("x"), 7, QStringLiteral("text"), true);
    EXPECT_EQ(streamed(setting).toHex(), QByteArray("00000bb8000000030000000100000000"));

    DriverSetting back(0, 0, 0, 0);
    readBack(streamed(setting), back);
    EXPECT_EQ(back.timeout, 3000);
    EXPECT_EQ(back.retry, 3);
    EXPECT_TRUE(back.extraText.isNull());
    EXPECT_FALSE(back.extraFlag);

    DriverSetting six(1, 2, 3, 4, QStringLiteral("ignored"), 9);
    EXPECT_TRUE(six.extraText.isNull());
    EXPECT_FALSE(six.extraFlag);

    DriverSetting target(0, 0, 0, 0, QString(), 0, QString(), true);
    target.copy(setting);
    EXPECT_EQ(target.delay, 0);
    EXPECT_EQ(target.extraText, QStringLiteral("text"));
    EXPECT_TRUE(target.extraFlag);
    DriverSetting plain(0, 0, 0, 0);
    plain.copy(setting);
    EXPECT_FALSE(plain.extraFlag) << "copy keeps the target's own flag";
}

TEST(SettingsDump, OneLineEachWithTrailingBlank)
{
    const DeviceSetting device(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2);
    const DriverSetting driver(3000, 3, 1, 0);
    EXPECT_EQ(capturedLines([&] { device.dump(); }),
              QStringList{QStringLiteral("type: 16 string: \"COM2\" baudrate: 9600 databits: 8 "
                                         "stopbits: 0 parity: 2 linkID: -1 current ip: \"\" "
                                         "current port: 0 ")});
    EXPECT_EQ(capturedLines([&] { driver.dump(); }),
              QStringList{QStringLiteral("timeout: 3000 retry: 3 stationid: 1 delay: 0 ")});

    DeviceSetting outside = twoSocketSetting();
    outside.currentIPIndex = 5;
    const QStringList lines = capturedLines([&] { outside.dump(); });
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("current ip: \"\" current port: 0 ")));
}
