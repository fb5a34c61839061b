// The device and driver settings: their streams byte for byte, the reading of
// a damaged socket list, the rule for the current socket index, the socket
// accessors and the dump lines.

#include <gtest/gtest.h>

#include <QDataStream>
#include <QStringList>
#include <tuple>

#include "settings/drv_dev_setting.h"
#include "support/qt_printers.h"

using Sockets = QList<QPair<QString, unsigned short>>;

static DeviceSetting twoSockets()
{
    DeviceSetting setting(DEVICE_TYPE_SERIAL, QStringLiteral("COM2"), 9600, 8, 0, 2, 7, QStringLiteral("extra"));
    setting.setSocketData({{"10.0.0.1", "502"}, {"10.0.0.2", "503"}});
    setting.setCurrentIPIndex(1);
    setting.linkID = 4;
    return setting;
}

static DeviceSetting empty() { return DeviceSetting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0); }

template <typename T>
static QByteArray streamed(const T &value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return bytes;
}

// Reads the bytes into value; the stream's status after the read.
template <typename T>
static QDataStream::Status readInto(const QByteArray &bytes, T &value)
{
    QDataStream in(bytes);
    in >> value;
    return in.status();
}

// The stream with the 32-bit big-endian number at offset `at` replaced.
static QByteArray patched(QByteArray bytes, int at, quint32 number) { return bytes.replace(at, 4, streamed(number)); }

static QStringList captured;
template <typename T>
static QStringList dumped(const T &setting)
{
    captured.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &line) { captured << line; });
    setting.dump();
    qInstallMessageHandler(previous);
    return captured;
}

TEST(DeviceSettingStream, ByteExactIndexRuleDumpAndDamagedSocketLists)
{
    // Type, "COM2", the serial line, extra value, link, index, two sockets.
    const QByteArray bytes = streamed(twoSockets());
    EXPECT_EQ(bytes.toHex(), QByteArray("00000010" "00000008" "0043004f004d0032" "00002580" "00000008" "00000000"
                                        "00000002" "00000007" "00000004" "00000001" "00000002"
                                        "00000010" "00310030002e0030002e0030002e0031" "01f6"
                                        "00000010" "00310030002e0030002e0030002e0032" "01f7"));
    // The index (at offset 40, here 0 instead of 1) is checked against the
    // sockets held before the stream's list; extraText is not streamed; any
    // type value comes back unchanged.
    DeviceSetting fresh = empty(), holding = twoSockets();
    EXPECT_EQ((std::tuple{readInto(patched(bytes, 0, 0xFFFFFFFFu), fresh), readInto(patched(bytes, 40, 0), holding),
                          fresh.sockets, fresh.currentIPIndex, holding.port(), holding.socketIP()}),
              std::make_tuple(QDataStream::Ok, QDataStream::Ok, twoSockets().sockets, 0, 502, "10.0.0.1"));
    // The dump: one line, every item followed by a blank, the type as an unsigned number.
    EXPECT_EQ(std::make_tuple(fresh.extraValue, fresh.extraText.isNull(), dumped(fresh)),
              std::make_tuple(7, true, QStringList{"type: 4294967295 string: \"COM2\" baudrate: 9600 databits: 8 "
                                                   "stopbits: 0 parity: 2 linkID: 4 current ip: \"10.0.0.1\" "
                                                   "current port: 502 "}));

    // Every cut of the stream, other socket counts (at offset 44), and a
    // device string of an odd byte count, after which the fields and the list
    // are read on regardless: the record's list and status are those of the
    // framework's own list reader after the same fields.
    QList<QByteArray> streams = {patched(bytes, 44, 0), patched(bytes, 44, 1), patched(bytes, 44, 3),
                                 QByteArray(bytes).replace(7, 1, "\7", 1)};
    for (int cut = 0; cut <= bytes.size(); ++cut)
        streams.append(bytes.left(cut));
    for (const QByteArray &stream : streams) {
        QDataStream in(stream);
        qint32 number;
        QString text;
        Sockets sockets;
        in >> number >> text >> number >> number >> number >> number >> number >> number >> number >> sockets;
        DeviceSetting setting = empty();
        EXPECT_EQ((std::tuple{readInto(stream, setting), setting.sockets}), std::tuple(in.status(), sockets))
            << stream.toHex().data();
    }
    // A corrupt count of billions ends in a stream error, not a failed
    // allocation; the fields before the list are kept.
    for (quint32 count : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u}) {
        DeviceSetting setting = empty();
        // Braces evaluate left to right: the record is looked at after the read.
        EXPECT_EQ((std::tuple{readInto(patched(bytes, 44, count), setting), setting.sockets.size(), setting.linkID}),
                  std::make_tuple(QDataStream::ReadPastEnd, 0, 4)) << count;
    }
}

TEST(DeviceSettingSockets, CurrentAndOutOfRangeIndices)
{
    // Index -1 (the default) is the current socket; other indices outside the
    // list give 0 and "" and change nothing; a port text that does not convert
    // gives 0. A new record has no link.
    DeviceSetting setting = empty();
    EXPECT_EQ(setting.linkID, -1);
    setting.setSocketData({{"1.2.3.4", "502"}, {"5.6.7.8", "abc"}});
    EXPECT_EQ(std::make_tuple(setting.port(0), setting.port(1), setting.socketIP(1), setting.port(2),
                              setting.socketIP(-2)), std::make_tuple(502, 0, QStringLiteral("5.6.7.8"), 0, QString()));
    setting.setPort(1502);
    setting.setSocketIP(QStringLiteral("9.9.9.9"));
    setting.setSocketIP(QStringLiteral("0.0.0.0"), 2);
    EXPECT_EQ(setting.sockets, (Sockets{{"9.9.9.9", 1502}, {"5.6.7.8", 0}}));
    setting.setCurrentIPIndex(1);
    setting.setCurrentIPIndex(2);              // outside the list: ignored
    setting.setSocketData({{"1.1.1.1", "1"}}); // new sockets leave the index alone
    EXPECT_EQ(std::make_tuple(setting.currentIPIndex, setting.port(-1), setting.sockets.size()),
              std::make_tuple(1, 0, 1));
}

TEST(DriverSetting, StreamOfFourIntegersCopyRuleAndDumpLines)
{
    // copy takes the four numbers and the text and keeps its own flag.
    const DriverSetting setting(3000, 3, 1, 0, QStringLiteral("x"), 7, QStringLiteral("text"), true);
    EXPECT_EQ(streamed(setting).toHex(), QByteArray("00000bb8000000030000000100000000"));
    DriverSetting back(0, 0, 0, 0), target(0, 9, 0, 5);
    readInto(streamed(setting), back);
    target.copy(setting);
    EXPECT_EQ(std::make_tuple(back.timeout, back.retry, back.stationid, back.delay, back.extraText, back.extraFlag),
              std::make_tuple(3000, 3, 1, 0, QString(), false));
    EXPECT_EQ(std::make_tuple(target.timeout, target.retry, target.stationid, target.delay, target.extraText,
                              target.extraFlag), std::make_tuple(3000, 3, 1, 0, QStringLiteral("text"), false));
    EXPECT_EQ(dumped(DriverSetting(3000, 3, 1, 0)), QStringList{"timeout: 3000 retry: 3 stationid: 1 delay: 0 "});
}
