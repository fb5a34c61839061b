#ifndef REGISTER_PAYLOAD_H
#define REGISTER_PAYLOAD_H

// What a holding-register write puts on the wire, worked out from the
// runtime's little-endian data and shared by the function-16 and function-6
// transactions, which differ only in how they send it.
//
// Three numbers describe a payload of n data bytes, each by its own rule:
//   checkedRegisters  what the limits count: n/2, bytes rounding up
//   wireLength        the bytes sent: the data padded to whole registers,
//                     double words high word first to whole double words
//   quantity          the register count field of function 16: the
//                     registers of the wire data, words only whole words

#include <QByteArray>

#include "../tools/tools.h"

struct RegisterPayload
{
    enum Layout {
        Words,                // each 2-byte group swapped
        DoubleWordsHighFirst, // each 4-byte group reversed as a whole
        DoubleWordsLowFirst,  // only the bytes of each register swapped
        Bytes                 // byte k the low byte of register k/2 when k is even, else its high byte
    };

    Layout layout;
    QByteArray data; // the runtime's data, little-endian


    // The unit named in the refusal text.
    const char *item() const
    {
        return layout == Words ? "word" : layout == Bytes ? "byte" : "double word";
    }
    quint64 checkedRegisters() const
    {
        const quint64 bytes = quint64(data.size());
        return layout == Bytes ? (bytes + 1) / 2 : bytes / 2;
    }
    int wireLength() const
    {
        return reversesFours() ? bigEndianULongArrayLength(data) : bigEndianUShortArrayLength(data);
    }
    unsigned short quantity() const
    {
        return (unsigned short)(layout == Words ? checkedRegisters() : quint64(wireLength()) / 2);
    }
    // Writes the wireLength() bytes of register values, high byte first, to out.
    void writeWire(char *out) const
    {
        reversesFours() ? writeBigEndianULongArray(data, out) : writeBigEndianUShortArray(data, out);
    }
    QByteArray wire() const
    {
        return reversesFours() ? toBigEndianULongArray(data) : toBigEndianUShortArray(data);
    }

private:
    bool reversesFours() const { return layout == DoubleWordsHighFirst; }
};

// Words, double words in either order, bytes.
RegisterPayload wordPayload(const QByteArray &data);
RegisterPayload doubleWordPayload(const QByteArray &data, bool highWordFirst);
RegisterPayload bytePayload(const QByteArray &data);

// Bit i of bits, least significant bit first; bits beyond the array read as 0.
inline bool bitOrZero(const QByteArray &bits, int i)
{
    return i >= 0 && i / 8 < bits.size() && getBit(bits, i);
}

#endif // REGISTER_PAYLOAD_H
