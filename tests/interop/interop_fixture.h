#ifndef INTEROP_FIXTURE_H
#define INTEROP_FIXTURE_H

// One pymodbus slave per test suite, serving interopDataMap(); the driver
// loaded once per process. Every test skips, with the reason, when
// /usr/bin/python3 has no pymodbus; any other trouble starting the slave is a
// failure.

#include <gtest/gtest.h>

#include <QString>
#include <memory>

#include "interop_support.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

class Interop : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_map = interopDataMap();
        s_skip = pymodbusMissingReason();
        s_startError.clear();
        if (!s_skip.isEmpty())
            return;
        s_server = std::make_unique<PymodbusServer>();
        if (!s_server->start(s_map, &s_startError))
            s_server.reset();
    }

    static void TearDownTestSuite()
    {
        if (s_server)
            s_server->stop();
        s_server.reset();
    }

    void SetUp() override
    {
        if (!s_skip.isEmpty())
            GTEST_SKIP() << s_skip.toStdString();
        ASSERT_TRUE(s_server) << "pymodbus server: " << s_startError.toStdString();
        QString error;
        m_driver = interopDriver(&error);
        ASSERT_NE(m_driver, nullptr) << error.toStdString();
    }

    quint16 port() const { return s_server->port(); }
    PymodbusServer &server() const { return *s_server; }
    const StationTables &tables(int station) const { return s_map.at(station); }
    DriverInterface *driver() const { return m_driver; }

    QByteArray read(Link &link, int type, int count, const QString &address)
    {
        return m_driver->read(&link.device, CommunicatorCommand(type, count, address));
    }
    bool write(Link &link, int type, int count, const QString &address, const QByteArray &data)
    {
        return m_driver->write(&link.device, CommunicatorCommand(type, count, address), data);
    }
    std::string lastError() const { return m_driver->getLastError().toStdString(); }

    static inline DataMap s_map;
    static inline QString s_skip;
    static inline QString s_startError;
    static inline std::unique_ptr<PymodbusServer> s_server;

private:
    DriverInterface *m_driver = nullptr;
};

#endif // INTEROP_FIXTURE_H
