#ifndef DRV_DEV_SETTING_H
#define DRV_DEV_SETTING_H

#include <QDataStream>
#include <QList>
#include <QPair>
#include <QString>

// Kinds of device connection. The runtime owns the meaning of the values;
// the driver only ever creates the serial kind (16) for its defaults. The
// type is fixed at 32 bits (the width it always had) so that any value a
// stream carries is a valid one, not only those of the enumerators.
enum device_type : unsigned int {
    DEVICE_TYPE_NONE = 0,
    DEVICE_TYPE_SERIAL = 16,
    DEVICE_TYPE_ETHERNET = 32
};

// One device connection: its kind, its port name, the serial line and a list
// of network endpoints with a current one.
class DeviceSetting
{
public:
    DeviceSetting(device_type type, QString deviceString, int baudrate, int databits,
                  int stopbits, int parity);
    DeviceSetting(device_type type, QString deviceString, int baudrate, int databits,
                  int stopbits, int parity, int extraValue, QString extraText);

    // Takes i only when it indexes an existing socket.
    void setCurrentIPIndex(int i);
    // i == -1 means the current socket; an index outside the list gives 0 / "".
    unsigned short port(int i = -1) const;
    QString socketIP(int i = -1) const;
    // i == -1 means the current socket; an index outside the list changes nothing.
    void setPort(unsigned short port, int i = -1);
    void setSocketIP(const QString &ip, int i = -1);
    // Replaces the sockets; port texts convert with toUShort (0 when they do not).
    void setSocketData(const QList<QPair<QString, QString> > &sockets);

    // One diagnostic line to the debug message output.
    void dump() const;

    device_type type;
    QString deviceString;
    int baudrate;
    int databits;
    int stopbits;
    int parity;
    int extraValue;
    QString extraText;
    int linkID;
    int currentIPIndex;
    QList<QPair<QString, unsigned short> > sockets;

private:
    int resolveIndex(int i) const;
};

// Protocol timing exchanged between runtime and driver.
class DriverSetting
{
public:
    DriverSetting(int timeout, int retry, int stationid, int delay);
    // The text and the number are accepted for compatibility and not kept.
    DriverSetting(int timeout, int retry, int stationid, int delay, const QString &unusedText,
                  unsigned short unusedNumber);
    DriverSetting(int timeout, int retry, int stationid, int delay, const QString &unusedText,
                  unsigned short unusedNumber, const QString &extraText, bool extraFlag);

    // Takes the four numbers and extraText; extraFlag keeps its own value.
    void copy(const DriverSetting &other);
    void dump() const;

    int timeout;
    int retry;
    int stationid;
    int delay;
    QString extraText;
    bool extraFlag;
};

QDataStream &operator<<(QDataStream &out, const DeviceSetting &setting);
QDataStream &operator>>(QDataStream &in, DeviceSetting &setting);
QDataStream &operator<<(QDataStream &out, const DriverSetting &setting);
QDataStream &operator>>(QDataStream &in, DriverSetting &setting);

#endif // DRV_DEV_SETTING_H
