#ifndef TRANSACTIONS_H
#define TRANSACTIONS_H

// What the read, write and exchange tests share: every transaction kind as a
// call on a driver and a scripted device, the correct reply to any request,
// and the check of a request refused before it reached the device.

#include <QByteArray>
#include <QStringList>
#include <functional>

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/qt_printers.h"
#include "support/read_replies.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

using Driver = DriverModbusRtuSlaveOverTcp;
// A read hands back its data, empty on failure; a write reports success.
using Read = std::function<QByteArray(Driver &, ScriptedDevice &)>;
using Write = std::function<bool(Driver &, ScriptedDevice &)>;
// A reply in the pieces in which the device hands it out.
using Chunks = QList<QByteArray>;

inline Read words(QByteArray prefix, unsigned short address, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.readWords(&s, prefix, address, count); };
}
inline Read dwords(QByteArray prefix, unsigned short address, int count, bool highFirst)
{
    return [=](Driver &d, ScriptedDevice &s) {
        return d.readDWords(&s, prefix, address, count, highFirst);
    };
}
inline Read bytes(QByteArray prefix, unsigned short address, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.readBytes(&s, prefix, address, count); };
}
inline Read bits(QByteArray prefix, unsigned short address, unsigned char bit, int count)
{
    return [=](Driver &d, ScriptedDevice &s) {
        return d.readIRHRbits(&s, prefix, address, bit, count);
    };
}
inline Read inputs(QByteArray prefix, unsigned short address, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.readDIDOs(&s, prefix, address, count); };
}
inline Write succeeds(Read read)
{
    return [=](Driver &d, ScriptedDevice &s) { return !read(d, s).isEmpty(); };
}

// Register writes by the layout of their data.
enum Layout { Words, HighFirst, LowFirst, Bytes };
inline Write fn16(Layout layout, unsigned short address, QByteArray data)
{
    return [=](Driver &d, ScriptedDevice &s) {
        return layout == Words ? d.writeWords(&s, address, data)
             : layout == Bytes ? d.writeBytes(&s, address, data)
                               : d.writeDWords(&s, address, data, layout == HighFirst);
    };
}
inline Write fn6(Layout layout, unsigned short address, QByteArray data)
{
    return [=](Driver &d, ScriptedDevice &s) {
        return layout == Words ? d.writeWordsWithFN6(&s, address, data)
             : layout == Bytes ? d.writeBytesWithFN6(&s, address, data)
                               : d.writeDWordsWithFN6(&s, address, data, layout == HighFirst);
    };
}
inline Write fn15(unsigned short address, QByteArray bits, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.writeCoils(&s, address, bits, count); };
}
inline Write fn5(unsigned short address, QByteArray bits, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.writeCoilsWithFN5(&s, address, bits, count); };
}
inline Write hrBits(unsigned short address, unsigned char bit, QByteArray bits, int count)
{
    return [=](Driver &d, ScriptedDevice &s) { return d.writeHRbit(&s, address, bit, bits, count); };
}
inline Write hrBitsFn6(unsigned short address, unsigned char bit, QByteArray bits, int count)
{
    return [=](Driver &d, ScriptedDevice &s) {
        return d.writeHRbitWithFN6(&s, address, bit, bits, count);
    };
}

// The big-endian 16-bit field at offset of a frame.
inline unsigned short field(const QByteArray &frame, int offset)
{
    return (unsigned short)(((unsigned char)frame.at(offset) << 8) | (unsigned char)frame.at(offset + 1));
}

// A healthy station's answer to any read or write request.
inline QByteArray goodReply(const QByteArray &request)
{
    return (unsigned char)request.at(1) <= 4 ? replyToRead(request) : withCrc(request.left(6));
}

// The request failed with text before anything reached the device.
inline ::testing::AssertionResult refused(Driver &driver, const ScriptedDevice &device,
                                          const char *text)
{
    if (!driver.hasError() || driver.getLastError() != QLatin1String(text))
        return ::testing::AssertionFailure() << "error " << driver.getLastError().toStdString();
    if (!device.events.isEmpty())
        return ::testing::AssertionFailure() << device.events.join(", ").toStdString();
    return ::testing::AssertionSuccess();
}

#endif // TRANSACTIONS_H
