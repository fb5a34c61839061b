// The demo: a simulated slave on a free loopback port, a project database
// for it, and a tour through the driver plug-in, loaded as the runtime loads
// it. Every step prints its frames and values and is checked against what it
// must give: read data, the slave's map after a write, or the error text of
// the one request that has to fail. Exit status 0 only when every step did.

#include <QCoreApplication>
#include <QTextStream>
#include <cstring>
#include <functional>
#include <vector>

#include "host/device/frame_trace.h"
#include "host/device/tcp_device.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/runtime/runtime_values.h"
#include "host/sim/sim_slave.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

namespace {

constexpr int kStation = 1;
constexpr int kTimeoutMs = 1000;
const char kLink[] = "COM2";
// DI9 and DI10 are on in the slave but not configured: the sparse byte read
// must leave them 0 and fetch the two runs DI1-8 and DI11-12 separately.
const char kDemoTags[] = "DI1-8,DI11-12,DO1-16";

// ---- Data in the runtime's order -------------------------------------------

QByteArray littleEndian(const std::vector<quint32> &values, int width)
{
    QByteArray bytes;
    for (quint32 value : values) {
        for (int i = 0; i < width; ++i)
            bytes.append(char((value >> (8 * i)) & 0xFF));
    }
    return bytes;
}

QByteArray words(const std::vector<quint32> &values)
{
    return littleEndian(values, 2);
}

QByteArray dwords(const std::vector<quint32> &values)
{
    return littleEndian(values, 4);
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// ---- What the slave must hold after a write ---------------------------------

enum class Table { None, Coils, HoldingRegisters };

struct SlaveExpectation
{
    Table table = Table::None;
    int first = 0; // zero-based
    std::vector<int> values;
};

int slaveValue(const sim::SlaveData &data, Table table, int address)
{
    return table == Table::Coils ? data.coils[std::size_t(address)] : data.holdingRegisters[std::size_t(address)];
}

// ---- The tour ----------------------------------------------------------------

struct DemoStep
{
    const char *title;
    bool write;
    DataType type;
    int count;
    const char *address;
    QByteArray data;                 // written, or expected from a read
    SlaveExpectation slave;          // checked after a write
    const char *expectedError;       // the step must fail with this text
};

std::vector<DemoStep> tour()
{
    using T = Table;
    return {
        {"Words: function 16 writes three registers", true, WordData, 3, "HR1", words({1, 2, 0xBEEF}),
         {T::HoldingRegisters, 0, {1, 2, 0xBEEF}}, nullptr},
        {"Words: function 3 reads them back", false, WordData, 3, "HR1", words({1, 2, 0xBEEF}), {}, nullptr},
        {"Words: function 4 reads input registers", false, WordData, 2, "IR1", words({1234, 0xFFFF}), {}, nullptr},
        {"Double word, low-order word first", true, DoubleWordData, 1, "HR11", dwords({0x12345678}),
         {T::HoldingRegisters, 10, {0x5678, 0x1234}}, nullptr},
        {"Double word read, low-order word first", false, DoubleWordData, 1, "HR11", dwords({0x12345678}), {}, nullptr},
        {"Double word, high-order word first (SW)", true, DoubleWordData, 1, "HR21SW", dwords({0x12345678}),
         {T::HoldingRegisters, 20, {0x1234, 0x5678}}, nullptr},
        {"Double word read, high-order word first (SW)", false, DoubleWordData, 1, "HR21SW", dwords({0x12345678}), {},
         nullptr},
        {"Double word holding a float", true, DoubleWordData, 1, "HR31", dwords({floatBits(21.5f)}),
         {T::HoldingRegisters, 30, {int(floatBits(21.5f) & 0xFFFF), int(floatBits(21.5f) >> 16)}}, nullptr},
        {"Double word read as a float", false, DoubleWordData, 1, "HR31", dwords({floatBits(21.5f)}), {}, nullptr},
        {"Bytes: three bytes into two registers", true, ByteData, 3, "HR41", QByteArray("\x11\x22\x33", 3),
         {T::HoldingRegisters, 40, {0x2211, 0x0033}}, nullptr},
        {"Bytes read back", false, ByteData, 3, "HR41", QByteArray("\x11\x22\x33", 3), {}, nullptr},
        {"Bit inside a register: read, change bit 3, write back", true, BitData, 1, "HR51.3", QByteArray(1, 1),
         {T::HoldingRegisters, 50, {0x00F8}}, nullptr},
        {"Bits inside a register read", false, BitData, 8, "HR51.0", QByteArray(1, char(0xF8)), {}, nullptr},
        {"Coils: function 15 writes ten coils", true, BitData, 10, "DO1", QByteArray("\xCD\x01", 2),
         {T::Coils, 0, {1, 0, 1, 1, 0, 0, 1, 1, 1, 0}}, nullptr},
        {"Coils: function 1 reads them back", false, BitData, 10, "DO1", QByteArray("\xCD\x01", 2), {}, nullptr},
        {"Coils: function 5 writes three coils one by one", true, BitData, 3, "FN5DO17", QByteArray(1, 0x05),
         {T::Coils, 16, {1, 0, 1}}, nullptr},
        {"Coils read back", false, BitData, 3, "FN5DO17", QByteArray(1, 0x05), {}, nullptr},
        {"Registers: function 6 writes two registers one by one", true, WordData, 2, "FN6HR61",
         words({0x0102, 0x0304}), {T::HoldingRegisters, 60, {0x0102, 0x0304}}, nullptr},
        {"Registers read back", false, WordData, 2, "HR61", words({0x0102, 0x0304}), {}, nullptr},
        {"Sparse DI byte read: only the configured DI1-8 and DI11-12", false, ByteData, 2, "DI1",
         QByteArray("\xFF\x0C", 2), {}, nullptr},
        {"A failing request: 2008 inputs are more than the slave serves", false, BitData, 2008, "DI1",
         QByteArray(), {}, "exception code:0x03 (read 2008 bit(s) from 1-DI1)"},
    };
}

void presetSlave(sim::SlaveData &data)
{
    data.inputRegisters[0] = 1234;
    data.inputRegisters[1] = 0xFFFF;
    data.holdingRegisters[50] = 0x00F0;
    for (int i = 0; i < 16; ++i)
        data.discreteInputs[std::size_t(i)] = 1;
}

// ---- Running it ----------------------------------------------------------------

class Demo
{
public:
    Demo(QTextStream &out, sim::SimSlave &slave, DriverInterface *driver, TcpDevice &device, FrameTrace &trace)
        : m_out(out), m_slave(slave), m_driver(driver), m_device(device), m_trace(trace)
    {
    }

    // True when the step gave what it must.
    bool run(int number, const DemoStep &step);

private:
    QString describe(const DemoStep &step) const;
    QString checkRead(const DemoStep &step, const DeviceAddress &address, const QByteArray &data);
    QString checkWrite(const DemoStep &step);

    QTextStream &m_out;
    sim::SimSlave &m_slave;
    DriverInterface *m_driver;
    TcpDevice &m_device;
    FrameTrace &m_trace;
};

QString Demo::describe(const DemoStep &step) const
{
    return QStringLiteral("%1 %2 %3(s) %4 %5")
        .arg(step.write ? QStringLiteral("write") : QStringLiteral("read"))
        .arg(step.count)
        .arg(dataTypeName(step.type), step.write ? QStringLiteral("to") : QStringLiteral("from"),
             QLatin1String(step.address));
}

bool Demo::run(int number, const DemoStep &step)
{
    m_out << QStringLiteral("\n%1. %2\n   %3\n").arg(number).arg(QLatin1String(step.title), describe(step));
    m_out.flush();
    DeviceAddress address;
    QString problem;
    parseDeviceAddress(QLatin1String(step.address), &address, &problem);
    const CommunicatorCommand command(step.type, step.count, QLatin1String(step.address));
    QByteArray data;
    if (step.write)
        m_driver->write(&m_device, command, step.data);
    else
        data = m_driver->read(&m_device, command);
    m_trace.flush();
    const bool failed = m_driver->hasError();
    const QString error = m_driver->getLastError();

    if (step.expectedError) {
        m_out << "   error: " << error << '\n';
        if (!failed || error != QLatin1String(step.expectedError))
            problem = QStringLiteral("expected the error \"%1\"").arg(QLatin1String(step.expectedError));
    } else if (failed) {
        problem = QStringLiteral("the driver failed: %1").arg(error);
    } else {
        problem = step.write ? checkWrite(step) : checkRead(step, address, data);
    }
    m_out << (problem.isEmpty() ? QStringLiteral("   ok\n") : QStringLiteral("   FAILED: %1\n").arg(problem));
    m_out.flush();
    return problem.isEmpty();
}

QString Demo::checkRead(const DemoStep &step, const DeviceAddress &address, const QByteArray &data)
{
    for (const QString &line : formatRowsAsText(step.type, decodeReadValues(address, step.type, step.count, data))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        m_out << "   " << line << '\n';
    if (data != step.data) {
        return QStringLiteral("expected %1, got %2")
            .arg(QString::fromLatin1(step.data.toHex(' ')), QString::fromLatin1(data.toHex(' ')));
    }
    return QString();
}

QString Demo::checkWrite(const DemoStep &step)
{
    const SlaveExpectation &expected = step.slave;
    const std::vector<int> actual = m_slave.withData([&expected](sim::SlaveData &data) {
        std::vector<int> values;
        for (std::size_t i = 0; i < expected.values.size(); ++i)
            values.push_back(slaveValue(data, expected.table, expected.first + int(i)));
        return values;
    });
    QStringList shown;
    for (int value : actual)
        shown.append(expected.table == Table::Coils ? QString::number(value)
                                                    : QLatin1String("0x") + QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper());
    m_out << QStringLiteral("   slave %1 from address %2: %3\n")
                 .arg(expected.table == Table::Coils ? QStringLiteral("coils") : QStringLiteral("registers"))
                 .arg(expected.first)
                 .arg(shown.join(QLatin1Char(' ')));
    return actual == expected.values ? QString() : QStringLiteral("the slave does not hold the written values");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    sim::SimSlave slave;
    slave.withData(presetSlave);
    QString error;
    if (!slave.start(&error)) {
        err << "demo: cannot start the simulated slave: " << error << '\n';
        return 1;
    }
    ProjectSetup project;
    project.link = QLatin1String(kLink);
    project.station = kStation;
    project.nodePort = slave.port();
    const QString databasePath = projectDatabasePath(QCoreApplication::applicationDirPath());
    if (!expandTagList(QLatin1String(kDemoTags), &project.tagAddresses, &error)
        || !writeProjectDatabase(databasePath, project, &error)) {
        err << "demo: cannot write the project database: " << error << '\n';
        return 1;
    }
    DriverPlugin plugin;
    if (!plugin.load(pluginSearchDirs(QString(), qEnvironmentVariable(kPluginDirEnvironment),
                                      QCoreApplication::applicationDirPath()),
                     &error)) {
        err << "demo: " << error << '\n';
        return 1;
    }
    out << "driver  " << plugin.driver()->name() << ' ' << plugin.driver()->getVersionNumber() << " from "
        << plugin.fileName() << '\n'
        << "slave   127.0.0.1:" << slave.port() << ", station " << kStation << '\n'
        << "project " << databasePath << ", link " << kLink << ", tags " << kDemoTags << '\n';

    TcpDeviceSettings settings;
    settings.port = slave.port();
    settings.stationId = kStation;
    settings.responseTimeoutMs = kTimeoutMs;
    settings.connectTimeoutMs = kTimeoutMs;
    settings.deviceString = QLatin1String(kLink);
    TcpDevice device(settings);
    FrameTrace trace([&out](const TraceEntry &entry) { out << "   " << formatTraceEntry(entry) << '\n'; });
    device.setTrace(&trace);

    Demo demo(out, slave, plugin.driver(), device, trace);
    const std::vector<DemoStep> steps = tour();
    int good = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const bool ok = demo.run(int(i) + 1, steps[i]);
        good += ok ? 1 : 0;
    }
    device.close();
    out << QStringLiteral("\ndemo: %1 of %2 steps gave the expected values\n").arg(good).arg(steps.size());
    return good == int(steps.size()) ? 0 : 1;
}
