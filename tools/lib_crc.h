#ifndef LIB_CRC_H
#define LIB_CRC_H

// Byte-at-a-time CRC updates. The caller chooses the initial value, feeds the
// bytes in order and applies any final step itself. Exported unmangled.
extern "C" {
unsigned short update_crc_ccitt(unsigned short crc, unsigned char c);
unsigned short update_crc_16(unsigned short crc, unsigned char c);
unsigned short update_crc_kermit(unsigned short crc, unsigned char c);
unsigned short update_crc_dnp(unsigned short crc, unsigned char c);
unsigned int update_crc_32(unsigned int crc, unsigned char c);
unsigned short update_crc_sick(unsigned short crc, unsigned char c, unsigned char prev_byte);
}

#endif // LIB_CRC_H
