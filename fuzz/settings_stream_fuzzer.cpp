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
#include <tuple>

#include "fuzz_support.h"
#include "settings/drv_dev_setting.h"

namespace {

// The input's stream options.
const QDataStream::Version Versions[] = {QDataStream::Qt_4_8, QDataStream::Qt_5_0, QDataStream::Qt_5_6,
                                         QDataStream::Qt_5_15};
QDataStream::ByteOrder order;
QDataStream::Version version;

// Reads the record from the bytes: the stream's status, and whether every byte was read.
template <typename T>
std::pair<QDataStream::Status, bool> readFrom(const QByteArray &bytes, T &record)
{
    QDataStream in(bytes);
    in.setByteOrder(order);
    in.setVersion(version);
    in >> record;
    return {in.status(), in.atEnd()};
}

template <typename T>
QByteArray written(const T &record)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(order);
    out.setVersion(version);
    out << record;
    return bytes;
}

// The fields a device setting streams. The index is not among them: it goes
// with the stream only into a record that already holds enough sockets.
auto streamedFields(const DeviceSetting &s)
{
    return std::make_tuple(uint(s.type), s.deviceString, s.deviceString.isNull(), s.baudrate, s.databits, s.stopbits,
                           s.parity, s.extraValue, s.linkID, s.sockets);
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
    order = (flags & 0x01) ? QDataStream::LittleEndian : QDataStream::BigEndian;
    version = Versions[(flags >> 2) & 0x03];
    const QByteArray bytes = input.rest();

    DeviceSetting device(DEVICE_TYPE_NONE, QString(), 0, 0, 0, 0), back = device;
    if (flags & 0x02)
        device.setSocketData({{"10.0.0.1", "502"}, {"10.0.0.2", "503"}, {"10.0.0.3", "504"}});
    if (readFrom(bytes, device).first == QDataStream::Ok)
        FUZZ_CHECK(readFrom(written(device), back) == std::make_pair(QDataStream::Ok, true)
                       && streamedFields(device) == streamedFields(back),
                   "a device setting does not come back whole and unchanged through a write and a read");
    for (int i = -1; i <= device.sockets.size(); ++i)
        device.port(i), device.socketIP(i);
    device.dump();
    device.setPort(502, -1);
    device.setSocketIP(QStringLiteral("10.0.0.1"), -1);

    DriverSetting driver(0, 0, 0, 0);
    if (readFrom(bytes, driver).first == QDataStream::Ok)
        FUZZ_CHECK(written(driver) == bytes.left(16), "a driver setting streams back as other bytes");
    driver.dump();
    return 0;
}
