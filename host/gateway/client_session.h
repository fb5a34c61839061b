#ifndef HOST_GATEWAY_CLIENT_SESSION_H
#define HOST_GATEWAY_CLIENT_SESSION_H

// One Modbus TCP client's connection, on a thread of its own: it frames what
// the client sends, answers at once what needs no line (the gateway's own
// exceptions, a backed-off station's 0x0B), queues the rest for the link,
// answers 0x0B a request that waits past its deadline, and sends the answers
// in the order the requests came, however they were answered. A header no
// Modbus client sends, a frame left unfinished, or silence past the idle
// time-out ends this connection only.

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

#include "host/gateway/exchange.h"
#include "host/gateway/fair_queue.h"
#include "host/gateway/gateway_config.h"
#include "host/gateway/gateway_stats.h"
#include "host/gateway/mbap_frame.h"
#include "host/gateway/station_gate.h"

namespace gateway {

using LogSink = std::function<void(const QString &line)>;

// What every session shares.
struct SessionContext
{
    const GatewayConfig &config;
    FairQueue &queue;
    StationGate &gate;
    GatewayStats &stats;
    LogSink log;
    bool trace = false;
    int deadlineMs = 0;
    int defaultStation = 1;
    int stopFd = -1; // readable once the gateway stops
};

class ClientSession
{
public:
    ClientSession(int fd, int id, const SessionContext &context);
    ~ClientSession();
    // Serves the client until the connection ends; returns why it ended.
    QString run();
    quint64 requests() const { return m_requests; }

private:
    // Each returns false with *why set when the connection must end.
    bool receive(QString *why);
    bool takeFrames(QString *why);
    bool handleFrame(const MbapFrame &frame, QString *why);
    bool sendAnswered(QString *why);
    void expireDeadlines(qint64 nowMs);
    int pollTimeoutMs(qint64 nowMs) const;
    // The gateway's own answer to a request, or an empty PDU when it goes to the line.
    QByteArray answerWithoutLine(const PduRequest &request, quint8 unitId, int station, AnswerKind *kind) const;
    void traceFrame(const char *direction, const QByteArray &frame) const;

    const int m_fd;
    const int m_id;
    const SessionContext &m_context;
    std::shared_ptr<Doorbell> m_doorbell;
    QByteArray m_input;
    qint64 m_frameStartedMs = -1; // when the unfinished frame in m_input began
    qint64 m_lastHeardMs = 0;
    std::deque<ExchangePtr> m_pending; // in the order the requests came
    quint64 m_requests = 0;
};

} // namespace gateway

#endif // HOST_GATEWAY_CLIENT_SESSION_H
