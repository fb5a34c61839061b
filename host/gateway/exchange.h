#ifndef HOST_GATEWAY_EXCHANGE_H
#define HOST_GATEWAY_EXCHANGE_H

// One client request on its way to an answer. Its session makes it and
// sends its answer; whoever answers first (the link's worker, or the session
// itself at the deadline) decides the answer, and later answers are dropped.
// Answering rings the session's doorbell, so that it wakes and sends.

#include <QByteArray>
#include <memory>
#include <mutex>

#include "host/gateway/gateway_stats.h"
#include "host/gateway/pdu_request.h"

namespace gateway {

// An eventfd that the session polls; shared by its exchanges, so that a
// late answer after the session has gone rings nothing harmful.
class Doorbell
{
public:
    Doorbell();
    ~Doorbell();
    Doorbell(const Doorbell &) = delete;
    Doorbell &operator=(const Doorbell &) = delete;
    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void ring();
    void quiet(); // takes the rings so far

private:
    int m_fd = -1;
};

// Unit id 0 is a broadcast; 255 the link's default station.
constexpr int kBroadcastUnit = 0;
constexpr int kDefaultStationUnit = 255;
constexpr int kHighestStation = 247;

class Exchange
{
public:
    Exchange(quint16 transactionId, quint8 unitId, int station, const PduRequest &request, qint64 deadlineMs,
             std::shared_ptr<Doorbell> doorbell)
        : m_transactionId(transactionId), m_unitId(unitId), m_station(station), m_request(request),
          m_deadlineMs(deadlineMs), m_doorbell(std::move(doorbell))
    {
    }

    // Sets the answer unless there is one; false when there was.
    bool answer(const QByteArray &pdu, AnswerKind kind);
    bool isAnswered() const;
    // The MBAP frame of the answer; empty until answered.
    QByteArray answerFrame() const;
    AnswerKind kind() const;

    quint8 unitId() const { return m_unitId; }
    int station() const { return m_station; } // 0: broadcast
    const PduRequest &request() const { return m_request; }
    qint64 deadlineMs() const { return m_deadlineMs; }

private:
    const quint16 m_transactionId;
    const quint8 m_unitId;
    const int m_station;
    const PduRequest m_request;
    const qint64 m_deadlineMs;
    std::shared_ptr<Doorbell> m_doorbell;
    mutable std::mutex m_mutex;
    QByteArray m_answer;
    AnswerKind m_kind = AnswerKind::Ok;
};

using ExchangePtr = std::shared_ptr<Exchange>;

// Milliseconds on the monotonic clock, which deadlines and the link's
// health share.
qint64 monotonicMs();

} // namespace gateway

#endif // HOST_GATEWAY_EXCHANGE_H
