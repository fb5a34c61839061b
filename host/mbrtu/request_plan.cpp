#include "host/mbrtu/request_plan.h"

#include <algorithm>

namespace {

constexpr int kReadRegisters = 125;
constexpr int kWriteRegisters = 123;
constexpr int kReadBits = 2000;
constexpr int kWriteCoils = 1968;
constexpr int kBitsPerByte = 8;

bool isBitInRegister(const DeviceAddress &address, DataType type)
{
    return type == BitData && isRegisterArea(address.area);
}

// Registers (or bits) one item of the type takes.
int registersPerItem(DataType type)
{
    return type == DoubleWordData ? 2 : 1;
}

bool isByteType(DataType type)
{
    return type == ByteData || type == BlockData;
}

int limit(const DeviceAddress &address, DataType type, int registers, int bits)
{
    if (isBitInRegister(address, type))
        return registers * kBitsPerRegister - std::max(address.bit, 0);
    if (!isRegisterArea(address.area))
        return isByteType(type) ? bits / kBitsPerByte : bits;
    if (isByteType(type))
        return registers * 2;
    return registers / registersPerItem(type);
}

} // namespace

int readLimit(const DeviceAddress &address, DataType type)
{
    return limit(address, type, kReadRegisters, kReadBits);
}

int writeLimit(const DeviceAddress &address, DataType type)
{
    // Single-register and single-coil writes go out one request each.
    if (address.area == Area::FN6HR || address.area == Area::FN5DO)
        return 0;
    return limit(address, type, kWriteRegisters, kWriteCoils);
}

bool fitsAddressSpace(const DeviceAddress &address, DataType type, int count)
{
    const qint64 first = address.number - 1;
    qint64 span = count; // bits of DI and DO, registers of words
    if (isBitInRegister(address, type))
        span = (std::max(address.bit, 0) + qint64(count) + kBitsPerRegister - 1) / kBitsPerRegister;
    else if (isRegisterArea(address.area))
        span = isByteType(type) ? (qint64(count) + 1) / 2 : qint64(count) * registersPerItem(type);
    else if (isByteType(type))
        span = qint64(count) * kBitsPerByte;
    return first + span <= kAddressCount;
}

QString addressText(const DeviceAddress &address)
{
    QString text = areaName(address.area) + QString::number(address.number);
    if (address.bit >= 0)
        text += QLatin1Char('.') + QString::number(address.bit);
    if (address.swapped)
        text += QStringLiteral("SW");
    return text;
}

QList<ReadPiece> splitRead(const DeviceAddress &address, DataType type, int count)
{
    const int most = readLimit(address, type);
    if (count <= most)
        return {ReadPiece{address, count}};
    QList<ReadPiece> pieces;
    if (isBitInRegister(address, type)) {
        // Bit positions from the first register's bit 0, in pieces of whole bytes.
        int position = (address.number - 1) * kBitsPerRegister + address.bit;
        for (int left = count; left > 0;) {
            DeviceAddress piece = address;
            piece.number = position / kBitsPerRegister + 1;
            piece.bit = position % kBitsPerRegister;
            const int room = readLimit(piece, type);
            const int take = left <= room ? left : room - room % kBitsPerByte;
            piece.text = addressText(piece);
            pieces.append({piece, take});
            position += take;
            left -= take;
        }
        return pieces;
    }
    // Registers (or bits) one item spans, so that the next piece starts after this one.
    const int step = isRegisterArea(address.area) ? (isByteType(type) ? 1 : registersPerItem(type))
                                                  : (isByteType(type) ? kBitsPerByte : 1);
    const int itemsPerStep = isRegisterArea(address.area) && isByteType(type) ? 2 : 1;
    DeviceAddress piece = address;
    for (int left = count; left > 0;) {
        const int take = std::min(left, most);
        piece.text = addressText(piece);
        pieces.append({piece, take});
        piece.number += take / itemsPerStep * step;
        left -= take;
    }
    return pieces;
}

QString limitsText()
{
    return QStringLiteral(
        "LIMITS   one request reads up to 125 registers (125 words, 62 dwords, 250 bytes) or 2000\n"
        "         bits, and writes up to 123 registers (123 words, 61 dwords, 246 bytes) or 1968\n"
        "         coils; longer reads go out as several requests and print as one result, longer\n"
        "         writes are refused; FN6HR and FN5DO write one register or coil per request\n");
}
