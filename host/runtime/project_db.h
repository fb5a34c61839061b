#ifndef HOST_PROJECT_DB_H
#define HOST_PROJECT_DB_H

// The HMI project database that the driver reads on its first request:
// compile/database/database below the application directory, with the
// tables LINK, NODE and custom_tag_table. Written from a short tag list such
// as "DI1-64,DO1-32,2-DI5".

#include <QString>
#include <QStringList>

// HMI port of a device string: "ETHERNET..." (any case) is 2000; otherwise
// trailing digits n give 1001 + n ("COM2" is 1003); -1 when neither applies.
int hmiPortForDevice(const QString &deviceString);

struct ProjectSetup
{
    QString link = QStringLiteral("COM2"); // device string of the link
    int linkId = 1;
    int station = 1;                       // the link's default node
    QString nodeIp = QStringLiteral("127.0.0.1");
    int nodePort = 5020;
    QStringList tagAddresses;              // rows of custom_tag_table
    // The serial line the link is on, when it is one; empty for TCP. Kept in
    // a table of the stand-in's own (mbrtu_serial_line), which the driver
    // never reads.
    QString serialPort;
    int baud = 9600;
    int dataBits = 8;
    char parity = 'E';
    int stopBits = 1;
};

// Expands "DI1-64,DO1-32,2-DI5" into DI1..DI64, DO1..DO32, 2-DI5. Each item is
// [STATION-]AREA FIRST[-LAST]; areas as device addresses (DI, DO, FN5DO, HR,
// FN6HR, IR).
bool expandTagList(const QString &text, QStringList *addresses, QString *error);
// The reverse: addresses in runs again ("DI1-64,DO1-32,2-DI5"), in their order.
QString compactTagList(const QStringList &addresses);

QString projectDatabasePath(const QString &appDir);

// Writes a fresh database at path (an old file is replaced), creating its
// directories.
bool writeProjectDatabase(const QString &path, const ProjectSetup &setup, QString *error);
// The address of the default node stored for the link (device string);
// false when the database or the link is not there.
bool readProjectNodeAddress(const QString &path, const QString &link, QString *ip, int *port);
// The serial line stored for the link into setup's serial fields; false when
// none is (the link is on TCP, or the database or the link is not there).
bool readProjectSerialLine(const QString &path, const QString &link, ProjectSetup *setup);
// The project stored for the link: its link id, default station, node
// address, serial line and tags; false when the database or the link is not there.
bool readProjectSetup(const QString &path, const QString &link, ProjectSetup *setup);
// The tag addresses stored for the link ("DI1", "2-DI5"), in table order;
// false when the database or the link is not there.
bool readProjectTags(const QString &path, const QString &link, QStringList *addresses);

#endif // HOST_PROJECT_DB_H
