#ifndef QT_PRINTERS_H
#define QT_PRINTERS_H

// Readable failure messages for Qt text types in test assertions.

#include <QByteArray>
#include <QString>
#include <ostream>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &b, std::ostream *out) { *out << '[' << b.toHex(' ').toStdString() << ']'; }

#endif // QT_PRINTERS_H
