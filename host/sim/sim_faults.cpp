// Fault names, the seeded fault source, line pacing and the delivery of a
// reply with its fault.

#include "host/sim/sim_faults.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

const char *const kFaultNames[kFaultKinds] = {"drop", "delay", "corrupt", "split", "close", "late", "echo"};

// Paced sends go out in pieces at least this far apart, not byte by byte.
constexpr int kPaceStepMs = 2;

int millisecondsUntil(Clock::time_point when)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(when - Clock::now()).count();
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

// Sends size bytes as they would come off the line: byte i is sent once
// its last bit has passed.
bool sendPaced(const Delivery &delivery, const char *data, int size)
{
    if (delivery.line.baud <= 0)
        return sendAll(delivery.fd, data, size);
    const Clock::time_point start = Clock::now();
    int sent = 0;
    while (sent < size) {
        int due = sent;
        while (due < size && start + delivery.line.duration(due + 1) <= Clock::now())
            ++due;
        if (due > sent) {
            if (!sendAll(delivery.fd, data + sent, due - sent))
                return false;
            sent = due;
            continue;
        }
        const int wait = std::max(kPaceStepMs, millisecondsUntil(start + delivery.line.duration(sent + 1)));
        if (!delivery.pause(wait))
            return false;
    }
    return true;
}

} // namespace

const char *faultName(FaultKind kind)
{
    return kFaultNames[int(kind)];
}

QVector<FaultKind> allFaultKinds()
{
    QVector<FaultKind> kinds;
    for (int kind = 0; kind < kFaultKinds; ++kind)
        kinds.append(FaultKind(kind));
    return kinds;
}

bool parseFaultKinds(const QString &text, QVector<FaultKind> *kinds, QString *error)
{
    kinds->clear();
    for (const QString &name : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        int kind = 0;
        while (kind < kFaultKinds && name.trimmed() != QLatin1String(kFaultNames[kind]))
            ++kind;
        if (kind == kFaultKinds) {
            *error = QStringLiteral("unknown fault kind '%1' (drop, delay, corrupt, split, close, late, echo)")
                         .arg(name.trimmed());
            return false;
        }
        kinds->append(FaultKind(kind));
    }
    if (kinds->isEmpty()) {
        *error = QStringLiteral("the fault list names no fault kind");
        return false;
    }
    return true;
}

QString describeFault(const Fault &fault)
{
    const QString name = QLatin1String(faultName(fault.kind));
    switch (fault.kind) {
    case FaultKind::Delay:
    case FaultKind::Late:
        return QStringLiteral("%1 %2 ms").arg(name).arg(fault.delayMs);
    case FaultKind::Corrupt:
        return QStringLiteral("corrupt byte %1 ^ 0x%2").arg(fault.byteIndex).arg(fault.xorMask, 2, 16, QLatin1Char('0'));
    case FaultKind::Split:
        return QStringLiteral("split after %1 bytes, %2 ms").arg(fault.byteIndex).arg(fault.delayMs);
    default:
        break;
    }
    return name;
}

FaultInjector::FaultInjector(const Plan &plan)
    : m_plan(plan), m_random(plan.seed)
{
    if (m_plan.kinds.isEmpty())
        m_plan.rate = 0;
    m_plan.maxWaitMs = std::max(1, m_plan.maxWaitMs);
}

bool FaultInjector::decide(const QByteArray &reply, Fault *fault)
{
    ++m_replies;
    if (m_plan.rate <= 0 || !std::bernoulli_distribution(m_plan.rate)(m_random))
        return false;
    // at(), not []: a non-const [] would detach the list, which the thread that
    // printed the plan may still be reading.
    const FaultKind kind = m_plan.kinds.at(uniform(0, m_plan.kinds.size() - 1));
    const int wait = uniform(1, m_plan.maxWaitMs);
    const bool beyond = m_plan.timeoutMs > 0 && wait > m_plan.timeoutMs;
    const int size = std::max(2, int(reply.size()));
    switch (kind) {
    case FaultKind::Drop:
        *fault = Fault::drop();
        break;
    case FaultKind::Delay:
        *fault = Fault::delay(wait);
        m_lateDelays += beyond ? 1 : 0;
        break;
    case FaultKind::Corrupt:
        *fault = Fault::corrupt(uniform(0, size - 1), uint8_t(uniform(1, 255)));
        break;
    case FaultKind::Split:
        *fault = Fault::split(uniform(1, size - 1), wait);
        m_lateSplits += beyond ? 1 : 0;
        break;
    case FaultKind::Close:
        *fault = Fault::close();
        break;
    case FaultKind::Late:
        *fault = Fault::late(m_plan.lateMs);
        break;
    case FaultKind::Echo:
        *fault = Fault::echo();
        break;
    }
    ++m_injected[int(kind)];
    ++m_total;
    return true;
}

