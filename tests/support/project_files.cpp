#include "project_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

// An insert statement and the columns of its rows.
using Insert = std::pair<const char *, QList<QVariantList>>;

void addRow(QList<QVariantList> &columns, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        columns[i] << values[i];
}

// A fresh file at path: the statements, then each insert once per row, all in
// one transaction.
bool writeDatabase(const QString &path, const QStringList &statements, const QList<Insert> &inserts = {})
{
    const QString connection = QStringLiteral("test-project-writer");
    QFile::remove(path);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery query(db);
        for (const QString &statement : statements)
            ok = ok && query.exec(statement);
        for (const Insert &insert : inserts) {
            ok = ok && query.prepare(QString::fromLatin1(insert.first));
            for (const QVariantList &column : insert.second)
                query.addBindValue(column);
            ok = ok && query.execBatch();
        }
        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace

bool writeProjectDatabase(const QString &path, const ProjectRows &rows)
{
    // The rows as columns, one list of values per field.
    QList<QVariantList> link{{}, {}}, node{{}, {}, {}, {}, {}}, tag{{}, {}};
    for (const LinkRow &r : rows.links)
        addRow(link, {r.linkId, r.hmiPort});
    for (const NodeRow &r : rows.nodes)
        addRow(node, {r.linkId, r.stationId, r.isDefault, r.ip, r.port});
    for (const TagRow &r : rows.tags)
        addRow(tag, {r.address, r.connectorId});
    QStringList statements = {"CREATE TABLE LINK (LINKID INTEGER, HMIPORT INTEGER)",
                              "CREATE TABLE NODE (LINKID INTEGER, STATIONID INTEGER, ISDEFAULT INTEGER, IP TEXT, "
                              "PORT INTEGER)"};
    QList<Insert> inserts{{"INSERT INTO LINK VALUES (?, ?)", link}, {"INSERT INTO NODE VALUES (?, ?, ?, ?, ?)", node}};
    if (rows.withTagTable) {
        statements << "CREATE TABLE custom_tag_table (address TEXT, connector_id INTEGER)";
        inserts << Insert{"INSERT INTO custom_tag_table VALUES (?, ?)", tag};
    }
    return writeDatabase(path, statements, inserts);
}

bool writeDatabaseWithoutTables(const QString &path)
{
    return writeDatabase(path, {"CREATE TABLE other (value INTEGER)", "INSERT INTO other VALUES (1)"});
}

ProjectRows projectOnCom2(const QStringList &tagAddresses, qint64 defaultStation)
{
    ProjectRows rows{{{1, 1003}}, {{1, defaultStation, 1, QStringLiteral("192.168.0.10"), 502}}, {}};
    for (const QString &address : tagAddresses)
        rows.tags.append(TagRow{address, 1});
    return rows;
}

QString projectDatabasePath()
{
    QDir dir(QCoreApplication::applicationDirPath());
    dir.mkpath(QStringLiteral("compile/database"));
    return dir.absoluteFilePath(QStringLiteral("compile/database/database"));
}

void removeProjectDirectories()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    QDir(appDir + QStringLiteral("/compile")).removeRecursively();
    // Where the driver looks when the directories are missing.
    QFile::remove(appDir + QStringLiteral("/database"));
    QDir(appDir + QStringLiteral("/database")).removeRecursively();
}
