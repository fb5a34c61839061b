#include "loopback_masters.h"

#include <QList>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "host/device/frame_trace.h"
#include "settings/driver_interface.h"

namespace loopback {

void fail(const QString &text)
{
    std::fprintf(stderr, "loopback_bench: %s\n", qPrintable(text));
    std::exit(1);
}

// ---- the driver ----

bool DriverMaster::attempt(const Kind &kind)
{
    if (!kind.writeData.isEmpty())
        return m_driver->write(&m_device, kind.command, kind.writeData);
    const QByteArray data = m_driver->read(&m_device, kind.command);
    return !m_driver->hasError() && data.size() == kind.resultBytes;
}

void DriverMaster::once(const Kind &kind)
{
    if (!attempt(kind))
        fail(QStringLiteral("driver request failed (%1): %2").arg(kind.label, m_driver->getLastError()));
}

void DriverMaster::capture(Kind &kind)
{
    QList<TraceEntry> entries;
    FrameTrace trace([&](const TraceEntry &entry) { entries.append(entry); });
    m_device.setTrace(&trace);
    const bool ok = attempt(kind);
    trace.flush();
    m_device.setTrace(nullptr);
    if (!ok)
        fail(QStringLiteral("%1 through the driver failed: %2").arg(kind.label, m_driver->getLastError()));
    for (const TraceEntry &entry : entries) {
        if (entry.direction == TraceDirection::Sent)
            kind.request = entry.bytes;
        else if (entry.direction == TraceDirection::Received)
            kind.reply = entry.bytes;
    }
    if (kind.request.isEmpty() || kind.reply.isEmpty())
        fail(QStringLiteral("no frames traced for %1").arg(kind.label));
}

TcpDeviceSettings DriverMaster::settingsFor(quint16 port)
{
    TcpDeviceSettings settings;
    settings.port = port;
    settings.stationId = 1;
    settings.retryCount = 0;
    settings.responseTimeoutMs = 2000;
    return settings;
}

// ---- the link's limit ----

RawMaster::RawMaster(quint16 port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        fail(QStringLiteral("raw master cannot connect: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

RawMaster::~RawMaster()
{
    if (m_owned)
        ::close(m_fd);
}

void RawMaster::once(const QByteArray &request, int replyLength, bool lookFirst)
{
    if (lookFirst)
        ::recv(m_fd, m_buffer, sizeof m_buffer, MSG_DONTWAIT);
    if (::send(m_fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()
        || ::recv(m_fd, m_buffer, size_t(replyLength), MSG_WAITALL) != replyLength)
        fail(QStringLiteral("raw master: link broken"));
}

void RawMaster::verify(const Kind &kind)
{
    once(kind.request, kind.reply.size());
    if (QByteArray(m_buffer, kind.reply.size()) != kind.reply)
        fail(QStringLiteral("raw master got another reply for %1").arg(kind.label));
}

// ---- TcpDevice without the driver ----

void DeviceMaster::once(const Kind &kind)
{
    const int rest = kind.reply.size() - 5;
    const bool ok = m_device.writeData(kind.request.constData(), kind.request.size()) == kind.request.size()
                    && m_device.readData(m_reply, 5) == 5 && m_device.readData(m_reply + 5, rest) == rest;
    if (!ok)
        fail(QStringLiteral("device exchange failed: %1").arg(m_device.errorString()));
}
} // namespace loopback
