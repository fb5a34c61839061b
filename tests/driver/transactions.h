#ifndef TRANSACTIONS_H
#define TRANSACTIONS_H

// What the read, write and exchange tests share: every transaction kind as a
// call on a driver and a scripted device.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/qt_printers.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

using Driver = DriverModbusRtuSlaveOverTcp;
// A read hands back its data, empty on failure; a write reports success.
using Read = std::function<QByteArray(Driver &, ScriptedDevice &)>;
using Write = std::function<bool(Driver &, ScriptedDevice &)>;

// The driver's transaction f on the device, with the given arguments.
template <typename R, typename... P, typename... A>
std::function<R(Driver &, ScriptedDevice &)> call(R (Driver::*f)(AbstractDeviceInterface *, P...), A... args)
{
    return [=](Driver &d, ScriptedDevice &s) { return (d.*f)(&s, args...); };
}

inline Read words(QByteArray p, ushort a, int n) { return call(&Driver::readWords, p, a, n); }
inline Read dwords(QByteArray p, ushort a, int n, bool hf) { return call(&Driver::readDWords, p, a, n, hf); }
inline Read bytes(QByteArray p, ushort a, int n) { return call(&Driver::readBytes, p, a, n); }
inline Read bits(QByteArray p, ushort a, uchar b, int n) { return call(&Driver::readIRHRbits, p, a, b, n); }
inline Read inputs(QByteArray p, ushort a, int n) { return call(&Driver::readDIDOs, p, a, n); }
inline Write succeeds(Read read) { return [=](Driver &d, ScriptedDevice &s) { return !read(d, s).isEmpty(); }; }

// Register writes by the layout of their data, with function 16 or register by register with function 6.
enum Layout { Words, HighFirst, LowFirst, Bytes };
inline Write fn16(Layout l, ushort a, QByteArray v)
{
    return l == Words ? call(&Driver::writeWords, a, v)
         : l == Bytes ? call(&Driver::writeBytes, a, v) : call(&Driver::writeDWords, a, v, l == HighFirst);
}
inline Write fn6(Layout l, ushort a, QByteArray v)
{
    return l == Words ? call(&Driver::writeWordsWithFN6, a, v)
         : l == Bytes ? call(&Driver::writeBytesWithFN6, a, v)
                      : call(&Driver::writeDWordsWithFN6, a, v, l == HighFirst);
}
inline Write fn15(ushort a, QByteArray bits, int n) { return call(&Driver::writeCoils, a, bits, n); }
inline Write fn5(ushort a, QByteArray bits, int n) { return call(&Driver::writeCoilsWithFN5, a, bits, n); }
inline Write hrBits(ushort a, uchar b, QByteArray v, int n) { return call(&Driver::writeHRbit, a, b, v, n); }
inline Write hrBitsFn6(ushort a, uchar b, QByteArray v, int n) { return call(&Driver::writeHRbitWithFN6, a, b, v, n); }

#endif // TRANSACTIONS_H
