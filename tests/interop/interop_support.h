#ifndef INTEROP_SUPPORT_H
#define INTEROP_SUPPORT_H

// The driver against an independent Modbus RTU slave: pymodbus 3.0 serving
// pseudo-random tables over TCP (pymodbus_server.py), with pymodbus's own
// client (pymodbus_client.py) as the independent view of them. The driver is
// reached as the runtime reaches it: the plug-in loaded with QPluginLoader,
// requests through DriverInterface, the link a TcpDevice.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <memory>
#include <ostream>
#include <vector>

#include "../support/qt_printers.h"
#include "host/device/frame_trace.h"
#include "host/device/tcp_device.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

// The slave serves stations 1 and 2, kTableSize registers and bits in each
// table (past them: exception 2), and leaves station 3 unanswered.
constexpr int kStation1 = 1, kStation2 = 2, kSilentStation = 3;
constexpr int kTableSize = 400;

// The head of a request frame; functions 5 and 6 carry the value in place of
// the quantity.
struct Request
{
    int function, address, quantity;
    bool operator==(const Request &o) const
    {
        return function == o.function && address == o.address && quantity == o.quantity;
    }
};
std::ostream &operator<<(std::ostream &os, const Request &r);

// A device on the slave's port that keeps the head of every request it sends.
struct Link
{
    Link(quint16 port, int station, int retries = 0, int timeoutMs = 1000);
    ~Link() { device.setTrace(nullptr); }
    std::vector<Request> requests;
    FrameTrace trace;
    TcpDevice device;
};

// The slave, and a session of pymodbus's client on it. Closing their standard
// input stops both; the destructor then terminates or kills what lingers,
// within a few seconds.
class PymodbusServer
{
public:
    ~PymodbusServer();
    bool start(QString *error);
    quint16 port() const { return m_port; }
    // One request of pymodbus's client, e.g. (1, "read-hr", 9, {2}) or
    // (1, "write-co", 4, {1, 0}); the values read. A failure fails the test.
    std::vector<int> peer(int station, const char *command, int address, const std::vector<int> &args);

private:
    QProcess m_server, m_client;
    quint16 m_port = 0;
};

// Why the tests skip: /usr/bin/python3 cannot import pymodbus. Empty if it can.
QString pymodbusMissingReason();
// The plug-in's driver, loaded once; the project database is written first.
DriverInterface *interopDriver(QString *error);

// Registers as the driver hands them over: low-order byte first, the two of
// each double word exchanged for high word first.
QByteArray registerData(const std::vector<int> &registers, bool highWordFirst);
// Bit i of the bytes is bit i % 8 of byte i / 8.
std::vector<int> bitsOf(const QByteArray &bytes, int first, int count);
QByteArray packBits(const std::vector<int> &bits);

// One slave per test suite. The tests skip, saying why, only when pymodbus
// is missing; any other trouble starting the slave fails them.
class Interop : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_skip = pymodbusMissingReason();
        if (!s_skip.isEmpty())
            return;
        s_server = std::make_unique<PymodbusServer>();
        if (!s_server->start(&s_error))
            s_server.reset();
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override
    {
        if (!s_skip.isEmpty())
            GTEST_SKIP() << s_skip.toStdString();
        ASSERT_TRUE(s_server) << "pymodbus server: " << s_error.toStdString();
        QString error;
        m_driver = interopDriver(&error);
        ASSERT_TRUE(m_driver) << error.toStdString();
    }

    quint16 port() const { return s_server->port(); }
    std::vector<int> peer(int station, const char *command, int address, const std::vector<int> &args)
    {
        return s_server->peer(station, command, address, args);
    }
    QByteArray read(Link &link, int type, int count, const char *address)
    {
        return m_driver->read(&link.device, CommunicatorCommand(type, count, QLatin1String(address)));
    }
    bool write(Link &link, int type, int count, const char *address, const QByteArray &data)
    {
        return m_driver->write(&link.device, CommunicatorCommand(type, count, QLatin1String(address)), data);
    }
    std::string lastError() const { return m_driver->hasError() ? m_driver->getLastError().toStdString() : ""; }

    DriverInterface *m_driver = nullptr;
    static inline QString s_skip, s_error;
    static inline std::unique_ptr<PymodbusServer> s_server;
};

#endif // INTEROP_SUPPORT_H
