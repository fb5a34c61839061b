#ifndef HOST_GATEWAY_GATEWAY_STATS_H
#define HOST_GATEWAY_GATEWAY_STATS_H

// What the gateway has done, counted from every thread: clients, requests,
// and the answers by kind, for the status line and the closing summary.

#include <QString>
#include <array>
#include <atomic>

namespace gateway {

enum class AnswerKind {
    Ok,             // the station's data or write acknowledgement
    SlaveException, // the station's own exception, passed on
    Refused,        // the gateway's own exception, nothing sent (function, count, address, read-only, unit id)
    NoReply,        // 0x0B: the station gave no reply
    BadReply,       // 0x0B: a reply with a bad CRC, broken, or a wrong echo
    LinkDown,       // 0x0A: the link could not be used
    BackedOff,      // 0x0B at once: the station is backed off after a silence
    Deadline,       // 0x0B: the request waited past its deadline
    Failed,         // 0x04: the driver refused the request
};
constexpr int kAnswerKinds = int(AnswerKind::Failed) + 1;

// "ok", "slave exception", ... as the status line names them.
const char *answerKindName(AnswerKind kind);

struct GatewayStats
{
    std::atomic<int> clients{0};
    std::atomic<quint64> connected{0};
    std::atomic<quint64> refusedClients{0};
    std::atomic<quint64> requests{0};
    std::array<std::atomic<quint64>, kAnswerKinds> answers{};

    void count(AnswerKind kind) { ++answers[std::size_t(kind)]; }
    quint64 answered(AnswerKind kind) const { return answers[std::size_t(kind)].load(); }
    // "ok 12, slave exception 0, ..." for every kind.
    QString answersText() const;
};

} // namespace gateway

#endif // HOST_GATEWAY_GATEWAY_STATS_H
