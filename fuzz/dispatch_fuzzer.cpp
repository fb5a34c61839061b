// Address texts, data types and counts through the runtime's read and write
// operations, with the device's replies from the input. The driver has
// loaded a small project (station 1 with a few DI and DO tags, station 2
// with one of each) before the first input, so every request passes its gate.
//
// Input layout (big-endian numbers):
//   operation     1 byte: 0x01 write (else read), 0x02 link down at the
//                 start, 0x04 the link cannot be reopened
//   data type     1 byte, signed
//   count         4 bytes, signed
//   retries       1 byte, modulo 4
//   station       1 byte
//   failing write 1 byte: that write (from 1) sends a byte less; 0 none
//   data length   2 bytes, then the data a write gets
//   address       1 byte length, then the address text in UTF-8
//   the rest      the device's replies (fuzz_device.h)

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "fuzz_device.h"
#include "support/project_files.h"

static DriverModbusRtuSlaveOverTcp *driver = nullptr;

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    const QStringList tags = {"DI1", "DI2", "DI3", "DI9", "DI16", "DI17", "DO1", "DO2", "DO8", "FN5DO4", "do20",
                              "2-DI5", "2-DO5", "HR100", "1-DI40"};
    FUZZ_CHECK(writeProjectDatabase(projectDatabasePath(), projectOnCom2(tags)), "the project cannot be written");
    driver = new DriverModbusRtuSlaveOverTcp;
    FUZZ_CHECK(driver->readDB("COM2"), "the project does not load: %s", qPrintable(driver->getLastError()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzInput input(bytes, size);
    const uint8_t operation = input.byte();
    const int dataType = int8_t(input.byte());
    const int count = input.int32();
    const int retries = input.byte() % 4;
    const int station = input.byte();
    const int failingWrite = input.byte();
    const QByteArray data = input.take(input.word());
    const QString address = QString::fromUtf8(input.take(input.byte()));

    FuzzDevice device(input, station);
    device.retries = retries;
    device.setFailingWrite(failingWrite);
    device.opened = !(operation & 0x02);
    device.openFails = operation & 0x04;
    const CommunicatorCommand command(dataType, count, address);
    if (operation & 0x01) {
        const bool ok = driver->write(&device, command, data);
        FUZZ_CHECK(ok == !driver->hasError(), "write of %s returned %d with the error flag %d", qPrintable(address), ok,
                   driver->hasError());
    } else {
        const QByteArray result = driver->read(&device, command);
        FUZZ_CHECK(!driver->hasError() || result.isEmpty(), "a failed read of %s returned %d bytes",
                   qPrintable(address), result.size());
    }
    // A failed request has an error text, with at most one request description appended.
    FUZZ_CHECK(!driver->hasError() || !driver->getLastError().isEmpty(), "a failed request without an error text");
    FUZZ_CHECK(driver->getLastError().size() < 4096, "an error text of %d characters", driver->getLastError().size());
    return 0;
}
