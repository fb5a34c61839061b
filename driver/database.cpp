// The project database gate and the valid bit address map: which DI and DO
// addresses the project has configured on each station of the link.

#include "modbus_rtu_slave_over_tcp.h"
#include "tag_address.h"
#include "../tools/tools.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

namespace {

const char *const SQLITE_DRIVER = "QSQLITE";
const char *const READ_ONLY_OPTION = "QSQLITE_OPEN_READONLY";
const char *const TAG_ADDRESSES_SQL = "SELECT address FROM custom_tag_table WHERE connector_id = %1";

// The thread that registered a connection is the calling one. (While the
// connection is registered its thread object lives, so the pointer is not
// that of a newer thread.)
bool registeredHere(const QThread *registeringThread)
{
    return registeringThread == QThread::currentThread();
}

} // namespace

bool DriverModbusRtuSlaveOverTcp::createDBConnection()
{
    if (QSqlDatabase::contains(connectionName)) {
        if (registeredHere(connectionThread))
            return true;
        // The SQL layer refuses a connection to every thread but the one that
        // registered it: a load begun on another thread left it behind. It is
        // dropped and the name registered again here.
        QSqlDatabase::removeDatabase(connectionName);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SQLITE_DRIVER), connectionName);
    connectionThread = QThread::currentThread();
    db.setDatabaseName(GetDatabaseName());
    db.setConnectOptions(QLatin1String(READ_ONLY_OPTION));
    return db.open();
}

bool DriverModbusRtuSlaveOverTcp::readDB(const QString &deviceString)
{
    // An open connection of another thread is of no use here: the load
    // starts again from the connection step.
    if (!databaseOpen || !registeredHere(connectionThread)) {
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
    QSqlDatabase::database(connectionName).close();
    databaseOpen = false;
    return true;
}

bool DriverModbusRtuSlaveOverTcp::initValidBitAddressesMap(int connectorId,
                                                           unsigned char defaultStation)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.exec(QString::fromLatin1(TAG_ADDRESSES_SQL).arg(connectorId));
    if (!query.isActive())
        return false;

    validBitAddressesMap.clear();
    while (query.next()) {
        const TagBit bit = ModbusRTUSlaveClassifyTagAddress(query.value(0).toString(), defaultStation);
        if (bit.area == TagBitArea::DI)
            validBitAddressesMapInsertDI(bit.station, bit.address);
        else if (bit.area == TagBitArea::DO)
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

bool DriverModbusRtuSlaveOverTcp::ensureValidBitAddresses(AbstractDeviceInterface *device)
{
    if (validBitAddressesLoaded)
        return true;
    const DeviceSetting *setting = device->deviceSetting();
    return readDB(setting ? setting->deviceString : QString());
}
