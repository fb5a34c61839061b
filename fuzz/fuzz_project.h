#ifndef FUZZ_PROJECT_H
#define FUZZ_PROJECT_H

// The project database for the targets that go through the driver's gate.

#include <QList>
#include <QString>

// One tag row of the project database.
struct TagRow
{
    QString address;
    int connectorId;
};

// The project database the driver's gate loads, below the application
// directory at compile/database/database: link 1 on HMI port 1003 (device
// string COM2) whose default node has the given station id, and the tag rows.
// The file is written through a connection of its own that stays open, so
// later calls only replace the station and the rows.
class ProjectDatabase
{
public:
    ProjectDatabase();
    ~ProjectDatabase();
    void write(int defaultStation, const QList<TagRow> &rows);
    QString path() const { return m_path; }

private:
    QString m_path;
};

// Every database connection registered so far is closed and removed. The
// driver leaves its own registered by design; a target that makes a driver
// per input removes them so that memory stays flat over millions of runs.
void removeDatabaseConnections();

#endif // FUZZ_PROJECT_H
