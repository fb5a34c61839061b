#include "host/device/frame_trace.h"

namespace {

const char *arrow(TraceDirection direction)
{
    switch (direction) {
    case TraceDirection::Sent:
        return "->";
    case TraceDirection::Received:
        return "<-";
    case TraceDirection::Discarded:
        return "<- late, discarded:";
    case TraceDirection::Echo:
        return "<- echo:";
    }
    return "";
}

} // namespace

QString formatTraceEntry(const TraceEntry &entry)
{
    return QStringLiteral("%1 %2 %3")
        .arg(entry.time.toString(QStringLiteral("HH:mm:ss.zzz")), QLatin1String(arrow(entry.direction)),
             QString::fromLatin1(entry.bytes.toHex(' ').toUpper()));
}

void FrameTrace::sent(const QByteArray &frame)
{
    flush();
    emitEntry(TraceDirection::Sent, frame);
}

void FrameTrace::received(const QByteArray &bytes)
{
    if (m_reply.isEmpty())
        m_replyTime = QDateTime::currentDateTime();
    m_reply.append(bytes);
}

void FrameTrace::discarded(const QByteArray &bytes)
{
    flush();
    emitEntry(TraceDirection::Discarded, bytes);
}

void FrameTrace::echoed(const QByteArray &bytes)
{
    flush();
    emitEntry(TraceDirection::Echo, bytes);
}

void FrameTrace::flush()
{
    if (m_reply.isEmpty())
        return;
    if (m_sink)
        m_sink(TraceEntry{TraceDirection::Received, m_replyTime, m_reply});
    m_reply.clear();
}

void FrameTrace::emitEntry(TraceDirection direction, const QByteArray &bytes)
{
    if (m_sink)
        m_sink(TraceEntry{direction, QDateTime::currentDateTime(), bytes});
}
