#ifndef HOST_TOOL_ADDRESS_H
#define HOST_TOOL_ADDRESS_H

// Device addresses and data kinds as mbrtu and the demo accept them, checked
// before anything reaches the driver: AREA NUMBER [.BIT] [SW], for example
// HR100, IR7, DI5, FN5DO17, HR100.3 or HR100SW.

#include <QString>

enum class Area { DI, DO, FN5DO, HR, FN6HR, IR };

// The runtime's data type codes.
enum class DataKind { Bit = 0, Byte = 1, Word = 2, DWord = 3, Block = 5 };

struct ToolAddress
{
    Area area = Area::HR;
    int number = 1;    // one-based, 1..65536
    int bit = -1;      // bit index inside a register, -1 when not given
    bool swapped = false; // SW: high-order word first
    QString text;      // as the user wrote it; handed to the driver unchanged
};

constexpr int kAddressCount = 65536;
constexpr int kBitsPerRegister = 16;

bool parseToolAddress(const QString &text, ToolAddress *address, QString *error);
QString areaName(Area area);
bool isRegisterArea(Area area);

bool parseDataKind(const QString &text, DataKind *kind);
QString dataKindName(DataKind kind);

// Whether the kind can be read from / written to the address; error says why not.
bool checkReadable(const ToolAddress &address, DataKind kind, QString *error);
bool checkWritable(const ToolAddress &address, DataKind kind, QString *error);

#endif // HOST_TOOL_ADDRESS_H
