#include "host/soak/soak_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <climits>
#include <cstdlib>


namespace soak {

bool parseOptions(const QCoreApplication &app, Options *options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Soak run of the driver plug-in against the simulated slave, or an external RTU-over-TCP slave, with "
        "faults injected into the replies by the simulated slave or by a proxy in front of the slave."));
    parser.addHelpOption();
    const QCommandLineOption requests(QStringLiteral("requests"), QStringLiteral("Requests to send (100000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of requests, data and faults (1)."),
                                  QStringLiteral("S"));
    const QCommandLineOption rate(QStringLiteral("fault-rate"),
                                  QStringLiteral("Share of the slave's replies that get a fault, 0 to 1 (0.1)."),
                                  QStringLiteral("P"));
    const QCommandLineOption faults(QStringLiteral("faults"),
                                    QStringLiteral("Fault kinds the simulated slave injects (drop,delay,corrupt,"
                                                   "split,close; also late, echo)."),
                                    QStringLiteral("LIST"));
    const QCommandLineOption timeout(QStringLiteral("timeout-ms"),
                                     QStringLiteral("Response time-out of the TCP device (100)."),
                                     QStringLiteral("MS"));
    const QCommandLineOption retries(QStringLiteral("retries"), QStringLiteral("Retry count of the device (1)."),
                                     QStringLiteral("N"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Station id of the slave (17)."),
                                     QStringLiteral("ID"));
    const QCommandLineOption progress(QStringLiteral("progress"),
                                      QStringLiteral("A progress line every N requests, 0 for none (10000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption watchdog(QStringLiteral("watchdog-ms"),
                                      QStringLiteral("Time after which a request counts as hung (worked out from "
                                                     "the time-out, retries and exchanges when not given)."),
                                      QStringLiteral("MS"));
    const QCommandLineOption tamper(QStringLiteral("tamper-every"),
                                    QStringLiteral("Self-check: every N requests change a known register or coil in "
                                                   "the slave behind the soak's back; the run must then fail."),
                                    QStringLiteral("N"));
    const QCommandLineOption slave(QStringLiteral("slave"),
                                   QStringLiteral("Run against this RTU-over-TCP slave instead of the simulated one; "
                                                  "its values are checked against the soak's acknowledged writes."),
                                   QStringLiteral("HOST:PORT"));
    const QCommandLineOption proxyFaults(QStringLiteral("proxy-faults"),
                                         QStringLiteral("Put a fault proxy in front of the slave that injects these "
                                                        "kinds (drop,delay,corrupt,split,close,late,echo) at "
                                                        "--fault-rate, instead of the simulated slave."),
                                         QStringLiteral("LIST"));
    const QCommandLineOption addresses(QStringLiteral("addresses"),
                                       QStringLiteral("Protocol addresses (zero-based) all requests stay in, in "
                                                      "every table, e.g. 0-99 (HR 0-399, IR 0-999, coils and "
                                                      "inputs 0-2999)."),
                                       QStringLiteral("FIRST-LAST"));
    parser.addOptions({requests, seed, rate, faults, timeout, retries, station, progress, watchdog, tamper, slave,
                       proxyFaults, addresses});
    if (!parser.parse(app.arguments())) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        std::exit(0);
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }
    const auto integer = [&](const QCommandLineOption &option, qint64 low, qint64 high, qint64 *value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const qint64 parsed = parser.value(option).toLongLong(&ok);
        if (!ok || parsed < low || parsed > high) {
            *error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                         .arg(option.names().first()).arg(low).arg(high);
            return false;
        }
        *value = parsed;
        return true;
    };
    qint64 timeoutMs = options->timeoutMs;
    qint64 retryCount = options->retries;
    qint64 stationId = options->station;
    qint64 seedValue = qint64(options->seed);
    if (!integer(requests, 1, qint64(1) << 40, &options->requests) || !integer(seed, 0, LLONG_MAX, &seedValue)
        || !integer(timeout, 1, 60000, &timeoutMs) || !integer(retries, 0, 100, &retryCount)
        || !integer(station, 1, 247, &stationId) || !integer(progress, 0, LLONG_MAX, &options->progressEvery)
        || !integer(watchdog, 1, LLONG_MAX, &options->watchdogMs)
        || !integer(tamper, 1, LLONG_MAX, &options->tamperEvery))
        return false;
    options->seed = quint64(seedValue);
    options->timeoutMs = int(timeoutMs);
    options->retries = int(retryCount);
    options->station = int(stationId);
    if (parser.isSet(rate)) {
        bool ok = false;
        options->faultRate = parser.value(rate).toDouble(&ok);
        if (!ok || options->faultRate < 0 || options->faultRate > 1) {
            *error = QStringLiteral("--fault-rate takes a number from 0 to 1");
            return false;
        }
    }
    if (parser.isSet(faults) && !sim::parseFaultKinds(parser.value(faults), &options->faultKinds, error))
        return false;
    if (parser.isSet(proxyFaults) && !sim::parseFaultKinds(parser.value(proxyFaults), &options->proxyFaultKinds, error))
        return false;
    if (parser.isSet(slave)) {
        const QString value = parser.value(slave);
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        options->slaveHost = value.left(colon);
        options->slavePort = value.mid(colon + 1).toInt(&ok);
        if (colon <= 0 || !ok || options->slavePort < 1 || options->slavePort > 65535) {
            *error = QStringLiteral("--slave takes HOST:PORT, not '%1'").arg(value);
            return false;
        }
    }
    if (parser.isSet(addresses)) {
        const QStringList range = parser.value(addresses).split(QLatin1Char('-'));
        bool firstOk = false;
        bool lastOk = false;
        options->firstAddress = range.value(0).toInt(&firstOk);
        options->lastAddress = range.value(1).toInt(&lastOk);
        if (range.size() != 2 || !firstOk || !lastOk || options->firstAddress < 0 || options->lastAddress > 65535
            || options->lastAddress - options->firstAddress + 1 < kMinAddresses) {
            *error = QStringLiteral("--addresses takes FIRST-LAST from 0 to 65535, at least %1 addresses, not '%2'")
                         .arg(kMinAddresses).arg(parser.value(addresses));
            return false;
        }
    }
    if (parser.isSet(faults) && options->proxy()) {
        *error = QStringLiteral("--faults (the simulated slave's) and --proxy-faults exclude each other");
        return false;
    }
    if (options->externalSlave() && parser.isSet(faults)) {
        *error = QStringLiteral("an external slave gets its faults from the proxy: use --proxy-faults");
        return false;
    }
    if (options->externalSlave() && options->tamperEvery > 0) {
        *error = QStringLiteral("--tamper-every needs the simulated slave, not --slave");
        return false;
    }
    return true;
}

} // namespace soak
