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

} // namespace

TEST(Timing, HRSleepResumesAfterSignals)
{
    // A handler without SA_RESTART makes every signal end nanosleep with EINTR.
    struct sigaction action = {}, previous;
    action.sa_handler = countSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const pthread_t sleeper = pthread_self();
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!done)
                pthread_kill(sleeper, SIGUSR1);
        }
    });
    // 1005 ms is one second and 5 000 000 ns; a wrong split would make the
    // nanosecond part invalid and end the sleep at once.
    const qint64 start = CurrentMSecsSinceBoot();
    HRSleep(1005);
    const qint64 elapsed = CurrentMSecsSinceBoot() - start;
    done = true;
    sender.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(signalsCaught.load(), 2) << "the sleep was interrupted";
    EXPECT_GE(elapsed, 1005);
}

TEST(Timing, CurrentMSecsSinceBootFollowsTheMonotonicClock)
{
    const qint64 first = CurrentMSecsSinceBoot();
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 reference = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    EXPECT_LE(first, reference);
    EXPECT_LE(reference, CurrentMSecsSinceBoot());
}
