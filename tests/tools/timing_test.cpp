// Millisecond sleeps that survive signals, and the monotonic clock.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <thread>

#include "tools/tools.h"

namespace {

std::atomic<int> signalsCaught{0};

void countSignal(int) { ++signalsCaught; }

// Installs a counting handler without SA_RESTART for the test's lifetime, so
// that a signal makes nanosleep fail with EINTR.
class InterruptingHandler
{
public:
    explicit InterruptingHandler(int signal) : m_signal(signal)
    {
        struct sigaction action = {};
        action.sa_handler = countSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(m_signal, &action, &m_previous);
    }
    ~InterruptingHandler() { sigaction(m_signal, &m_previous, nullptr); }

private:
    int m_signal;
    struct sigaction m_previous;
};

} // namespace

TEST(Timing, HRSleepResumesAfterSignals)
{
    const unsigned long requested = 200;
    for (int signal : {SIGALRM, SIGUSR1}) {
        InterruptingHandler handler(signal);
        signalsCaught = 0;
        const pthread_t sleeper = pthread_self();
        std::atomic<bool> done{false};
        std::thread sender([&] {
            // Signals every 20 ms while the sleep lasts.
            while (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (!done)
                    pthread_kill(sleeper, signal);
            }
        });

        const qint64 start = CurrentMSecsSinceBoot();
        HRSleep(requested);
        const qint64 elapsed = CurrentMSecsSinceBoot() - start;
        done = true;
        sender.join();

        EXPECT_GE(signalsCaught.load(), 2) << "the sleep was interrupted (signal " << signal << ")";
        EXPECT_GE(elapsed, qint64(requested)) << "signal " << signal;
    }
}

TEST(Timing, HRSleepSplitsSecondsFromMilliseconds)
{
    // 1005 ms is one second and 5 000 000 ns; a wrong split would make the
    // nanosecond part invalid and end the sleep at once.
    const qint64 start = CurrentMSecsSinceBoot();
    HRSleep(1005);
    EXPECT_GE(CurrentMSecsSinceBoot() - start, 1005);
}

TEST(Timing, HRSleepOfZeroReturns)
{
    const qint64 start = CurrentMSecsSinceBoot();
    HRSleep(0);
    EXPECT_GE(CurrentMSecsSinceBoot(), start);
}

TEST(Timing, CurrentMSecsSinceBootFollowsTheMonotonicClock)
{
    const qint64 first = CurrentMSecsSinceBoot();
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 reference = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    const qint64 second = CurrentMSecsSinceBoot();
    EXPECT_LE(first, reference);
    EXPECT_LE(reference, second);
    EXPECT_GT(first, 0);
}
