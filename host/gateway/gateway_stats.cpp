#include "host/gateway/gateway_stats.h"

#include <QStringList>

namespace gateway {

const char *answerKindName(AnswerKind kind)
{
    static const char *const kNames[kAnswerKinds] = {"ok",        "slave exception", "refused",  "no reply", "bad reply",
                                                     "link down", "backed off",      "deadline", "failed"};
    return kNames[int(kind)];
}

QString GatewayStats::answersText() const
{
    QStringList parts;
    for (int kind = 0; kind < kAnswerKinds; ++kind)
        parts.append(QStringLiteral("%1 %2").arg(QLatin1String(answerKindName(AnswerKind(kind)))).arg(answers[kind].load()));
    return parts.join(QStringLiteral(", "));
}

} // namespace gateway
