#include "host/mbrtu/failure_text.h"

namespace {

const char *const kExceptionNames[] = {
    nullptr,
    "illegal function",
    "illegal data address",
    "illegal data value",
    "slave device failure",
    "acknowledge (the slave needs longer)",
    "slave device busy",
    "negative acknowledge",
    "memory parity error",
    nullptr,
    "gateway fault: path unavailable", // kGatewayPathUnavailable
    "gateway fault: target device failed to respond", // kGatewayTargetFailed
};

const QLatin1String kExceptionPrefix("exception code:0x");

bool startsWithAny(const QString &text, std::initializer_list<const char *> prefixes)
{
    for (const char *prefix : prefixes) {
        if (text.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

// The device's words for a link that ended under the request.
QString linkLoss(const QString &deviceError)
{
    if (deviceError == QLatin1String("connection closed by peer") || deviceError == QLatin1String("connection reset by peer"))
        return QStringLiteral("the slave closed the link");
    if (deviceError == QLatin1String("port gone"))
        return QStringLiteral("the serial port is gone");
    if (deviceError.contains(QLatin1String("echo")))
        return deviceError;
    return QString();
}

// Bytes of text: no Modbus reply starts with two of them, since no function
// code (1 to 0x10, with 0x80 added in an exception) is a printable character.
constexpr int kTextBytesChecked = 4;

bool looksLikeText(const QByteArray &bytes)
{
    if (bytes.size() < 2)
        return false;
    for (int i = 0; i < qMin(int(bytes.size()), kTextBytesChecked); ++i) {
        const uchar c = uchar(bytes[i]);
        if (!(c >= 0x20 && c < 0x7F) && c != '\r' && c != '\n' && c != '\t')
            return false;
    }
    return true;
}

// "HTTP/1.1 400 Ba" (48 54 54 50 2F ...)
QString textPreview(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes)
        text += uchar(c) >= 0x20 && uchar(c) < 0x7F ? QChar::fromLatin1(c) : QChar(u'.');
    return QStringLiteral("\"%1\" (%2)").arg(text, QString::fromLatin1(bytes.toHex(' ').toUpper()));
}

} // namespace

QString exceptionName(int code)
{
    if (code < 0 || code >= int(sizeof kExceptionNames / sizeof *kExceptionNames) || !kExceptionNames[code])
        return QString();
    return QLatin1String(kExceptionNames[code]);
}

FailureInfo explainFailure(const QString &driverError, const QString &deviceError, int timeoutMs,
                           const QByteArray &replyHead)
{
    FailureInfo info;
    if (looksLikeText(replyHead)) {
        info.kind = QStringLiteral("frame");
        info.explanation = QStringLiteral("the peer does not speak Modbus RTU: it sent %1").arg(textPreview(replyHead));
        return info;
    }
    if (driverError.startsWith(kExceptionPrefix)) {
        bool ok = false;
        info.kind = QStringLiteral("exception");
        info.exceptionCode = driverError.mid(kExceptionPrefix.size(), 2).toInt(&ok, 16);
        if (!ok)
            info.exceptionCode = -1;
        info.explanation = exceptionName(info.exceptionCode);
        return info;
    }
    if (deviceError == QLatin1String("interrupted")) {
        info.kind = QStringLiteral("interrupted");
        info.explanation = QStringLiteral("stopped by Ctrl-C or SIGTERM");
        return info;
    }
    const QString lost = linkLoss(deviceError);
    if (driverError.startsWith(QLatin1String("PLC no response")) || driverError.startsWith(QLatin1String("packet loss"))) {
        if (!lost.isEmpty()) {
            info.kind = QStringLiteral("link");
            info.explanation = lost;
        } else if (driverError.startsWith(QLatin1String("packet loss"))) {
            info.kind = QStringLiteral("frame");
            info.explanation = QStringLiteral("the reply stopped short within %1 ms").arg(timeoutMs);
        } else {
            info.kind = QStringLiteral("timeout");
            info.explanation = QStringLiteral("no reply within %1 ms").arg(timeoutMs);
        }
    } else if (driverError.startsWith(QLatin1String("CRC error"))) {
        info.kind = QStringLiteral("crc");
    } else if (driverError.startsWith(QLatin1String("received bytes <"))) {
        info.kind = QStringLiteral("frame");
        info.explanation = QStringLiteral("the reply was shorter than any Modbus reply");
    } else if (driverError.startsWith(QLatin1String("invalid slave id:"))) {
        info.kind = QStringLiteral("frame");
        info.explanation = QStringLiteral("the reply names another station");
    } else if (driverError.startsWith(QLatin1String("invalid response"))) {
        info.kind = QStringLiteral("frame");
        info.explanation = QStringLiteral("the reply does not fit the request");
    } else if (startsWithAny(driverError, {"can not open database", "failed to get default station id",
                                           "failed to initialize valid bit addresses table", "invalid address "})) {
        info.kind = QStringLiteral("project");
    } else if (!deviceError.isEmpty() && driverError.startsWith(deviceError)) {
        info.kind = QStringLiteral("link"); // the device's own words: it could not open or send
    } else {
        info.kind = QStringLiteral("request");
    }
    return info;
}

QString failureLine(const QString &driverError, const FailureInfo &info)
{
    if (info.explanation.isEmpty())
        return driverError;
    return QStringLiteral("%1: %2").arg(driverError, info.explanation);
}
