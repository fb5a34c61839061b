#ifndef TOOLS_H
#define TOOLS_H

// The support library: pure functions over bytes for byte order, bit arrays,
// request sizing, timing, conversions, checksums, format-string packing and
// the project-database lookups. Nothing here keeps state.

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <cstdarg>

#include "../settings/communicator_command.h"

// ---- Byte order --------------------------------------------------------------
// Wire order is big-endian 16-bit registers; the runtime's order is little-endian.

// count 16-bit values in wire order -> 2*count bytes, each pair swapped.
QByteArray fromBigEndianUShortArray(const char *data, int count);
// count 32-bit values in wire order -> 4*count bytes, each group of four reversed.
QByteArray fromBigEndianULongArray(const char *data, int count);
// The same written to out, which holds 2*count (resp. 4*count) bytes.
void copyFromBigEndianUShortArray(const char *data, int count, char *out);
void copyFromBigEndianULongArray(const char *data, int count, char *out);
// Copy; an odd length gets one zero byte first; then each pair is swapped.
QByteArray toBigEndianUShortArray(const QByteArray &data);
// Copy; zero bytes up to a multiple of 4; then each group of four is reversed.
QByteArray toBigEndianULongArray(const QByteArray &data);
// The same written to out, which holds the length the two below give.
void writeBigEndianUShortArray(const QByteArray &data, char *out);
void writeBigEndianULongArray(const QByteArray &data, char *out);
int bigEndianUShortArrayLength(const QByteArray &data);
int bigEndianULongArrayLength(const QByteArray &data);
// In place; the length must be even (resp. a multiple of 4).
void toLittleEndianUShortArray(QByteArray &data);
void toLittleEndianULongArray(QByteArray &data);
// Appends the high byte, then the low byte.
void appendBigEndianUShort(QByteArray &data, unsigned short value);

// ---- Counting (every quotient rounded up) ------------------------------------
unsigned int NumOfBitsToNumOfWords(unsigned int startBit, unsigned int bitCount);
unsigned int NumOfBitsToNumOfDWords(unsigned int startBit, unsigned int bitCount);
unsigned int NumOfBitsToNumOfBytes(unsigned int startBit, unsigned int bitCount);
unsigned int NumOfBytesToNumOfWords(unsigned int byteCount);
unsigned int NumOfBytesToNumOfDWords(unsigned int byteCount);
unsigned int NumOfBytesToNumOfQuadWords(unsigned int byteCount);

// ---- Bit arrays: bit i is bit (i mod 8) of byte (i div 8) ----------------------
bool getBit(const QByteArray &bits, int i);
bool getBit(const unsigned char *bits, int i);
void setBit(QByteArray &bits, int i, bool on);
void setBit(unsigned char *bits, int i, bool on);
// Scalar forms; n must be below the width of the value.
unsigned char setBit(unsigned char value, unsigned short n);
unsigned short setBit(unsigned short value, unsigned short n);
unsigned int setBit(unsigned int value, unsigned short n);
unsigned char clearBit(unsigned char value, unsigned short n);
unsigned short clearBit(unsigned short value, unsigned short n);
unsigned int clearBit(unsigned int value, unsigned short n);
bool getBit(unsigned char value, unsigned short n);
bool getBit(unsigned short value, unsigned short n);
bool getBit(unsigned int value, unsigned short n);

// Resizes to ceil(n / 8) bytes.
void FitBitArray(QByteArray &bits, int n);
// Zeroes bits (n mod 8)..7 of byte (n div 8) unless n is a multiple of 8.
void clearUnnecessaryBits(QByteArray &bits, int n);
// Bit (start + i) of dst becomes bit i of src, for i in [0, count).
void CopyBits(QByteArray &dst, QByteArray &src, int start, int count);
// Shifts the bit array towards bit 0 by n bits in place; n < 8 * size.
void RightShiftNBits(QByteArray &bits, int n);
// Rotates the a + b bytes at p left by a.
void RotateArray(unsigned char *p, int a, int b);

// ---- Request sizing ------------------------------------------------------------
// Bytes the data of a request occupies, by its data type and count.
int GetSafeDataLen(const CommunicatorCommand &command);
// data cut or zero-padded to exactly GetSafeDataLen(command) bytes.
QByteArray ToSafeData(const CommunicatorCommand &command, const QByteArray &data);