QString FaultInjector::summary() const
{
    QStringList kinds;
    for (int kind = 0; kind < kFaultKinds; ++kind) {
        QString text = QStringLiteral("%1 %2").arg(QLatin1String(kFaultNames[kind])).arg(m_injected[kind]);
        if (m_plan.timeoutMs > 0 && kind == int(FaultKind::Delay))
            text += QStringLiteral(" (%1 beyond the time-out)").arg(m_lateDelays);
        if (m_plan.timeoutMs > 0 && kind == int(FaultKind::Split))
            text += QStringLiteral(" (%1 with a pause beyond the time-out)").arg(m_lateSplits);
        kinds.append(text);
    }
    return QStringLiteral("%1 into %2 replies: %3").arg(m_total).arg(m_replies).arg(kinds.join(QStringLiteral(", ")));
}

std::chrono::microseconds SerialLine::duration(int bytes) const
{
    if (baud <= 0)
        return std::chrono::microseconds(0);
    return std::chrono::microseconds(qint64(bytes) * bitsPerByte * 1000000 / baud);
}

Delivered deliver(const Delivery &delivery, const QByteArray &request, QByteArray reply, const Fault *fault,
                  Clock::time_point requestTime)
{
    const FaultKind kind = fault ? fault->kind : FaultKind::Delay;
    if ((delivery.echo || (fault && kind == FaultKind::Echo)) && !sendPaced(delivery, request.constData(), request.size()))
        return Delivered::Failed;
    if (reply.isEmpty())
        return Delivered::Withheld;
    // The slave hears the request only once it has crossed the line.
    if (delivery.line.baud > 0 && !delivery.pause(millisecondsUntil(requestTime + delivery.line.duration(request.size()))))
        return Delivered::Failed;
    int firstPart = reply.size();
    if (fault) {
        switch (kind) {
        case FaultKind::Drop:
            return Delivered::Withheld;
        case FaultKind::Close:
            return Delivered::Failed;
        case FaultKind::Delay:
            if (!delivery.pause(fault->delayMs))
                return Delivered::Failed;
            break;
        case FaultKind::Late:
            if (!delivery.pause(millisecondsUntil(requestTime + std::chrono::milliseconds(fault->delayMs))))
                return Delivered::Failed;
            break;
        case FaultKind::Corrupt: {
            const int index = fault->byteIndex % reply.size();
            reply[index] = char(reply[index] ^ fault->xorMask);
            break;
        }
        case FaultKind::Split:
            firstPart = std::clamp(fault->byteIndex, 0, int(reply.size()));
            break;
        case FaultKind::Echo:
            break;
        }
    }
    if (!sendPaced(delivery, reply.constData(), firstPart))
        return Delivered::Failed;
    if (firstPart < reply.size()
        && (!delivery.pause(fault->delayMs)
            || !sendPaced(delivery, reply.constData() + firstPart, reply.size() - firstPart)))
        return Delivered::Failed;
    return Delivered::Whole;
}

bool sendAll(int fd, const char *data, int size)
{
    // A socket whose peer has gone must fail the send, not raise SIGPIPE; a
    // serial line's descriptor is no socket and is written to.
    bool socket = true;
    while (size > 0) {
        ssize_t sent = socket ? ::send(fd, data, std::size_t(size), MSG_NOSIGNAL) : ::write(fd, data, std::size_t(size));
        if (sent < 0 && errno == ENOTSOCK) {
            socket = false;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= int(sent);
    }
    return true;
}

} // namespace sim
