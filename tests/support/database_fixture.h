#ifndef DATABASE_FIXTURE_H
#define DATABASE_FIXTURE_H

// Shared by the tests that need the project database below the application
// directory: every test starts and ends without one.

#include <gtest/gtest.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/project_files.h"
#include "support/qt_printers.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

// A driver and a healthy station-1 device on COM2.
class ProjectTest : public ::testing::Test
{
protected:
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;

    void SetUp() override
    {
        removeProjectDirectories();
        device.responder = healthyStation();
    }
    void TearDown() override { removeProjectDirectories(); }
    static void writeProject(const ProjectRows &rows)
    {
        ASSERT_TRUE(writeProjectDatabase(projectDatabasePath(), rows));
    }
};

#endif // DATABASE_FIXTURE_H
