#ifndef HOST_FRAME_TRACE_H
#define HOST_FRAME_TRACE_H

// Records the frames a device sends and receives. The driver reads a reply
// in several pieces; the trace joins the pieces of one reply into one entry,
// which it hands on when the next request goes out or on flush().

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

// Echo: a request handed back by a half-duplex adapter or gateway.
enum class TraceDirection { Sent, Received, Discarded, Echo };

struct TraceEntry
{
    TraceDirection direction;
    QDateTime time; // when the first byte of the entry went out or came in
    QByteArray bytes;
};

// "12:34:56.789 -> 01 03 00 00 00 01 84 0A"; discarded late bytes and echoes are marked.
QString formatTraceEntry(const TraceEntry &entry);

class FrameTrace
{
public:
    using Sink = std::function<void(const TraceEntry &)>;

    explicit FrameTrace(Sink sink) : m_sink(std::move(sink)) {}

    void sent(const QByteArray &frame);
    void received(const QByteArray &bytes);
    void discarded(const QByteArray &bytes);
    void echoed(const QByteArray &bytes);
    // Hands on the reply gathered so far, if any.
    void flush();

private:
    void emitEntry(TraceDirection direction, const QByteArray &bytes);

    Sink m_sink;
    QByteArray m_reply;
    QDateTime m_replyTime;
};

#endif // HOST_FRAME_TRACE_H
