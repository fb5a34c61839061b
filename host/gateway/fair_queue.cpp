#include "host/gateway/fair_queue.h"

namespace gateway {

void FairQueue::push(int session, ExchangePtr exchange)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queues[session].push_back(std::move(exchange));
    }
    m_ready.notify_one();
}

std::map<int, std::deque<ExchangePtr>>::iterator FairQueue::nextTurn()
{
    const auto after = m_queues.upper_bound(m_lastSession);
    return after != m_queues.end() ? after : m_queues.begin();
}

ExchangePtr FairQueue::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_ready.wait(lock, [this] { return m_stopped || !m_queues.empty(); });
        if (m_stopped)
            return nullptr;
        const auto turn = nextTurn();
        const int session = turn->first;
        ExchangePtr exchange = std::move(turn->second.front());
        turn->second.pop_front();
        if (turn->second.empty())
            m_queues.erase(turn);
        // A request answered while it waited does not cost its session the turn.
        if (!exchange->isAnswered()) {
            m_lastSession = session;
            return exchange;
        }
    }
}

void FairQueue::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_ready.notify_all();
}

void FairQueue::dropSession(int session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queues.erase(session);
}

int FairQueue::waiting() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int count = 0;
    for (const auto &entry : m_queues)
        count += int(entry.second.size());
    return count;
}

} // namespace gateway
