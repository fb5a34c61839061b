#include "host/gateway/exchange.h"

#include <chrono>
#include <sys/eventfd.h>
#include <unistd.h>

#include "host/gateway/mbap_frame.h"

namespace gateway {

Doorbell::Doorbell() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Doorbell::~Doorbell()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Doorbell::ring()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void Doorbell::quiet()
{
    quint64 rings = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_fd, &rings, sizeof rings);
}

bool Exchange::answer(const QByteArray &pdu, AnswerKind kind)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_answer.isEmpty())
            return false;
        m_answer = mbapFrame(m_transactionId, m_unitId, pdu);
        m_kind = kind;
    }
    m_doorbell->ring();
    return true;
}

bool Exchange::isAnswered() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_answer.isEmpty();
}

QByteArray Exchange::answerFrame() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_answer;
}

AnswerKind Exchange::kind() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kind;
}

qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace gateway
