#include "host/runtime/project_db.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <functional>

#include "host/runtime/device_address.h"

namespace {

constexpr int kEthernetHmiPort = 2000;
constexpr int kSerialHmiPortBase = 1001;
constexpr int kMaxStation = 255;
const char kEthernetPrefix[] = "ETHERNET";
const char kCompileDir[] = "compile";
const char kDatabaseDir[] = "database";
const char kDatabaseFile[] = "database";

const char *const kSchema[] = {
    "CREATE TABLE LINK (LINKID INTEGER, HMIPORT INTEGER)",
    "CREATE TABLE NODE (LINKID INTEGER, STATIONID INTEGER, ISDEFAULT INTEGER, IP TEXT, PORT INTEGER)",
    "CREATE TABLE custom_tag_table (address TEXT, connector_id INTEGER)",
    "CREATE TABLE mbrtu_serial_line (HMIPORT INTEGER, PORT TEXT, BAUD INTEGER, DATABITS INTEGER, PARITY TEXT, "
    "STOPBITS INTEGER)",
};

bool expandTagItem(const QString &item, QStringList *addresses, QString *error)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:([0-9]+)-)?([A-Z0-9]*?)([0-9]+)(?:-([0-9]+))?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(item);
    if (!match.hasMatch()) {
        *error = QStringLiteral("cannot read tag '%1': expected [STATION-]AREA FIRST[-LAST], as in DI1-64 or 2-DI5")
                     .arg(item);
        return false;
    }
    DeviceAddress first;
    if (!parseDeviceAddress(match.captured(2) + match.captured(3), &first, error))
        return false;
    const int last = match.captured(4).isEmpty() ? first.number : match.captured(4).toInt();
    if (last < first.number || last > kAddressCount) {
        *error = QStringLiteral("tag '%1': the range must run upwards and end at %2 at most").arg(item).arg(kAddressCount);
        return false;
    }
    QString prefix;
    if (!match.captured(1).isEmpty()) {
        const int station = match.captured(1).toInt();
        if (station > kMaxStation) {
            *error = QStringLiteral("tag '%1': station %2 is above 255").arg(item).arg(match.captured(1));
            return false;
        }
        prefix = QString::number(station) + QLatin1Char('-');
    }
    const QString area = areaName(first.area);
    for (int number = first.number; number <= last; ++number)
        addresses->append(prefix + area + QString::number(number));
    return true;
}

bool run(QSqlQuery &query, const QString &statement, QString *error)
{
    if (query.exec(statement))
        return true;
    *error = query.lastError().text();
    return false;
}

bool fillDatabase(QSqlDatabase &db, const ProjectSetup &setup, int hmiPort, QString *error)
{
    QSqlQuery query(db);
    for (const char *statement : kSchema) {
        if (!run(query, QLatin1String(statement), error))
            return false;
    }
    query.prepare(QStringLiteral("INSERT INTO LINK (LINKID, HMIPORT) VALUES (?, ?)"));
    query.addBindValue(setup.linkId);
    query.addBindValue(hmiPort);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    query.prepare(QStringLiteral("INSERT INTO NODE (LINKID, STATIONID, ISDEFAULT, IP, PORT) VALUES (?, ?, 1, ?, ?)"));
    query.addBindValue(setup.linkId);
    query.addBindValue(setup.station);
    query.addBindValue(setup.nodeIp);
    query.addBindValue(setup.nodePort);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    if (!setup.serialPort.isEmpty()) {
        query.prepare(QStringLiteral("INSERT INTO mbrtu_serial_line VALUES (?, ?, ?, ?, ?, ?)"));
        for (const QVariant &value : {QVariant(hmiPort), QVariant(setup.serialPort), QVariant(setup.baud),
                                      QVariant(setup.dataBits), QVariant(QString(QLatin1Char(setup.parity))),
                                      QVariant(setup.stopBits)})
            query.addBindValue(value);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
    }
    QVariantList addresses;
    QVariantList connectors;
    for (const QString &address : setup.tagAddresses) {
        addresses.append(address);
        connectors.append(setup.linkId);
    }
    query.prepare(QStringLiteral("INSERT INTO custom_tag_table (address, connector_id) VALUES (?, ?)"));
    query.addBindValue(addresses);
    query.addBindValue(connectors);
    if (!addresses.isEmpty() && !query.execBatch()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

QString uniqueConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("mbrtu_project_%1").arg(counter++);
}

} // namespace

int hmiPortForDevice(const QString &deviceString)
{
    if (deviceString.startsWith(QLatin1String(kEthernetPrefix), Qt::CaseInsensitive))
        return kEthernetHmiPort;
    int start = deviceString.size();
    while (start > 0 && deviceString[start - 1].isDigit() && deviceString[start - 1].unicode() < 128)
        --start;
    if (start == deviceString.size() || start == 0)
        return -1;
    bool ok = false;
    const int n = deviceString.mid(start).toInt(&ok);
    return ok ? kSerialHmiPortBase + n : -1;
}

bool expandTagList(const QString &text, QStringList *addresses, QString *error)
{
    addresses->clear();
    const QStringList items = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &item : items) {
        if (!expandTagItem(item.trimmed(), addresses, error))
            return false;
    }
    return true;
}

QString projectDatabasePath(const QString &appDir)
{
    return QDir(appDir).filePath(QStringLiteral("%1/%2/%3").arg(QLatin1String(kCompileDir), QLatin1String(kDatabaseDir),
                                                               QLatin1String(kDatabaseFile)));
}

