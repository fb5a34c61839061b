#include "host/gateway/client_session.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace gateway {
namespace {

constexpr int kReceiveChunk = 4096;
// While whole frames wait in the input for room, nothing more is read: what
// a client sends ahead stays in its socket, not in the gateway's memory.
constexpr int kMaxBufferedInput = 2 * kMaxMbapFrameSize;
// A client that takes no answer for this long is given up.
constexpr int kSendTimeoutMs = 2000;

int stationFor(quint8 unitId, int defaultStation)
{
    return unitId == kDefaultStationUnit ? defaultStation : unitId;
}

bool isReservedUnit(quint8 unitId)
{
    return unitId > kHighestStation && unitId != kDefaultStationUnit;
}

} // namespace

ClientSession::ClientSession(int fd, int id, const SessionContext &context)
    : m_fd(fd), m_id(id), m_context(context), m_doorbell(std::make_shared<Doorbell>())
{
    const timeval sendTimeout = {kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
}

ClientSession::~ClientSession()
{
    m_context.queue.dropSession(m_id);
}

QString ClientSession::run()
{
    if (!m_doorbell->isValid())
        return QStringLiteral("no event descriptor: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    m_lastHeardMs = monotonicMs();
    QString why;
    for (;;) {
        const bool roomForMore = int(m_pending.size()) < kMaxPendingPerClient && m_input.size() < kMaxBufferedInput;
        pollfd fds[3] = {{m_fd, short(roomForMore ? POLLIN : 0), 0},
                         {m_doorbell->fd(), POLLIN, 0},
                         {m_context.stopFd, POLLIN, 0}};
        if (::poll(fds, 3, pollTimeoutMs(monotonicMs())) < 0 && errno != EINTR)
            return QStringLiteral("poll: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fds[1].revents)
            m_doorbell->quiet();
        const qint64 nowMs = monotonicMs();
        expireDeadlines(nowMs);
        if (!sendAnswered(&why))
            return why;
        if (fds[2].revents)
            return QStringLiteral("gateway stopping");
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !receive(&why))
            return why;
        if (m_frameStartedMs >= 0 && nowMs - m_frameStartedMs >= kFrameCompleteMs)
            return QStringLiteral("a frame left unfinished for %1 ms").arg(kFrameCompleteMs);
        if (m_pending.empty() && nowMs - m_lastHeardMs >= m_context.config.idleTimeoutMs)
            return QStringLiteral("idle for %1 ms").arg(m_context.config.idleTimeoutMs);
    }
}

int ClientSession::pollTimeoutMs(qint64 nowMs) const
{
    qint64 wakeAt = m_pending.empty() ? m_lastHeardMs + m_context.config.idleTimeoutMs : LLONG_MAX;
    if (m_frameStartedMs >= 0)
        wakeAt = std::min(wakeAt, m_frameStartedMs + kFrameCompleteMs);
    for (const ExchangePtr &exchange : m_pending) {
        if (!exchange->isAnswered())
            wakeAt = std::min(wakeAt, exchange->deadlineMs());
    }
    return int(std::clamp<qint64>(wakeAt - nowMs, 0, INT_MAX));
}

bool ClientSession::receive(QString *why)
{
    char chunk[kReceiveChunk];
    const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (got == 0) {
        *why = QStringLiteral("closed by the client");
        return false;
    }
    if (got < 0) {
        if (errno == EINTR || errno == EAGAIN)
            return true;
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_lastHeardMs = monotonicMs();
    m_input.append(chunk, int(got));
    return takeFrames(why);
}

bool ClientSession::takeFrames(QString *why)
{
    int used = 0;
    while (used < m_input.size() && int(m_pending.size()) < kMaxPendingPerClient) {
        const MbapFrame frame = takeMbapFrame(m_input.constData() + used, m_input.size() - used);
        if (frame.status == FrameStatus::Refused) {
            *why = QStringLiteral("malformed header: %1").arg(frame.refusal);
            return false;
        }
        if (frame.status == FrameStatus::NeedMore)
            break;
        if (m_context.trace)
            traceFrame("MBAP in ", m_input.mid(used, frame.consumed));
        used += frame.consumed;
        if (!handleFrame(frame, why))
            return false;
    }
    m_input.remove(0, used);
    // Whole frames held back for room are not late; the start of a frame is
    // timed from the bytes that brought it.
    const bool unfinished = !m_input.isEmpty()
                            && takeMbapFrame(m_input.constData(), m_input.size()).status == FrameStatus::NeedMore;
    if (!unfinished)
        m_frameStartedMs = -1;
    else if (used > 0 || m_frameStartedMs < 0)
        m_frameStartedMs = m_lastHeardMs;
    return true;
}

bool ClientSession::handleFrame(const MbapFrame &frame, QString *why)
{
    const DecodedPdu decoded = decodePdu(frame.pdu);
    if (decoded.verdict == PduVerdict::Malformed) {
        *why = QStringLiteral("malformed request: %1").arg(decoded.reason);
        return false;
    }
    ++m_requests;
    ++m_context.stats.requests;
    const int station = stationFor(frame.unitId, m_context.defaultStation);
    const quint8 function = quint8(frame.pdu.at(0));
    auto exchange = std::make_shared<Exchange>(frame.transactionId, frame.unitId, station, decoded.request,
                                               monotonicMs() + m_context.deadlineMs, m_doorbell);
    m_pending.push_back(exchange);
    AnswerKind kind = AnswerKind::Refused;
    const QByteArray own = decoded.verdict == PduVerdict::Exception
                               ? exceptionPdu(function, decoded.exceptionCode)
                               : answerWithoutLine(decoded.request, frame.unitId, station, &kind);
    if (own.isEmpty()) {
        m_context.queue.push(m_id, exchange);
        return true;
    }
    exchange->answer(own, kind);
    m_context.stats.count(kind);
    return true;
}

QByteArray ClientSession::answerWithoutLine(const PduRequest &request, quint8 unitId, int station,
                                            AnswerKind *kind) const
{
    const bool write = isWriteFunction(request.function);
    *kind = AnswerKind::Refused;
    if (isReservedUnit(unitId))
        return exceptionPdu(request.function, kPathUnavailable);
    if ((unitId == kBroadcastUnit && !write) || (write && m_context.config.readOnly))
        return exceptionPdu(request.function, kIllegalFunction);
    if (station != kBroadcastUnit && m_context.gate.isBackedOff(station)) {
        *kind = AnswerKind::BackedOff;
        return exceptionPdu(request.function, kTargetFailedToRespond);
    }
    return QByteArray();
}

void ClientSession::expireDeadlines(qint64 nowMs)
{
    for (const ExchangePtr &exchange : m_pending) {
        if (nowMs >= exchange->deadlineMs()
            && exchange->answer(exceptionPdu(exchange->request().function, kTargetFailedToRespond), AnswerKind::Deadline))
            m_context.stats.count(AnswerKind::Deadline);
    }
}

bool ClientSession::sendAnswered(QString *why)
{
    QByteArray out;
    while (!m_pending.empty() && m_pending.front()->isAnswered()) {
        const QByteArray frame = m_pending.front()->answerFrame();
        if (m_context.trace)
            traceFrame("MBAP out", frame);
        out.append(frame);
        m_pending.pop_front();
    }
    for (int sent = 0; sent < out.size();) {
        const ssize_t n = ::send(m_fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = QStringLiteral("cannot send to the client: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EPIPE)));
            return false;
        }
        sent += int(n);
    }
    // Answers sent make room: frames held back for it can go now.
    return out.isEmpty() || takeFrames(why);
}

void ClientSession::traceFrame(const char *direction, const QByteArray &frame) const
{
    m_context.log(QStringLiteral("client %1 %2 %3")
                      .arg(m_id)
                      .arg(QLatin1String(direction), QString::fromLatin1(frame.toHex(' ').toUpper())));
}

} // namespace gateway
