// Stream bytes into both settings records, as the runtime reads them back.
//
// Input: one byte of stream options (0x01 little-endian, 0x02 the device
// record already holds three sockets, 0x0C the stream version: Qt 4.8, 5.0,
// 5.6 or 5.15), then the stream.
//
// Whatever is read must stay usable (its accessors, its dump), and a record
// read without a stream error must come back unchanged through a write and
// a read.

#include <QDataStream>
#include <cstdint>

#include "fuzz_input.h"
#include "fuzz_support.h"
#include "settings/drv_dev_setting.h"

namespace {

const QDataStream::Version Versions[] = {QDataStream::Qt_4_8, QDataStream::Qt_5_0,
                                         QDataStream::Qt_5_6, QDataStream::Qt_5_15};

struct StreamOptions
{
    QDataStream::ByteOrder order;
    QDataStream::Version version;
    void apply(QDataStream &stream) const
    {
        stream.setByteOrder(order);
        stream.setVersion(version);
    }
};

DeviceSetting emptyDevice() { return DeviceSetting(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0); }

void exercise(DeviceSetting &setting)
{
    setting.port(-1);
    setting.socketIP(-1);
    for (int i = -1; i <= setting.sockets.size(); ++i) {
        setting.port(i);
        setting.socketIP(i);
    }
    setting.dump();
    setting.setPort(502, -1);
    setting.setSocketIP(QStringLiteral("10.0.0.1"), -1);
}

bool sameStreamedFields(const DeviceSetting &a, const DeviceSetting &b)
{
    return int(a.type) == int(b.type) && a.deviceString == b.deviceString
           && a.deviceString.isNull() == b.deviceString.isNull() && a.baudrate == b.baudrate
           && a.databits == b.databits && a.stopbits == b.stopbits && a.parity == b.parity
           && a.extraValue == b.extraValue && a.linkID == b.linkID && a.sockets == b.sockets;
}

void fuzzDeviceSetting(const QByteArray &bytes, const StreamOptions &options, bool withSockets)
{
    DeviceSetting setting = emptyDevice();
    if (withSockets)
        setting.setSocketData({{QStringLiteral("10.0.0.1"), QStringLiteral("502")},
                               {QStringLiteral("10.0.0.2"), QStringLiteral("503")},
                               {QStringLiteral("10.0.0.3"), QStringLiteral("504")}});
    QDataStream in(bytes);
    options.apply(in);
    in >> setting;
    const bool intact = in.status() == QDataStream::Ok;
    if (intact) {
        // The index goes with the stream only into a record that already
        // holds enough sockets; into a fresh one it stays 0.
        QByteArray written;
        QDataStream out(&written, QIODevice::WriteOnly);
        options.apply(out);
        out << setting;
        DeviceSetting back = emptyDevice();
        QDataStream again(written);
        options.apply(again);
        again >> back;
        FUZZ_CHECK(again.status() == QDataStream::Ok, "a written device setting does not read back");
        FUZZ_CHECK(again.atEnd(), "a device setting reads back shorter than it was written");
        FUZZ_CHECK(sameStreamedFields(setting, back), "a device setting changed through a write and a read");
    }
    exercise(setting);
}

void fuzzDriverSetting(const QByteArray &bytes, const StreamOptions &options)
{
    DriverSetting setting(0, 0, 0, 0);
    QDataStream in(bytes);
    options.apply(in);
    in >> setting;
    if (in.status() == QDataStream::Ok) {
        QByteArray written;
        QDataStream out(&written, QIODevice::WriteOnly);
        options.apply(out);
        out << setting;
        FUZZ_CHECK(written == bytes.left(16), "a driver setting streams back as other bytes");
    }
    setting.dump();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t flags = input.byte();
    const StreamOptions options{(flags & 0x01) ? QDataStream::LittleEndian : QDataStream::BigEndian,
                                Versions[(flags >> 2) & 0x03]};
    const QByteArray stream = input.rest();
    fuzzDeviceSetting(stream, options, flags & 0x02);
    fuzzDriverSetting(stream, options);
    return 0;
}
