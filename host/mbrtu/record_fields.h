#ifndef HOST_RECORD_FIELDS_H
#define HOST_RECORD_FIELDS_H

// Fields of mbrtu's JSON and CSV records, the same in every command.

#include <QJsonValue>
#include <QString>

// A value's text as a JSON number where the number is exact ("12", "-1.5");
// integers beyond 2^53, nan and inf stay text; anything else is text.
QJsonValue jsonNumber(const QString &text);

// The text as one CSV field: quoted, its quotes doubled, when it holds a
// comma, a quote or a line break.
QString csvField(const QString &text);

#endif // HOST_RECORD_FIELDS_H
