#include "host/mbrtu/record_fields.h"

#include <QtGlobal>

namespace {

// The largest integer a double holds exactly.
constexpr qlonglong kExactIntegerLimit = 1LL << 53;

} // namespace

QJsonValue jsonNumber(const QString &text)
{
    bool integer = false;
    const qlonglong whole = text.toLongLong(&integer);
    if (integer)
        return qAbs(whole) < kExactIntegerLimit ? QJsonValue(double(whole)) : QJsonValue(text);
    text.toULongLong(&integer); // above the signed range: no double holds it exactly
    if (integer)
        return QJsonValue(text);
    bool real = false;
    const double number = text.toDouble(&real);
    return real && qIsFinite(number) ? QJsonValue(number) : QJsonValue(text);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
