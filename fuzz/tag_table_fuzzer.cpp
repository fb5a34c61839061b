// Contents of the project's tag table through the driver's database gate.
// Every input is written as the rows of custom_tag_table into the project
// database, and a new driver loads it.
//
// Input: text lines, one tag address each (UTF-8). A line starting with '#'
// belongs to another link (connector 2) and must be ignored; a first line
// "@n" makes n the station id of the link's default node (default 1).
//
// Besides surviving the load, the driver must have taken every tag whose
// address is plainly a coil or input of a station: [station-]DI|DO|FN5DO
// followed by a number from 1 to 65536, the station being 0 to 255. One such
// station and area is read back with a sparse byte read over the span of its
// addresses from a device that answers every bit with 1: each of those
// addresses must come back set.

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "fuzz_support.h"
#include "support/project_files.h"
#include "support/scripted_device.h"
#include "support/station_replies.h"

namespace {

using Key = std::pair<int, bool>; // station, coils (else inputs)

// The tags of the link whose meaning is beyond doubt, by station and area, zero-based.
QMap<Key, QSet<int>> plainBitTags(const QVariantList &addresses, const QVariantList &connectors, int defaultStation)
{
    static const QRegularExpression plain(QStringLiteral("^(?:(\\d{1,3})-)?(FN5DO|DO|DI)(\\d{1,5})$"),
                                          QRegularExpression::CaseInsensitiveOption);
    QMap<Key, QSet<int>> tags;
    for (int i = 0; i < addresses.size(); ++i) {
        const QRegularExpressionMatch match = plain.match(addresses[i].toString());
        if (connectors[i] != 1 || !match.hasMatch())
            continue;
        const int station = match.captured(1).isEmpty() ? defaultStation & 0xFF : match.captured(1).toInt();
        const int number = match.captured(3).toInt();
        if (station <= 255 && number >= 1 && number <= 65536)
            tags[Key(station, match.captured(2).compare(QLatin1String("DI"), Qt::CaseInsensitive) != 0)] << number - 1;
    }
    return tags;
}

void checkReadBack(DriverModbusRtuSlaveOverTcp &driver, const Key &key, const QSet<int> &addresses, int rowCount)
{
    const int low = *std::min_element(addresses.begin(), addresses.end());
    const int start = low - low % 8, bytes = (*std::max_element(addresses.begin(), addresses.end()) - start) / 8 + 1;
    // A station that answers every coil or input read with all bits set.
    ScriptedDevice device(key.first);
    device.responder = [station = healthyStation()](const QByteArray &request) {
        FUZZ_CHECK(request.size() == 8 && withCrc(request.left(6)) == request, "a sparse read sent a bad request");
        FUZZ_CHECK(request.at(1) == 1 || request.at(1) == 2, "a sparse read sent function %d", request.at(1));
        return station(request);
    };
    const QByteArray bits = key.second ? driver.readBytesFromDO(&device, (unsigned short)start, bytes)
                                       : driver.readBytesFromDI(&device, (unsigned short)start, bytes);
    FUZZ_CHECK(!driver.hasError(), "reading back %s of station %d failed: %s", key.second ? "DO" : "DI", key.first,
               qPrintable(driver.getLastError()));
    FUZZ_CHECK(bits.size() == bytes, "reading back %d bytes gave %d", bytes, bits.size());
    // Each request covers a run of configured addresses, and each row configures at most one.
    FUZZ_CHECK(device.written.size() <= rowCount, "%d requests for %d tag rows", device.written.size(), rowCount);
    for (int address : addresses)
        FUZZ_CHECK((bits.at((address - start) / 8) >> ((address - start) % 8)) & 1,
                   "the tag %s%d of station %d was not loaded", key.second ? "DO" : "DI", address + 1, key.first);
}

// The project file is written once. Each input then replaces the default
// station and the tag rows through a connection that stays open and skips the
// journal and the syncs, as nothing here has to survive a crash: ten times
// the runs of writing the whole file for each input.
const QString Writer = QStringLiteral("fuzz-project-writer");

bool replaceRows(int defaultStation, const QVariantList &addresses, const QVariantList &connectors)
{
    QSqlDatabase db = QSqlDatabase::database(Writer, false);
    QSqlQuery query(db);
    bool ok = db.transaction() && query.exec("DELETE FROM custom_tag_table");
    ok = ok && query.prepare("UPDATE NODE SET STATIONID = ?");
    query.addBindValue(defaultStation);
    ok = ok && query.exec() && query.prepare("INSERT INTO custom_tag_table VALUES (?, ?)");
    query.addBindValue(addresses);
    query.addBindValue(connectors);
    return ok && (addresses.isEmpty() || query.execBatch()) && db.commit();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    startApplication((*argv)[0]);
    FUZZ_CHECK(writeProjectDatabase(projectDatabasePath(), projectOnCom2({})), "the project cannot be written");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Writer);
    db.setDatabaseName(projectDatabasePath());
    FUZZ_CHECK(db.open() && QSqlQuery(db).exec("PRAGMA journal_mode=OFF")
                   && QSqlQuery(db).exec("PRAGMA synchronous=OFF"), "the project cannot be opened for writing");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    // The driver of the last input left its connection registered by design;
    // removing them keeps memory flat over millions of runs.
    for (const QString &name : QSqlDatabase::connectionNames())
        if (name != Writer)
            QSqlDatabase::removeDatabase(name);
    FuzzInput input(bytes, size);
    QList<QByteArray> lines = input.rest().split('\n');
    const int defaultStation = !lines.isEmpty() && lines.first().startsWith('@') ? lines.takeFirst().mid(1).toInt() : 1;
    QVariantList addresses, connectors;
    for (const QByteArray &line : lines) {
        addresses << QString::fromUtf8(line.mid(line.startsWith('#') ? 1 : 0));
        connectors << (line.startsWith('#') ? 2 : 1);
    }
    FUZZ_CHECK(replaceRows(defaultStation, addresses, connectors), "the tag rows cannot be written");
    DriverModbusRtuSlaveOverTcp driver;
    FUZZ_CHECK(driver.readDB(QStringLiteral("COM2")) && !driver.hasError(), "the project does not load: %s",
               qPrintable(driver.getLastError()));
    const QMap<Key, QSet<int>> tags = plainBitTags(addresses, connectors, defaultStation);
    // One station and area per input keeps the runs short; the input picks it.
    const auto picked = tags.isEmpty() ? tags.end() : std::next(tags.begin(), int(size % unsigned(tags.size())));
    if (picked != tags.end())
        checkReadBack(driver, picked.key(), picked.value(), addresses.size());
    return 0;
}
