// The project database gate and the valid bit address map: which DI and DO
// addresses the project has configured on each station of the link.

#include "modbus_rtu_slave_over_tcp.h"
#include "../tools/tools.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

const char *const SQLITE_DRIVER = "QSQLITE";
const char *const READ_ONLY_OPTION = "QSQLITE_OPEN_READONLY";
const char *const TAG_ADDRESSES_SQL = "SELECT address FROM custom_tag_table WHERE connector_id = %1";

const int DECIMAL = 10;
// FN5DO17 is read from its DO17 part.
const int FN5_LENGTH = 3;

enum class BitArea { None, DI, DO };

// One tag address as the map sees it: a configured bit of a station, or
// nothing (register tags and anything unreadable).
struct TagBit
{
    BitArea area = BitArea::None;
    unsigned char station = 0;
    unsigned short address = 0;
};

// Tag numbers are one-based; the map keeps zero-based 16-bit addresses, so an
// unreadable number (0) becomes 65535 and larger ones wrap.
unsigned short zeroBased(int number) { return (unsigned short)(number - 1); }

TagBit defaultStationBit(BitArea area, unsigned char station, int number)
{
    TagBit bit;
    bit.area = area;
    bit.station = station;
    bit.address = zeroBased(number);
    return bit;
}

// Addresses such as 2-DI7 or 3-fn5do2 name their station; the pattern is
// anchored, so only a text that starts with digits can match it.
TagBit stationPrefixedBit(const QString &text, QRegExp &pattern)
{
    if (text.isEmpty() || !text.at(0).isDigit() || pattern.indexIn(text) != 0)
        return TagBit();
    TagBit bit;
    bit.area = pattern.cap(2).toUpper().startsWith(QLatin1String("DI")) ? BitArea::DI : BitArea::DO;
    bit.station = (unsigned char)pattern.cap(1).toUInt();
    bit.address = zeroBased(pattern.cap(3).toInt());
    return bit;
}

// The first matching rule decides; prefixes are compared without case.
TagBit classifyTag(const QString &text, unsigned char defaultStation, QRegExp &pattern)
{
    if (text.startsWith(QLatin1String("FN5DO"), Qt::CaseInsensitive))
        return defaultStationBit(BitArea::DO, defaultStation,
                                 ExtractPLCDeviceAddress(text.mid(FN5_LENGTH), DECIMAL));
    if (text.startsWith(QLatin1String("DI"), Qt::CaseInsensitive))
        return defaultStationBit(BitArea::DI, defaultStation, ExtractPLCDeviceAddress(text, DECIMAL));
    if (text.startsWith(QLatin1String("DO"), Qt::CaseInsensitive))
        return defaultStationBit(BitArea::DO, defaultStation, ExtractPLCDeviceAddress(text, DECIMAL));
    return stationPrefixedBit(text, pattern);
}

} // namespace

bool DriverModbusRtuSlaveOverTcp::createDBConnection()
{
    if (QSqlDatabase::contains(connectionName))
        return true;
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SQLITE_DRIVER), connectionName);
    db.setDatabaseName(GetDatabaseName());
    db.setConnectOptions(QLatin1String(READ_ONLY_OPTION));
    return db.open();
}

bool DriverModbusRtuSlaveOverTcp::readDB(const QString &deviceString)
{
    if (!databaseOpen) {
        if (validBitAddressesLoaded)
            return true;
        databaseOpen = createDBConnection();
        if (!databaseOpen) {
            setCommError(QStringLiteral("can not open database"));
            return false;
        }
    }
    if (validBitAddressesLoaded)
        return true;

    int linkId = 0;
    unsigned char defaultStation = 0;
    if (!GetLinkIdAndDefaultStationId(connectionName, DevStrToHmiPort(deviceString), linkId,
                                      defaultStation)) {
        setCommError(QStringLiteral("failed to get default station id"));
        return false;
    }
    if (!initValidBitAddressesMap(linkId, defaultStation)) {
        setCommError(QStringLiteral("failed to initialize valid bit addresses table"));
        return false;
    }

    // Loaded for good: the connection is closed but stays registered.
    validBitAddressesLoaded = true;
    QSqlDatabase::database(connectionName, true).close();
    databaseOpen = false;
    return true;
}

bool DriverModbusRtuSlaveOverTcp::initValidBitAddressesMap(int connectorId,
                                                           unsigned char defaultStation)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, true));
    query.setForwardOnly(true);
    query.exec(QString::fromLatin1(TAG_ADDRESSES_SQL).arg(connectorId));
    if (!query.isActive())
        return false;

    validBitAddressesMap.clear();
    while (query.next()) {
        const TagBit bit = classifyTag(query.value(0).toString(), defaultStation, bitAddressRegExp);
        if (bit.area == BitArea::DI)
            validBitAddressesMapInsertDI(bit.station, bit.address);
        else if (bit.area == BitArea::DO)
            validBitAddressesMapInsertDO(bit.station, bit.address);
    }

    // The sets were filled in database order; searching needs them sorted.
    for (auto entry = validBitAddressesMap.begin(); entry != validBitAddressesMap.end(); ++entry) {
        entry->DISetSort();
        entry->DOSetSort();
    }
    return true;
}

void DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDI(unsigned char station,
                                                               unsigned short address)
{
    // operator[] creates the station's empty entry when it has none.
    validBitAddressesMap[station].DISetPush(address);
}

void DriverModbusRtuSlaveOverTcp::validBitAddressesMapInsertDO(unsigned char station,
                                                               unsigned short address)
{
    validBitAddressesMap[station].DOSetPush(address);
}
