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

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "fuzz_device.h"
#include "fuzz_input.h"
#include "fuzz_project.h"
#include "fuzz_support.h"

namespace {

DriverModbusRtuSlaveOverTcp *driver = nullptr;

QList<TagRow> projectTags()
{
    QList<TagRow> rows;
    for (const char *address : {"DI1", "DI2", "DI3", "DI9", "DI16", "DI17", "DO1", "DO2", "DO8",
                                "FN5DO4", "do20", "2-DI5", "2-DO5", "HR100", "1-DI40"})
        rows.append(TagRow{QString::fromLatin1(address), 1});
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    {
        ProjectDatabase project;
        project.write(1, projectTags());
    }
    driver = new DriverModbusRtuSlaveOverTcp;
    FUZZ_CHECK(driver->readDB(QStringLiteral("COM2")), "the project does not load: %s",
               qPrintable(driver->getLastError()));
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
    device.setRetryCount(retries);
    device.setFailingWrite(failingWrite);
    device.setOpen(!(operation & 0x02));
    device.setOpenFails(operation & 0x04);
    const CommunicatorCommand command(dataType, count, address);

    if (operation & 0x01) {
        const bool ok = driver->write(&device, command, data);
        FUZZ_CHECK(ok == !driver->hasError(), "write of %s returned %s with the error flag %s",
                   qPrintable(address), ok ? "true" : "false", driver->hasError() ? "set" : "clear");
    } else {
        const QByteArray result = driver->read(&device, command);
        FUZZ_CHECK(!driver->hasError() || result.isEmpty(), "a failed read of %s returned %d bytes",
                   qPrintable(address), result.size());
    }
    if (fuzzTrace())
        fprintf(stderr, "%s %s, %d requests: %s\n", (operation & 0x01) ? "write" : "read",
                qPrintable(address), device.writes(),
                driver->hasError() ? qPrintable(driver->getLastError()) : "ok");
    FUZZ_CHECK(!driver->hasError() || !driver->getLastError().isEmpty(),
               "a failed request without an error text");
    // A request ends with at most one request description appended.
    FUZZ_CHECK(driver->getLastError().size() < 4096, "an error text of %d characters",
               driver->getLastError().size());
    return 0;
}
