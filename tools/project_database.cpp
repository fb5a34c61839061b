// Where the project database lies, which HMI port a device string names, and
// the lookups of a link and its default station in that database.

#include "tools.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

// The database file carries the name of its directory.
const QString DATABASE_FILE = QStringLiteral("database");

const QString ETHERNET_DEVICE = QStringLiteral("ETHERNET");
const int ETHERNET_HMI_PORT = 2000;
// Numbered ports: the port number n is HMI port SERIAL_HMI_PORT_BASE + n.
const int SERIAL_HMI_PORT_BASE = 1001;

const char *const LINK_BY_HMI_PORT_SQL =
    "SELECT LINK.LINKID, NODE.STATIONID FROM LINK, NODE WHERE LINK.HMIPORT = %1 "
    "AND NODE.LINKID = LINK.LINKID AND NODE.ISDEFAULT = 1;";
const char *const DEFAULT_NODES_OF_LINK_SQL =
    "SELECT NODE.STATIONID FROM NODE WHERE NODE.LINKID = %1 AND NODE.ISDEFAULT = 1";
const char *const LINK_BY_HMI_PORT_AND_NODE_SQL =
    "SELECT LINK.LINKID, NODE.STATIONID FROM LINK, NODE WHERE LINK.HMIPORT = %1 "
    "AND NODE.LINKID = LINK.LINKID AND NODE.IP = '%2' AND NODE.PORT = %3 "
    "AND NODE.ISDEFAULT = 1;";

// Moves dir into its subdirectory name when that exists as a directory; a
// plain file of that name, or nothing, leaves dir where it is.
void enterIfDirectory(QDir &dir, const QString &name)
{
    if (QFileInfo(dir, name).isDir())
        dir.cd(name);
}

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Runs sql on the named connection, opening it when it is closed. A query
// that cannot run simply yields no rows.
QSqlQuery runQuery(const QString &connectionName, const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, true));
    query.setForwardOnly(true);
    query.exec(sql);
    return query;
}

unsigned char stationIdOf(const QVariant &value) { return (unsigned char)value.toUInt(); }

} // namespace

QDir GetCompilePath()
{
    QDir dir(QCoreApplication::applicationDirPath());
    enterIfDirectory(dir, COMPILE_PATH);
    return dir;
}

QString GetDatabaseName()
{
    QDir dir = GetCompilePath();
    enterIfDirectory(dir, DATABASE_PATH);
    return dir.absoluteFilePath(DATABASE_FILE);
}

int DevStrToHmiPort(const QString &deviceString)
{
    if (deviceString.startsWith(ETHERNET_DEVICE, Qt::CaseInsensitive))
        return ETHERNET_HMI_PORT;
    int digitsStart = deviceString.size();
    while (digitsStart > 0 && isAsciiDigit(deviceString.at(digitsStart - 1)))
        --digitsStart;
    // toInt gives 0 for no digits and for a number beyond 32 bits. The sum
    // wraps instead of overflowing; such a port names no link anyway.
    const int number = deviceString.mid(digitsStart).toInt();
    return int(unsigned(number) + unsigned(SERIAL_HMI_PORT_BASE));
}

bool GetLinkIdAndDefaultStationId(const QString &connectionName, int hmiPort, int &linkId,
                                  unsigned char &stationId)
{
    QSqlQuery query = runQuery(connectionName, QString::fromLatin1(LINK_BY_HMI_PORT_SQL).arg(hmiPort));
    if (!query.next())
        return false;
    linkId = query.value(0).toInt();
    stationId = stationIdOf(query.value(1));
    return true;
}

bool GetLinkIdAndDefaultStationId(const QString &connectionName, int linkId,
                                  QList<LinkIdStationId> &result)
{
    QSqlQuery query =
        runQuery(connectionName, QString::fromLatin1(DEFAULT_NODES_OF_LINK_SQL).arg(linkId));
    while (query.next())
        result.append(LinkIdStationId{linkId, stationIdOf(query.value(0))});
    return !result.isEmpty();
}

bool GetLinkIdAndDefaultStationId(const QString &connectionName, int hmiPort, const QString &ip,
                                  unsigned short port, QList<LinkIdStationId> &result)
{
    // One pass, so that an IP text holding %3 is inserted unchanged too.
    const QString sql = QString::fromLatin1(LINK_BY_HMI_PORT_AND_NODE_SQL)
                            .arg(QString::number(hmiPort), ip, QString::number(port));
    QSqlQuery query = runQuery(connectionName, sql);
    while (query.next())
        result.append(LinkIdStationId{query.value(0).toInt(), stationIdOf(query.value(1))});
    return !result.isEmpty();
}
