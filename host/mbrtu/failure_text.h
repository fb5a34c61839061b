#ifndef HOST_FAILURE_TEXT_H
#define HOST_FAILURE_TEXT_H

// What mbrtu can tell about a failed request beyond the driver's own text,
// which it always shows unchanged: the kind of failure, the exception's
// name, and what the device saw (a link the slave closed, a reply that never
// came within the time-out).

#include <QByteArray>
#include <QString>

struct FailureInfo
{
    // "exception", "timeout", "link", "crc", "frame"; "project" when the
    // project database does not fit the link, "request" for a request the
    // driver refused before sending anything, "interrupted" when a stop
    // signal ended the wait.
    QString kind;
    int exceptionCode = -1; // -1: no exception reply
    QString explanation;    // empty when the driver's text says it all
};

// driverError is the driver's last error, deviceError the device's, timeoutMs
// the response time-out the device had; replyHead the first bytes received
// after the request: when they are printable text, whatever the driver made
// of them, the peer speaks something else ("frame").
FailureInfo explainFailure(const QString &driverError, const QString &deviceError, int timeoutMs,
                           const QByteArray &replyHead = QByteArray());

// The line mbrtu shows for a failure: the driver's text, then what is known.
QString failureLine(const QString &driverError, const FailureInfo &info);

// "illegal data address"; gateway faults 0x0A and 0x0B say so; empty for an
// unknown code.
QString exceptionName(int code);

// Exceptions 0x0A and 0x0B: a gateway answering that it cannot reach the
// station, which says nothing about the station being there.
constexpr int kGatewayPathUnavailable = 0x0A;
constexpr int kGatewayTargetFailed = 0x0B;
inline bool isGatewayFault(int code)
{
    return code == kGatewayPathUnavailable || code == kGatewayTargetFailed;
}

#endif // HOST_FAILURE_TEXT_H
