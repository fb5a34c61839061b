// Descriptions of a failed request, appended to the last error so that the
// runtime reads what went wrong and which request it was.

#include "modbus_rtu_slave_over_tcp.h"

namespace {

// Prefix formats indexed by data type, BitData to DoubleWordData; other
// types get no description.
const char *const ReadPrefixes[] = {" (read %d bit(s) from %d-", " (read %d byte(s) from %d-",
                                    " (read %d word(s) from %d-", " (read %d dword(s) from %d-"};
const char *const WritePrefixes[] = {" (write %d bit to %d-", " (write %d byte to %d-",
                                     " (write %d word to %d-", " (write %d dword to %d-"};

QString describe(const char *const prefixes[], unsigned char station,
                 const CommunicatorCommand &command)
{
    const int type = command.dataType();
    if (type < BitData || type > DoubleWordData)
        return QString();
    return QString::asprintf(prefixes[type], command.count(), int(station)) + command.address()
           + QLatin1Char(')');
}

} // namespace

void DriverModbusRtuSlaveOverTcp::appendCmdToReadCommError(unsigned char station,
                                                           const CommunicatorCommand &command)
{
    lastError += describe(ReadPrefixes, station, command);
}

void DriverModbusRtuSlaveOverTcp::appendCmdToWriteCommError(unsigned char station,
                                                            const CommunicatorCommand &command)
{
    lastError += describe(WritePrefixes, station, command);
}
