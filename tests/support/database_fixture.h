#ifndef DATABASE_FIXTURE_H
#define DATABASE_FIXTURE_H

// Shared by the tests that need the project database below the application
// directory: every test starts and ends without one.

#include <gtest/gtest.h>

#include <QSet>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "support/frames.h"
#include "support/project_files.h"
#include "support/qt_printers.h"
#include "support/read_replies.h"
#include "support/scripted_device.h"

inline void answerEveryRead(ScriptedDevice &device)
{
    device.setResponder([](const QByteArray &request) { return replyToRead(request); });
}

// A driver and a station-1 device on COM2 that answers every read, all bits on.
class ProjectTest : public ::testing::Test
{
protected:
    DriverModbusRtuSlaveOverTcp driver;
    ScriptedDevice device;

    void SetUp() override
    {
        removeProjectDirectories();
        answerEveryRead(device);
    }
    void TearDown() override { removeProjectDirectories(); }

    static void writeProject(const ProjectRows &rows)
    {
        ASSERT_TRUE(writeProjectDatabase(projectDatabasePath(), rows));
    }
    QByteArray read(int type, int count, const char *address)
    {
        return driver.read(&device, CommunicatorCommand(type, count, QString::fromLatin1(address)));
    }
    QString error() { return driver.getLastError(); }
};

// The device's events in short: D delay, O open, C close, and for each frame
// written W or, with requests set, the read request's "address+quantity". The
// driver's calls to read bytes are left out.
inline QString trace(const ScriptedDevice &device, bool requests = false)
{
    QStringList items;
    for (const QString &event : device.events) {
        const ReadRequest r = parseReadRequest(hex(event.mid(6).toLatin1().constData()));
        if (event.startsWith("write"))
            items << (requests ? QStringLiteral("%1+%2").arg(r.address).arg(r.quantity) : "W");
        else if (!event.startsWith("read"))
            items << event.left(1).toUpper();
    }
    return items.join(' ');
}

enum class Area { DI, DO };

// The addresses of [start, start + 8 * bytes) that the driver's map holds for
// the station: a byte read against a slave whose every bit is on returns
// exactly the configured bits.
inline QSet<int> configuredAddresses(DriverModbusRtuSlaveOverTcp &driver, int station, Area area,
                                     unsigned short start, int bytes = 2)
{
    ScriptedDevice device(station);
    answerEveryRead(device);
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
