#ifndef HOST_WAIT_OBSERVER_H
#define HOST_WAIT_OBSERVER_H

// A watch on a device's waits, for tools that must stay responsive: while the
// device waits for the link (a connect, a reply, a quiet line), it calls the
// observer about every kObserveEveryMs with how long it has waited since the
// request (or the connect) began. An observer that returns false abandons
// the wait: the call fails with kInterrupted as the device's error.

#include <QString>
#include <functional>

using WaitObserver = std::function<bool(qint64 waitedMs)>;

constexpr int kObserveEveryMs = 50;
inline const QString kInterrupted = QStringLiteral("interrupted");

#endif // HOST_WAIT_OBSERVER_H
