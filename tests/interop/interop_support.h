#ifndef INTEROP_SUPPORT_H
#define INTEROP_SUPPORT_H

// The driver against an independent Modbus RTU slave: pymodbus 3.0 serving a
// data map over TCP (pymodbus_server.py), and pymodbus's own client
// (pymodbus_client.py) to look at the slave's tables without the driver.
// The driver is reached as the runtime reaches it: the plug-in loaded with
// QPluginLoader, requests through DriverInterface, the link a TcpDevice.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "host/frame_trace.h"
#include "host/tcp_device.h"

class DriverInterface;

// Data type codes of CommunicatorCommand.
enum DataType { Bit = 0, Byte = 1, Word = 2, DWord = 3, Block = 5, Bit2 = 6 };

// The tables of one station, indexed by zero-based protocol address. The
// slave knows nothing past the end of a table: requests there get
// exception 2.
struct StationTables
{
    std::vector<quint16> hr;
    std::vector<quint16> ir;
    std::vector<quint8> co; // 0 or 1
    std::vector<quint8> di; // 0 or 1
};

using DataMap = std::map<int, StationTables>; // station id -> tables

// The map every test starts from: pseudo-random values from a fixed seed, so
// that a run can be repeated; sizes are kTableRegisters and kTableBits.
constexpr int kTableRegisters = 300;
constexpr int kTableBits = 2100; // room for a request above the protocol's 2000 bits
DataMap interopDataMap();

// Stations the slave serves, and one it leaves unanswered.
constexpr int kStation1 = 1;
constexpr int kStation2 = 2;
constexpr int kSilentStation = 3;

// DI and DO addresses the project database configures, as one-based
// inclusive ranges per station; byte reads of DI and DO fetch only these.
struct TagRange
{
    int station;
    const char *area; // "DI" or "DO"
    int first;
    int last;
};
extern const std::vector<TagRange> kConfiguredTags;
// Zero-based configured addresses of one station and area.
std::set<int> configuredAddresses(int station, const char *area);

// Skip reason when /usr/bin/python3 cannot import pymodbus; empty when it can.
QString pymodbusMissingReason();

// One answer of pymodbus_client.py.
struct PeerReply
{
    bool ok = false;
    int exception = 0;     // exception code of an exception reply
    QString error;         // anything else that went wrong
    std::vector<int> values;
};

// pymodbus_server.py on a free loopback port, serving a map, and a
// pymodbus_client.py session (--lines) on it for the peer's view.
class PymodbusServer
{
public:
    ~PymodbusServer();
    bool start(const DataMap &map, QString *error);
    // Closes the standard input of the client session and of the server,
    // which stops them; terminates and then kills what lingers. Bounded to
    // a few seconds.
    void stop();
    quint16 port() const { return m_port; }
    // One request of pymodbus's client: STATION COMMAND ADDR ARG...
    PeerReply peer(int station, const QStringList &command);

private:
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QProcess> m_client;
    QString m_mapFile;
    quint16 m_port = 0;
};

PeerReply peerRead(PymodbusServer &server, int station, const char *table, int address, int count);
PeerReply peerWriteRegisters(PymodbusServer &server, int station, int address, const std::vector<quint16> &values);
PeerReply peerWriteCoils(PymodbusServer &server, int station, int address, const std::vector<quint8> &bits);

// The plug-in's driver, loaded once per process; the project database below
// the test program's directory is written before the first request.
DriverInterface *interopDriver(QString *error);

// A device on the server's port with a trace of every frame it sends.
struct Link
{
    explicit Link(const TcpDeviceSettings &settings);
    ~Link();
    std::vector<QByteArray> sentFrames() const;

    std::vector<TraceEntry> entries;
    FrameTrace trace;
    TcpDevice device;
};
TcpDeviceSettings linkSettings(quint16 port, int station, int retries = 0, int timeoutMs = 1000);

// What the driver should hand over, worked out from the slave's tables.
QByteArray wordsLE(const std::vector<quint16> &table, int start, int count);
QByteArray dwordsLE(const std::vector<quint16> &table, int start, int count, bool highWordFirst);
QByteArray registerBytes(const std::vector<quint16> &table, int start, int count);
QByteArray registerBits(const std::vector<quint16> &table, int start, int bitOffset, int count);
QByteArray packBits(const std::vector<quint8> &bits); // bit i in bit i%8 of byte i/8
std::vector<quint8> unpackBits(const QByteArray &bytes, int count);
std::vector<quint16> slice(const std::vector<quint16> &table, int start, int count);
std::vector<quint8> slice(const std::vector<quint8> &table, int start, int count);

// Reads of a request frame: station, function, start address, quantity.
struct RequestHead
{
    int station;
    int function;
    int address;
    int quantity;
};
RequestHead requestHead(const QByteArray &frame);

#endif // INTEROP_SUPPORT_H