bool writeProjectDatabase(const QString &path, const ProjectSetup &setup, QString *error)
{
    const int hmiPort = hmiPortForDevice(setup.link);
    if (hmiPort < 0) {
        *error = QStringLiteral("link '%1' names no HMI port: use COMn or ETHERNET").arg(setup.link);
        return false;
    }
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath())) {
        *error = QStringLiteral("cannot create directory %1").arg(file.absolutePath());
        return false;
    }
    if (file.exists() && !QFile::remove(path)) {
        *error = QStringLiteral("cannot replace %1").arg(path);
        return false;
    }
    const QString connection = uniqueConnectionName();
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            *error = QStringLiteral("cannot create %1: %2").arg(path, db.lastError().text());
        } else {
            db.transaction();
            written = fillDatabase(db, setup, hmiPort, error);
            written = written ? db.commit() : (db.rollback(), false);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return written;
}

namespace {

// Runs the query over the link's HMI port on a read-only connection of its
// own; take() reads the rows. False when the database cannot be opened or the
// query fails.
bool queryLink(const QString &path, const QString &sql, const QString &link,
               const std::function<bool(QSqlQuery &)> &take)
{
    if (!QFileInfo(path).isFile())
        return false;
    const QString name = uniqueConnectionName();
    bool found = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(sql);
            query.addBindValue(hmiPortForDevice(link));
            found = query.exec() && take(query);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

} // namespace

bool readProjectNodeAddress(const QString &path, const QString &link, QString *ip, int *port)
{
    return queryLink(path,
                     QStringLiteral("SELECT NODE.IP, NODE.PORT FROM NODE JOIN LINK ON NODE.LINKID = LINK.LINKID "
                                    "WHERE LINK.HMIPORT = ? AND NODE.ISDEFAULT = 1"),
                     link, [&](QSqlQuery &query) {
                         if (!query.next() || query.value(0).toString().isEmpty())
                             return false;
                         *ip = query.value(0).toString();
                         *port = query.value(1).toInt();
                         return true;
                     });
}

bool readProjectTags(const QString &path, const QString &link, QStringList *addresses)
{
    addresses->clear();
    return queryLink(path,
                     QStringLiteral("SELECT address FROM custom_tag_table WHERE connector_id IN "
                                    "(SELECT LINKID FROM LINK WHERE HMIPORT = ?) ORDER BY rowid"),
                     link, [&](QSqlQuery &query) {
                         while (query.next())
                             addresses->append(query.value(0).toString());
                         return true;
                     });
}

bool readProjectSetup(const QString &path, const QString &link, ProjectSetup *setup)
{
    setup->link = link;
    const bool found = queryLink(path,
                                 QStringLiteral("SELECT LINK.LINKID, NODE.STATIONID, NODE.IP, NODE.PORT FROM LINK "
                                                "JOIN NODE ON NODE.LINKID = LINK.LINKID "
                                                "WHERE LINK.HMIPORT = ? AND NODE.ISDEFAULT = 1"),
                                 link, [&](QSqlQuery &query) {
                                     if (!query.next())
                                         return false;
                                     setup->linkId = query.value(0).toInt();
                                     setup->station = query.value(1).toInt();
                                     setup->nodeIp = query.value(2).toString();
                                     setup->nodePort = query.value(3).toInt();
                                     return true;
                                 });
    if (!found || !readProjectTags(path, link, &setup->tagAddresses))
        return false;
    readProjectSerialLine(path, link, setup);
    return true;
}

bool readProjectSerialLine(const QString &path, const QString &link, ProjectSetup *setup)
{
    // A database written before the table existed has no serial line.
    return queryLink(path,
                     QStringLiteral("SELECT PORT, BAUD, DATABITS, PARITY, STOPBITS FROM mbrtu_serial_line "
                                    "WHERE HMIPORT = ?"),
                     link, [&](QSqlQuery &query) {
                         if (!query.next() || query.value(0).toString().isEmpty())
                             return false;
                         setup->serialPort = query.value(0).toString();
                         setup->baud = query.value(1).toInt();
                         setup->dataBits = query.value(2).toInt();
                         const QString parity = query.value(3).toString();
                         setup->parity = parity.isEmpty() ? 'E' : parity.at(0).toLatin1();
                         setup->stopBits = query.value(4).toInt();
                         return true;
                     });
}

QString compactTagList(const QStringList &addresses)
{
    static const QRegularExpression split(QStringLiteral("^(.*?)(\\d+)$"));
    QStringList runs;
    QString prefix;
    int first = -1;
    int last = -1;
    const auto close = [&]() {
        if (first >= 0)
            runs.append(prefix + QString::number(first) + (last > first ? QStringLiteral("-%1").arg(last) : QString()));
    };
    for (const QString &address : addresses) {
        const QRegularExpressionMatch match = split.match(address);
        const int number = match.captured(2).toInt();
        if (match.hasMatch() && first >= 0 && match.captured(1) == prefix && number == last + 1) {
            last = number;
            continue;
        }
        close();
        prefix = match.hasMatch() ? match.captured(1) : address;
        first = last = match.hasMatch() ? number : -1;
        if (!match.hasMatch())
            runs.append(address);
    }
    close();
    return runs.join(QLatin1Char(','));
}
