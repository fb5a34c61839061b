#include "project_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString WRITER_CONNECTION = QStringLiteral("test-project-writer");

const char *const CREATE_TABLES[] = {
    "CREATE TABLE LINK (LINKID INTEGER, HMIPORT INTEGER)",
    "CREATE TABLE NODE (LINKID INTEGER, STATIONID INTEGER, ISDEFAULT INTEGER, IP TEXT, "
    "PORT INTEGER)",
    "CREATE TABLE custom_tag_table (address TEXT, connector_id INTEGER)",
};

bool execAll(QSqlDatabase &db, const QStringList &statements)
{
    QSqlQuery query(db);
    for (const QString &sql : statements) {
        if (!query.exec(sql))
            return false;
    }
    return true;
}

bool insertRows(QSqlDatabase &db, const ProjectRows &rows)
{
    QSqlQuery link(db), node(db), tag(db);
    bool ok = link.prepare(QStringLiteral("INSERT INTO LINK VALUES (?, ?)"))
              && node.prepare(QStringLiteral("INSERT INTO NODE VALUES (?, ?, ?, ?, ?)"))
              && (!rows.withTagTable
                  || tag.prepare(QStringLiteral("INSERT INTO custom_tag_table VALUES (?, ?)")));
    for (const LinkRow &row : rows.links) {
        link.bindValue(0, row.linkId);
        link.bindValue(1, row.hmiPort);
        ok = ok && link.exec();
    }
    for (const NodeRow &row : rows.nodes) {
        node.bindValue(0, row.linkId);
        node.bindValue(1, row.stationId);
        node.bindValue(2, row.isDefault);
        node.bindValue(3, row.ip);
        node.bindValue(4, row.port);
        ok = ok && node.exec();
    }
    for (const TagRow &row : rows.tags) {
        tag.bindValue(0, row.address);
        tag.bindValue(1, row.connectorId);
        ok = ok && tag.exec();
    }
    return ok;
}

// Opens a fresh file at path, runs fill inside one transaction and closes it.
template <typename Fill>
bool writeDatabase(const QString &path, Fill fill)
{
    QFile::remove(path);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), WRITER_CONNECTION);
        db.setDatabaseName(path);
        ok = db.open() && db.transaction() && fill(db) && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(WRITER_CONNECTION);
    return ok;
}

} // namespace

bool writeProjectDatabase(const QString &path, const ProjectRows &rows)
{
    return writeDatabase(path, [&](QSqlDatabase &db) {
        QStringList statements;
        for (const char *sql : CREATE_TABLES)
            statements.append(QString::fromLatin1(sql));
        if (!rows.withTagTable)
            statements.removeLast();
        return execAll(db, statements) && insertRows(db, rows);
    });
}

bool writeDatabaseWithoutTables(const QString &path)
{
    return writeDatabase(path, [](QSqlDatabase &db) {
        return execAll(db, {QStringLiteral("CREATE TABLE other (value INTEGER)"),
                            QStringLiteral("INSERT INTO other VALUES (1)")});
    });
}

ProjectRows projectOnCom2(const QStringList &tagAddresses, qint64 defaultStation)
{
    const qint64 link = 1;
    ProjectRows rows;
    rows.links = {{link, 1003}};
    rows.nodes = {{link, defaultStation, 1, QStringLiteral("192.168.0.10"), 502}};
    for (const QString &address : tagAddresses)
        rows.tags.append(TagRow{address, link});
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
