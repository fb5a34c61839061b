#include "host/gateway/gateway_config.h"

#include <QStringList>
#include <arpa/inet.h>

namespace gateway {
namespace {

constexpr int kQueueAllowanceMs = 1000;

bool parseAddress(const QString &text, quint32 *address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.toLatin1().constData(), &parsed) != 1)
        return false;
    *address = ntohl(parsed.s_addr);
    return true;
}

} // namespace

QString parseListen(const QString &text, QString *address, int *port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    const QString host = colon >= 0 ? text.left(colon) : QStringLiteral("127.0.0.1");
    bool ok = false;
    const int number = text.mid(colon + 1).toInt(&ok, 10);
    quint32 unused = 0;
    if (!ok || number < 0 || number > 65535 || !parseAddress(host, &unused))
        return QStringLiteral("--listen expects [ADDRESS:]PORT (an IPv4 address, a port from 0 to 65535), not '%1'")
            .arg(text);
    *address = host;
    *port = number;
    return QString();
}

QString parseAllowList(const QString &text, QVector<Network> *networks)
{
    networks->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList parts = item.split(QLatin1Char('/'));
        Network network;
        bool ok = parts.size() <= 2 && parseAddress(parts.first(), &network.address);
        int bits = 32;
        if (ok && parts.size() == 2)
            bits = parts.last().toInt(&ok, 10);
        if (!ok || bits < 0 || bits > 32)
            return QStringLiteral("--allow expects addresses and networks like 192.168.1.10,10.0.0.0/8, not '%1'")
                .arg(item);
        network.mask = bits == 0 ? 0 : ~quint32(0) << (32 - bits);
        network.address &= network.mask;
        networks->append(network);
    }
    return QString();
}

bool isAllowed(const QVector<Network> &allow, quint32 address)
{
    if (allow.isEmpty())
        return true;
    for (const Network &network : allow) {
        if ((address & network.mask) == network.address)
            return true;
    }
    return false;
}

int deadlineFor(const GatewayConfig &config, int timeoutMs, int retries, int delayMs)
{
    if (config.deadlineMs > 0)
        return config.deadlineMs;
    return (retries + 1) * (timeoutMs + delayMs) + kQueueAllowanceMs;
}

} // namespace gateway