// ---- Timing --------------------------------------------------------------------
// Sleeps ms milliseconds, resuming after signals.
void HRSleep(unsigned long ms);
// Milliseconds of the monotonic clock.
qint64 CurrentMSecsSinceBoot();

// ---- Scalar conversions (little-endian buffers) ----------------------------------
int QByteArrayToInt(const QByteArray &data);
unsigned short QByteArrayToWord(const QByteArray &data);
short QByteArrayToShort(const QByteArray &data);
QByteArray wordToByteArray(unsigned short value);
QByteArray shortToByteArray(short value);
QByteArray intToByteArray(int value);

// ---- Request predicates ----------------------------------------------------------
bool isBitCommand(const CommunicatorCommand &command);
bool isByteCommand(const CommunicatorCommand &command);
bool isWordCommand(const CommunicatorCommand &command);
bool isDoubleWordCommand(const CommunicatorCommand &command);
bool isBlockCommand(const CommunicatorCommand &command);

// Bit 0 of the first byte; false for an empty array.
bool getBitData(const QByteArray &data);
// count bytes, byte j being 1 when bit start + j is set.
QByteArray ExpandBitsToBytes(const QByteArray &bits, unsigned short start, int count);

// Zero-padded copies up to a multiple of 2, 4 or 8 bytes.
QByteArray To16bitsData(const QByteArray &data);
QByteArray To32bitsData(const QByteArray &data);
QByteArray To64bitsData(const QByteArray &data);

// ---- Checksums (a length below 1 gives 0) -----------------------------------------
unsigned char UInt8CheckSum(const unsigned char *data, int length);
unsigned short UShortCheckSum(const unsigned char *data, int length);
unsigned char XorUInt8CheckSum(const unsigned char *data, int length);
// CRC-16/ARC over length bytes (0 for a length below 1).
unsigned short CRC16Calculate(const unsigned char *data, int length);

// Value of at most length hexadecimal characters, optional 0x; 0 on a bad digit.
unsigned int HexToUInt(const char *text, int length);
// True when the process exists (kill with signal 0 succeeds or is not permitted).
bool ProcessIsRunning(long long pid);
// "(0X1 0Xab ) : " followed by the bytes as text up to the first zero byte.
QString dumpByteArray(const QByteArray &data);
QByteArray reverseArray(const QByteArray &data);
QList<int> EmptyPackageSizeList();

// ---- Address texts -------------------------------------------------------------------
// Leading run of letters and underscores.
QByteArray ExtractPrefixSymbol(const QString &text);
QByteArray ExtractPrefixSymbol(const QByteArray &text);
// The text from its first digit of the base on, converted; base 10, 16 or 8, else -1.
int ExtractPLCDeviceAddress(const QString &text, int base);
int ExtractPLCDeviceAddress(const QByteArray &text, int base);

// ---- Project database ------------------------------------------------------------------
extern const QString COMPILE_PATH;
extern const QString DATABASE_PATH;

struct LinkIdStationId
{
    int linkId;
    unsigned char stationId;
};

// The application directory, moved into "compile" when that directory exists.
QDir GetCompilePath();
// Absolute path of the project database below the application directory.
QString GetDatabaseName();
// ETHERNET... -> 2000; a name ending in digits n -> 1001 + n.
int DevStrToHmiPort(const QString &deviceString);
// The link with the given HMI port and its default station (first row only).
bool GetLinkIdAndDefaultStationId(const QString &connectionName, int hmiPort, int &linkId,
                                  unsigned char &stationId);
// Appends every default node of the link.
bool GetLinkIdAndDefaultStationId(const QString &connectionName, int linkId,
                                  QList<LinkIdStationId> &result);
// Appends every default node of the HMI port with the given IP address and TCP port.
bool GetLinkIdAndDefaultStationId(const QString &connectionName, int hmiPort, const QString &ip,
                                  unsigned short port, QList<LinkIdStationId> &result);

// ---- Format-string packing ----------------------------------------------------------------
int DataPack(unsigned char *buffer, char const *format, ...);
int VDataPack(unsigned char *buffer, char const *format, va_list args);
QByteArray ByteArrayPack(char const *format, ...);
QByteArray VByteArrayPack(char const *format, va_list args);
int DataUnpack(unsigned char const *buffer, char const *format, ...);
int VDataUnpack(unsigned char const *buffer, char const *format, va_list args);

#endif // TOOLS_H
