// Time and memory from the database gate to a built valid bit address map,
// for projects of 1,000, 10,000 and 100,000 tag rows on one link (and an
// empty tag table, the fixed cost), mixed DI, DO, station-prefixed and
// register tags over 32 stations.
//
// Every load runs in a fresh child process of this program, so each one
// opens the database, loads the SQLite plug-in, looks up the link and builds
// the whole map from nothing, and its memory can be told apart: the child
// reports the time of readDB, its resident size just before, its peak
// resident size (VmHWM) just after, and its ru_maxrss. The parent writes
// each project, runs one child that is not counted (so that the file and the
// libraries are in the page cache for all counted ones), then the counted
// children, and prints JSON (--json FILE as well).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

#include "driver/modbus_rtu_slave_over_tcp.h"
#include "host/runtime/process_memory.h"
#include "support/project_files.h"

namespace {

const int STATIONS = 32;
const char CHILD_OPTION[] = "--load-once";

// A deterministic mix: a quarter each of DI, DO, station-prefixed bits and
// register tags, numbers spread over the address space.
QString tagAddress(int row)
{
    const int number = int((quint64(row) * 2654435761u) % 65536) + 1;
    const int station = row % STATIONS + 1;
    switch (row % 8) {
    case 0: return QStringLiteral("DI%1").arg(number);
    case 1: return QStringLiteral("DO%1").arg(number);
    case 2: return QStringLiteral("FN5DO%1").arg(number);
    case 3: return QStringLiteral("%1-DI%2").arg(station).arg(number);
    case 4: return QStringLiteral("%1-DO%2").arg(station).arg(number);
    case 5: return QStringLiteral("%1-fn5do%2").arg(station).arg(number);
    case 6: return QStringLiteral("HR%1").arg(number);
    default: return QStringLiteral("%1-IR%2").arg(station).arg(number);
    }
}

bool writeProject(int rows)
{
    QStringList tags;
    tags.reserve(rows);
    for (int row = 0; row < rows; ++row)
        tags.append(tagAddress(row));
    return writeProjectDatabase(projectDatabasePath(), projectOnCom2(tags));
}

// The child: one load, one line of JSON.
int loadOnce()
{
    const qint64 rssBefore = processStatusKb("VmRSS");
    const qint64 peakBefore = processStatusKb("VmHWM");
    QElapsedTimer timer;
    DriverModbusRtuSlaveOverTcp driver;
    timer.start();
    const bool ok = driver.readDB(QStringLiteral("COM2"));
    const qint64 nanoseconds = timer.nsecsElapsed();
    const qint64 peakAfter = processStatusKb("VmHWM");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const QJsonObject result{{QStringLiteral("ok"), ok},
                             {QStringLiteral("error"), driver.getLastError()},
                             {QStringLiteral("ms"), double(nanoseconds) / 1e6},
                             {QStringLiteral("rss_before_kb"), double(rssBefore)},
                             {QStringLiteral("hwm_before_kb"), double(peakBefore)},
                             {QStringLiteral("hwm_after_kb"), double(peakAfter)},
                             {QStringLiteral("maxrss_kb"), double(usage.ru_maxrss)}};
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return ok ? 0 : 1;
}

QJsonObject runChild(const QString &program)
{
    QProcess child;
    child.start(program, {QLatin1String(CHILD_OPTION)});
    if (!child.waitForStarted(10000) || !child.waitForFinished(300000)
        || child.exitStatus() != QProcess::NormalExit) {
        std::fprintf(stderr, "project_load_bench: child did not run: %s\n", qPrintable(child.errorString()));
        return QJsonObject();
    }
    const QJsonObject result = QJsonDocument::fromJson(child.readAllStandardOutput()).object();
    if (child.exitCode() != 0 || !result.value(QStringLiteral("ok")).toBool()) {
        std::fprintf(stderr, "project_load_bench: load failed: %s %s\n",
                     qPrintable(result.value(QStringLiteral("error")).toString()),
                     child.readAllStandardError().constData());
        return QJsonObject();
    }
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String(CHILD_OPTION))
        return loadOnce();

    int runs = 7;
    QString jsonPath;
    QList<int> sizes{0, 1000, 10000, 100000};
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--runs"))
            runs = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--json"))
            jsonPath = arguments[i + 1];
    }

    QJsonArray results;
    int status = 0;
    for (int rows : sizes) {
        removeProjectDirectories();
        if (!writeProject(rows)) {
            std::fprintf(stderr, "project_load_bench: cannot write the project database\n");
            status = 1;
            break;
        }
        // One load first, not counted: the database file and the libraries
        // are then in the page cache for every counted load alike.
        if (runChild(app.applicationFilePath()).isEmpty()) {
            status = 1;
            break;
        }
        QJsonArray loads;
        for (int run = 0; run < runs; ++run) {
            const QJsonObject load = runChild(app.applicationFilePath());
            if (load.isEmpty()) {
                status = 1;
                break;
            }
            loads.append(load);
        }
        if (status != 0)
            break;
        results.append(QJsonObject{{QStringLiteral("rows"), rows},
                                   {QStringLiteral("database_bytes"),
                                    double(QFile(projectDatabasePath()).size())},
                                   {QStringLiteral("loads"), loads}});
        std::fprintf(stderr, "%d rows: %d loads done\n", rows, runs);
    }
    removeProjectDirectories();

    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("runs"), runs},
                                                      {QStringLiteral("projects"), results}})
                                .toJson();
    std::printf("%s", json.constData());
    if (!jsonPath.isEmpty()) {
        QFile file(jsonPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        file.write(json);
    }
    return status;
}
