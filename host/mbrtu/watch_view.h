#ifndef HOST_WATCH_VIEW_H
#define HOST_WATCH_VIEW_H

// The live view of mbrtu watch as lines of text, free of the terminal: a
// table of the tags (name, address, value, age, status, trend) and a line per
// station (requests per second, response time median and 99th percentile,
// failures, back-off). terminal_screen.h puts the lines on the screen.

#include <QString>
#include <QStringList>
#include <QVector>

#include "host/watch/watch_poller.h"

struct TagRow
{
    QString name;
    QString address;
    QString value;       // the last value read; empty before the first
    qint64 ageMs = -1;   // since that value was read; -1: never read
    QString status;      // "ok" or the failure
    QVector<double> trend; // the last values, oldest first
};

struct StationRow
{
    int station = 1;
    StationFigures figures;
};

// The trend as one block character per value, scaled between the lowest
// and highest of them; a flat trend sits on the lowest block.
QString sparkline(const QVector<double> &values);

// "0.4 s", "12 s", "3 min"; "-" for never.
QString ageText(qint64 ms);

// "station 3: 0.1 req/s, median -, p99 -, 2 failure(s), no reply 2 time(s)
// in a row, back-off 20 s, next try in 12 s"
QString stationLine(const StationRow &row);

// The screen: a heading, the tag table and the station lines, each line cut
// to width; the trend column is left out when it would leave a status less
// than 40 columns (or less than the longest status, when that is shorter);
// with more tags than height allows, the last line says how many are not
// shown.
QStringList watchScreen(const QString &heading, const QVector<TagRow> &tags, const QVector<StationRow> &stations,
                        int width, int height);

#endif // HOST_WATCH_VIEW_H
