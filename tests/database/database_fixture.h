#ifndef DATABASE_FIXTURE_H
#define DATABASE_FIXTURE_H

// Shared by the tests that need the project database below the application
// directory: every test starts and ends without one.

#include <gtest/gtest.h>

#include <QSet>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/project_files.h"
#include "support/qt_printers.h"
#include "support/read_replies.h"
#include "support/scripted_device.h"

class ProjectTest : public ::testing::Test
{
protected:
    void SetUp() override { removeProjectDirectories(); }
    void TearDown() override { removeProjectDirectories(); }

    static void writeProject(const ProjectRows &rows)
    {
        ASSERT_TRUE(writeProjectDatabase(projectDatabasePath(), rows));
    }
};

enum class Area { DI, DO };

// The addresses of [start, start + 8 * bytes) that the driver's map holds for
// the station: a byte read against a slave whose every bit is on returns
// exactly the configured bits.
inline QSet<int> configuredAddresses(DriverModbusRtuSlaveOverTcp &driver, int station, Area area,
                                     unsigned short start, int bytes = 2)
{
    ScriptedDevice device(station);
    device.setResponder([](const QByteArray &request) { return replyToRead(request); });
    const QByteArray bits = area == Area::DI ? driver.readBytesFromDI(&device, start, bytes)
                                             : driver.readBytesFromDO(&device, start, bytes);
    QSet<int> found;
    for (int i = 0; i < 8 * bits.size(); ++i) {
        if ((unsigned char)bits.at(i / 8) & (1 << (i % 8)))
            found.insert((start + i) % 65536);
    }
    return found;
}

#endif // DATABASE_FIXTURE_H
