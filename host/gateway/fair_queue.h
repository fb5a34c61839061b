#ifndef HOST_GATEWAY_FAIR_QUEUE_H
#define HOST_GATEWAY_FAIR_QUEUE_H

// The requests waiting for the line, fair across client sessions: each
// session's requests keep their order, and the sessions take turns, one
// request each, so that one client's burst does not starve another. A
// request its session has already answered (it waited past its deadline) is
// dropped when its turn comes. Any thread may push; the link's worker takes.

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "host/gateway/exchange.h"

namespace gateway {

class FairQueue
{
public:
    void push(int session, ExchangePtr exchange);
    // The next request, sessions in turn; waits while there is none; null
    // once stopped.
    ExchangePtr take();
    void stop();
    // Forgets what a closed session left waiting.
    void dropSession(int session);
    int waiting() const;

private:
    // The queue of the session after the last one served, or the first.
    std::map<int, std::deque<ExchangePtr>>::iterator nextTurn();

    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::map<int, std::deque<ExchangePtr>> m_queues; // only non-empty queues
    int m_lastSession = -1;
    bool m_stopped = false;
};

} // namespace gateway

#endif // HOST_GATEWAY_FAIR_QUEUE_H
