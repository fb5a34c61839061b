// Byte-at-a-time CRC updates over 256-entry lookup tables.
//
// Each table is built on the first call of its update function. The tables
// are function-local statics: the language guarantees that their
// initialisation runs exactly once and that every other thread calling at
// the same time waits until it has finished, so concurrent first calls never
// read a half-built table. After that each step is one guarded load, one
// lookup, one shift and one XOR.

#include "lib_crc.h"

#include <array>

namespace {

using Table16 = std::array<unsigned short, 256>;
using Table32 = std::array<unsigned int, 256>;

const unsigned short PolyCcitt = 0x1021;  // most significant bit first
const unsigned short PolyArc = 0xA001;    // 0x8005 reflected
const unsigned short PolyKermit = 0x8408; // 0x1021 reflected
const unsigned short PolyDnp = 0xA6BC;    // 0x3D65 reflected
const unsigned int PolyCrc32 = 0xEDB88320u; // 0x04C11DB7 reflected
const unsigned short PolySick = 0x8005;

// Fills every entry of a table with entryOf(its index); the entries are
// walked, not counted, so no index passes the end.
template <typename Table, typename EntryOf>
Table buildTable(EntryOf entryOf)
{
    Table table{};
    unsigned int index = 0;
    for (auto &entry : table)
        entry = entryOf(index++);
    return table;
}

// Entry i: the CRC of the byte i shifted in most significant bit first.
Table16 buildForwardTable16(unsigned short poly)
{
    return buildTable<Table16>([poly](unsigned int i) {
        unsigned int crc = 0;
        unsigned int c = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (((crc ^ c) & 0x8000) ? (crc << 1) ^ poly : crc << 1) & 0xFFFF;
            c = (c << 1) & 0xFFFF;
        }
        return (unsigned short)crc;
    });
}

// Entry i: the CRC of the byte i shifted in least significant bit first.
Table16 buildReflectedTable16(unsigned short poly)
{
    return buildTable<Table16>([poly](unsigned int i) {
        unsigned int crc = 0;
        unsigned int c = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc ^ c) & 1) ? (crc >> 1) ^ poly : crc >> 1;
            c >>= 1;
        }
        return (unsigned short)crc;
    });
}

Table32 buildReflectedTable32(unsigned int poly)
{
    return buildTable<Table32>([poly](unsigned int i) {
        unsigned int crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
        return crc;
    });
}

const Table16 &crc_tabccitt()
{
    static const Table16 table = buildForwardTable16(PolyCcitt);
    return table;
}

const Table16 &crc_tab16()
{
    static const Table16 table = buildReflectedTable16(PolyArc);
    return table;
}

const Table16 &crc_tabkermit()
{
    static const Table16 table = buildReflectedTable16(PolyKermit);
    return table;
}

const Table16 &crc_tabdnp()
{
    static const Table16 table = buildReflectedTable16(PolyDnp);
    return table;
}

const Table32 &crc_tab32()
{
    static const Table32 table = buildReflectedTable32(PolyCrc32);
    return table;
}

unsigned short reflectedStep16(const Table16 &table, unsigned short crc, unsigned char c)
{
    return (unsigned short)((crc >> 8) ^ table[(crc ^ c) & 0xFF]);
}

} // namespace

extern "C" {

unsigned short update_crc_ccitt(unsigned short crc, unsigned char c)
{
    return (unsigned short)((crc << 8) ^ crc_tabccitt()[((crc >> 8) ^ c) & 0xFF]);
}

unsigned short update_crc_16(unsigned short crc, unsigned char c)
{
    return reflectedStep16(crc_tab16(), crc, c);
}

unsigned short update_crc_kermit(unsigned short crc, unsigned char c)
{
    return reflectedStep16(crc_tabkermit(), crc, c);
}

unsigned short update_crc_dnp(unsigned short crc, unsigned char c)
{
    return reflectedStep16(crc_tabdnp(), crc, c);
}

unsigned int update_crc_32(unsigned int crc, unsigned char c)
{
    return (crc >> 8) ^ crc_tab32()[(crc ^ c) & 0xFF];
}

unsigned short update_crc_sick(unsigned short crc, unsigned char c, unsigned char prev_byte)
{
    const unsigned int shifted = (crc & 0x8000) ? (unsigned(crc) << 1) ^ PolySick : unsigned(crc) << 1;
    return (unsigned short)((shifted & 0xFFFF) ^ ((unsigned(prev_byte) << 8) | c));
}

} // extern "C"
