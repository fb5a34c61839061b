#ifndef REGISTER_PAYLOAD_H
#define REGISTER_PAYLOAD_H

// What a holding-register write puts on the wire, worked out once from the
// runtime's little-endian data and shared by the function-16 and function-6
// transactions, which differ only in how they send it.

#include <QByteArray>

#include "../tools/tools.h"

struct RegisterPayload
{
    const char *item;                // the unit named in the refusal text
    quint64 registers;               // registers the limits are checked against
    QByteArray data;                 // the runtime's data, little-endian
    bool longs;                      // groups of four reverse as a whole, else pairs swap
    unsigned short requestRegisters; // register count field of a function-16 request

    // Length of the register values in wire order: the data padded to whole groups.
    int wireLength() const
    {
        return longs ? bigEndianULongArrayLength(data) : bigEndianUShortArrayLength(data);
    }
    // Writes the register values in wire order, high byte first, to out.
    void writeWire(char *out) const
    {
        longs ? writeBigEndianULongArray(data, out) : writeBigEndianUShortArray(data, out);
    }
    QByteArray wire() const
    {
        return longs ? toBigEndianULongArray(data) : toBigEndianUShortArray(data);
    }
};

// Words: each 2-byte group swapped.
RegisterPayload wordPayload(const QByteArray &data);
// Double words: high word first reverses each 4-byte group; low word first
// only swaps the bytes of each register.
RegisterPayload doubleWordPayload(const QByteArray &data, bool highWordFirst);
// Bytes: byte k is the low byte of register k/2 when k is even, its high
// byte when odd; an odd count leaves the last high byte 0.
RegisterPayload bytePayload(const QByteArray &data);

// Bit i of bits, least significant bit first; bits beyond the array read as 0.
inline bool bitOrZero(const QByteArray &bits, int i)
{
    return i >= 0 && i / 8 < bits.size() && getBit(bits, i);
}

#endif // REGISTER_PAYLOAD_H
