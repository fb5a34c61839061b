#ifndef HOST_DEVICE_ADDRESS_H
#define HOST_DEVICE_ADDRESS_H

// Device addresses as the driver takes them, checked before anything reaches
// the driver: AREA NUMBER [.BIT] [SW], for example HR100, IR7, DI5, FN5DO17,
// HR100.3 or HR100SW; and the names of the data types a request can carry.
// mbrtu, the demo, the soak and the project database writer share them.

#include <QString>

#include "settings/data_type.h"

enum class Area { DI, DO, FN5DO, HR, FN6HR, IR };

struct DeviceAddress
{
    Area area = Area::HR;
    int number = 1;    // one-based, 1..65536
    int bit = -1;      // bit index inside a register, -1 when not given
    bool swapped = false; // SW: high-order word first
    QString text;      // as the user wrote it; handed to the driver unchanged
};

constexpr int kAddressCount = 65536;
constexpr int kBitsPerRegister = 16;

bool parseDeviceAddress(const QString &text, DeviceAddress *address, QString *error);
QString areaName(Area area);
bool isRegisterArea(Area area);

// "bit", "byte", "word", "dword" and "block"; the other types have no name.
bool parseDataType(const QString &text, DataType *type);
QString dataTypeName(DataType type);

// Whether the type can be read from / written to the address; error says why not.
bool checkReadable(const DeviceAddress &address, DataType type, QString *error);
bool checkWritable(const DeviceAddress &address, DataType type, QString *error);

#endif // HOST_DEVICE_ADDRESS_H
