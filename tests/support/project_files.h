#ifndef PROJECT_FILES_H
#define PROJECT_FILES_H

// Project databases for tests and benchmarks: real SQLite files with the
// LINK, NODE and custom_tag_table rows a test chooses, written where the
// driver looks for them (<application dir>/compile/database/database).

#include <QList>
#include <QString>
#include <QStringList>

struct LinkRow { qint64 linkId; qint64 hmiPort; };
struct NodeRow { qint64 linkId; qint64 stationId; int isDefault; QString ip; int port; };
struct TagRow { QString address; qint64 connectorId; };
// withTagTable false: LINK and NODE only.
struct ProjectRows { QList<LinkRow> links; QList<NodeRow> nodes; QList<TagRow> tags; bool withTagTable = true; };

// Link 1 on HMI port 1003 (device string COM2) with one default node of the
// given station id and the tag addresses on that link.
ProjectRows projectOnCom2(const QStringList &tagAddresses, qint64 defaultStation = 1);
// Replaces the file at path by a database holding the three tables and rows.
bool writeProjectDatabase(const QString &path, const ProjectRows &rows);
// Replaces the file at path by a database whose only table is unrelated.
bool writeDatabaseWithoutTables(const QString &path);
// The path the driver opens; creates its two directories.
QString projectDatabasePath();
// Removes <application dir>/compile with everything below it, and anything
// named database directly in the application directory.
void removeProjectDirectories();

#endif // PROJECT_FILES_H
