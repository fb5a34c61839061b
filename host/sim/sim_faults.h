#ifndef HOST_SIM_FAULTS_H
#define HOST_SIM_FAULTS_H

// Faults of the simulated slave and of the fault proxy, shared by both: what
// one fault does to one reply, their names on command lines, the seeded
// source that picks faults at a rate, the pace of a serial line behind a
// gateway, and the delivery of a reply with its fault to a socket.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>

namespace sim {

enum class FaultKind {
    Drop,    // the request is served, the reply is never sent
    Delay,   // the reply is sent after delayMs
    Corrupt, // reply byte byteIndex is XORed with xorMask (inverted by default)
    Split,   // the first byteIndex bytes, a pause of delayMs, then the rest
    Close,   // the connection is closed instead of replying
    Late,    // the reply is sent delayMs after its request came, past the master's time-out
    Echo     // the request is sent back before the reply, as half-duplex adapters do
};
constexpr int kFaultKinds = 7;

struct Fault
{
    FaultKind kind = FaultKind::Drop;
    int delayMs = 0;
    int byteIndex = 0;
    uint8_t xorMask = 0xFF;

    static Fault drop() { return Fault{FaultKind::Drop, 0, 0}; }
    static Fault delay(int ms) { return Fault{FaultKind::Delay, ms, 0}; }
    static Fault corrupt(int index, uint8_t mask = 0xFF) { return Fault{FaultKind::Corrupt, 0, index, mask}; }
    static Fault split(int firstPart, int pauseMs) { return Fault{FaultKind::Split, pauseMs, firstPart}; }
    static Fault close() { return Fault{FaultKind::Close, 0, 0}; }
    static Fault late(int ms) { return Fault{FaultKind::Late, ms, 0}; }
    static Fault echo() { return Fault{FaultKind::Echo, 0, 0}; }
};

// "drop", "delay", ... in the order of FaultKind.
const char *faultName(FaultKind kind);
QVector<FaultKind> allFaultKinds();
// "drop,late" into kinds; false with the reason when a name is unknown or
// the list names none.
bool parseFaultKinds(const QString &text, QVector<FaultKind> *kinds, QString *error);
// "delay 37 ms", "corrupt byte 3 ^ 0x5A", for traces.
QString describeFault(const Fault &fault);

// Decides, for each reply, whether it gets a fault and which, from a seed.
// Delays and split pauses range from 1 ms to maxWaitMs, late replies go out
// lateMs after their request. Calls must not overlap (the slave and the proxy
// make them under a lock); the counters may be read from any thread.
class FaultInjector
{
public:
    struct Plan
    {
        uint64_t seed = 1;
        double rate = 0.1;
        QVector<FaultKind> kinds = allFaultKinds();
        int maxWaitMs = 200;
        int lateMs = 1000;
        // Waits longer than this count as beyond the master's time-out; 0: none does.
        int timeoutMs = 0;
    };

    explicit FaultInjector(const Plan &plan);

    bool decide(const QByteArray &reply, Fault *fault);

    const Plan &plan() const { return m_plan; }
    quint64 replies() const { return m_replies; }
    quint64 total() const { return m_total; }
    quint64 injected(FaultKind kind) const { return m_injected[int(kind)]; }
    quint64 lateDelays() const { return m_lateDelays; }
    quint64 lateSplits() const { return m_lateSplits; }
    // "12 into 130 replies: drop 2, delay 3 (1 beyond the time-out), ..."
    QString summary() const;

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    Plan m_plan;
    std::mt19937_64 m_random;
    std::atomic<quint64> m_replies{0};
    std::atomic<quint64> m_total{0};
    std::atomic<quint64> m_injected[kFaultKinds] = {};
    std::atomic<quint64> m_lateDelays{0};
    std::atomic<quint64> m_lateSplits{0};
};

// The serial line behind a gateway: a byte takes bitsPerByte bit times
// (start, 8 data, parity or a second stop, stop) at baud. Baud 0: no line,
// bytes go out at once.
struct SerialLine
{
    int baud = 0;
    int bitsPerByte = 11;

    std::chrono::microseconds duration(int bytes) const;
};

// How one connection sends: its socket, its line, and a sleep that ends
// early (false) when the owner stops.
struct Delivery
{
    int fd = -1;
    SerialLine line;
    bool echo = false; // every request goes back before its reply
    std::function<bool(int ms)> pause;
};

// What became of a reply.
enum class Delivered { Whole, Withheld, Failed };

// Sends the echo of request when asked for (by the delivery or an Echo
// fault), then reply with the fault, if any, applied; a reply paced by the
// line also waits the request's own time on it first. Late is counted from
// requestTime. Failed: the connection is to close (a Close fault, a send that
// failed or the owner stopping).
Delivered deliver(const Delivery &delivery, const QByteArray &request, QByteArray reply, const Fault *fault,
                  std::chrono::steady_clock::time_point requestTime);

// Sends all of data on a blocking socket; false when the link failed.
bool sendAll(int fd, const char *data, int size);

} // namespace sim

#endif // HOST_SIM_FAULTS_H
