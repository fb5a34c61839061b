#ifndef STATION_REPLIES_H
#define STATION_REPLIES_H

// A responder for ScriptedDevice that answers like a healthy station holding
// a register image: writes (functions 5, 6, 15, 16) get the echo of their
// first six bytes; reads of coils and inputs (functions 1, 2) find every bit
// on; reads of registers (functions 3, 4) get the image's values from the
// requested start on, 0 beyond it. Writes leave the image as it is; anything
// else goes unanswered.

#include <QByteArray>
#include <QVector>
#include <functional>

std::function<QByteArray(const QByteArray &)> healthyStation(const QVector<unsigned short> &registers = {});

#endif // STATION_REPLIES_H
