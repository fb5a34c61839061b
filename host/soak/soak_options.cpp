#include "host/soak/soak_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <climits>
#include <cstdlib>

#include "host/soak/soak_faults.h"

namespace soak {

bool parseOptions(const QCoreApplication &app, Options *options, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Soak run of the driver plug-in against the simulated slave with faults injected into its replies."));
    parser.addHelpOption();
    const QCommandLineOption requests(QStringLiteral("requests"), QStringLiteral("Requests to send (100000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of requests, data and faults (1)."),
                                  QStringLiteral("S"));
    const QCommandLineOption rate(QStringLiteral("fault-rate"),
                                  QStringLiteral("Share of the slave's replies that get a fault, 0 to 1 (0.1)."),
                                  QStringLiteral("P"));
    const QCommandLineOption faults(QStringLiteral("faults"),
                                    QStringLiteral("Fault kinds to inject (drop,delay,corrupt,split,close)."),
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
    parser.addOptions({requests, seed, rate, faults, timeout, retries, station, progress, watchdog, tamper});
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
    if (parser.isSet(faults)) {
        options->faultKinds.clear();
        for (const QString &name : parser.value(faults).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            int kind = 0;
            while (kind < kFaultKinds && name.trimmed() != QLatin1String(kFaultNames[kind]))
                ++kind;
            if (kind == kFaultKinds) {
                *error = QStringLiteral("unknown fault kind '%1' (drop, delay, corrupt, split, close)").arg(name);
                return false;
            }
            options->faultKinds.append(sim::FaultKind(kind));
        }
        if (options->faultKinds.isEmpty()) {
            *error = QStringLiteral("--faults names no fault kind");
            return false;
        }
    }
    return true;
}

} // namespace soak
