#ifndef HOST_GATEWAY_GATEWAY_CONFIG_H
#define HOST_GATEWAY_GATEWAY_CONFIG_H

// How the gateway serves its clients: where it listens (127.0.0.1 unless an
// address is given, so that nothing is exposed by accident), how many
// clients it takes, who may connect, whether writes are refused, and the
// times after which it gives up on a request, an idle client or a frame
// that never completes. The parsers for the command line are here too.

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace gateway {

// An IPv4 network; a single address has all 32 bits of mask.
struct Network
{
    quint32 address = 0; // host order
    quint32 mask = 0;
};

struct GatewayConfig
{
    QString listenAddress = QStringLiteral("127.0.0.1");
    int listenPort = -1; // -1: not given; 0: any free port
    int maxClients = 16;
    QVector<Network> allow; // empty: every client
    bool readOnly = false;
    int idleTimeoutMs = 60000;
    int deadlineMs = 0;     // 0: derived from the link (deadlineFor)
    int statusEveryMs = 60000;
};

// A client's frame must be whole within this long of its first byte.
constexpr int kFrameCompleteMs = 1000;
// Requests of one client waiting for their answers; more are not read
// from its connection until answers have gone.
constexpr int kMaxPendingPerClient = 16;
constexpr int kMaxClientsLimit = 1000;

// "[ADDR:]PORT": 502, 0.0.0.0:502; empty on success, else the reason.
QString parseListen(const QString &text, QString *address, int *port);
// "192.168.1.10,10.0.0.0/8": empty on success, else the reason.
QString parseAllowList(const QString &text, QVector<Network> *networks);
bool isAllowed(const QVector<Network> &allow, quint32 address);
// The longest one request may take on the line, (retries + 1) times the
// time-out and the delay, and a second more for the queue: the deadline
// unless one is given.
int deadlineFor(const GatewayConfig &config, int timeoutMs, int retries, int delayMs);

} // namespace gateway

#endif // HOST_GATEWAY_GATEWAY_CONFIG_H
