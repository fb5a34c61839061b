#include "fuzz_project.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "fuzz_support.h"
#include "tools/tools.h"

namespace {

const char *const WriterConnection = "fuzz-project-writer";

void exec(QSqlQuery &query, const QString &sql)
{
    FUZZ_CHECK(query.exec(sql), "project database: %s: %s", qPrintable(sql),
               qPrintable(query.lastError().text()));
}

} // namespace

ProjectDatabase::ProjectDatabase()
{
    const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/') + COMPILE_PATH
                           + QLatin1Char('/') + DATABASE_PATH;
    FUZZ_CHECK(QDir().mkpath(folder), "cannot make %s", qPrintable(folder));
    m_path = folder + QLatin1Char('/') + DATABASE_PATH;
    QFile::remove(m_path);
    FUZZ_CHECK(GetDatabaseName() == m_path, "the driver looks for its database at %s, not %s",
               qPrintable(GetDatabaseName()), qPrintable(m_path));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                QLatin1String(WriterConnection));
    db.setDatabaseName(m_path);
    FUZZ_CHECK(db.open(), "cannot create %s", qPrintable(m_path));
    QSqlQuery query(db);
    // Nothing here needs to survive a crash: skip the journal and the syncs.
    exec(query, QStringLiteral("PRAGMA journal_mode=OFF"));
    exec(query, QStringLiteral("PRAGMA synchronous=OFF"));
    exec(query, QStringLiteral("CREATE TABLE LINK (LINKID INTEGER, HMIPORT INTEGER)"));
    exec(query, QStringLiteral("CREATE TABLE NODE (LINKID INTEGER, STATIONID INTEGER, "
                               "ISDEFAULT INTEGER, IP TEXT, PORT INTEGER)"));
    exec(query, QStringLiteral("CREATE TABLE custom_tag_table (address TEXT, connector_id INTEGER)"));
    exec(query, QStringLiteral("INSERT INTO LINK VALUES (1, 1003)"));
    exec(query, QStringLiteral("INSERT INTO LINK VALUES (2, 1004)"));
    exec(query, QStringLiteral("INSERT INTO NODE VALUES (1, 1, 1, '192.168.0.10', 502)"));
    exec(query, QStringLiteral("INSERT INTO NODE VALUES (1, 9, 0, '192.168.0.11', 502)"));
    exec(query, QStringLiteral("INSERT INTO NODE VALUES (2, 2, 1, '192.168.0.12', 502)"));
}

ProjectDatabase::~ProjectDatabase()
{
    QSqlDatabase::database(QLatin1String(WriterConnection), false).close();
    QSqlDatabase::removeDatabase(QLatin1String(WriterConnection));
}

void ProjectDatabase::write(int defaultStation, const QList<TagRow> &rows)
{
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(WriterConnection), false);
    QSqlQuery query(db);
    FUZZ_CHECK(db.transaction(), "project database: no transaction");
    exec(query, QStringLiteral("DELETE FROM custom_tag_table"));
    query.prepare(QStringLiteral("UPDATE NODE SET STATIONID = ? WHERE LINKID = 1 AND ISDEFAULT = 1"));
    query.addBindValue(defaultStation);
    FUZZ_CHECK(query.exec(), "project database: station: %s", qPrintable(query.lastError().text()));
    query.prepare(QStringLiteral("INSERT INTO custom_tag_table (address, connector_id) VALUES (?, ?)"));
    for (const TagRow &row : rows) {
        query.addBindValue(row.address);
        query.addBindValue(row.connectorId);
        FUZZ_CHECK(query.exec(), "project database: row: %s", qPrintable(query.lastError().text()));
    }
    FUZZ_CHECK(db.commit(), "project database: no commit");
}

void removeDatabaseConnections()
{
    for (const QString &name : QSqlDatabase::connectionNames()) {
        if (name == QLatin1String(WriterConnection))
            continue;
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}
