#ifndef CRC_FOLD_H
#define CRC_FOLD_H

// The Modbus CRC with carry-less multiplication, where the processor has it:
// no lookup tables, so a long frame costs a few dozen instructions and no
// cache misses.

// True when this processor can run ModbusCrcFold.
bool ModbusCrcFoldAvailable();

// The CRC register (high register in the low-order byte, as the table method
// keeps it) after the length bytes of data, starting from crc. length must
// be at least 16; only call when ModbusCrcFoldAvailable().
unsigned short ModbusCrcFold(const unsigned char *data, int length, unsigned short crc);

#endif // CRC_FOLD_H
