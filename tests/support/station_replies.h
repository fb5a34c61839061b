#ifndef STATION_REPLIES_H
#define STATION_REPLIES_H

// A responder for ScriptedDevice that answers like a healthy station holding
// a register image: writes (functions 5, 6, 15, 16) are acknowledged with the
// echo of their first six bytes; reads of holding registers (function 3) get
// the image's values from the requested start on, 0 beyond the image. The
// image is not changed by writes. Anything else goes unanswered.

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <functional>

std::function<QByteArray(const QByteArray &)>
healthyStation(const QVector<unsigned short> &registers = {});

// Frames as hex texts, for readable comparisons.
QStringList hexFrames(const QList<QByteArray> &frames);

#endif // STATION_REPLIES_H
