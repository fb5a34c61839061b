#include "host/mbrtu/watch_command.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <map>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/device/station_device.h"
#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/record_fields.h"
#include "host/mbrtu/terminal_screen.h"
#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_session.h"
#include "host/mbrtu/watch_view.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/watch/watch_poller.h"
#include "settings/driver_interface.h"

namespace {

constexpr qint64 kMaxTagFileBytes = 16 * 1024 * 1024;
constexpr int kTrendLength = 16;
// The live view is redrawn at least this often, so that ages move.
constexpr int kRefreshMs = 250;
const QLatin1String kBackedOffKind("backed-off");

// What the view and the records show of one tag.
struct TagState
{
    QString value;          // the last value read
    qint64 readAtMs = -1;   // when it was read (the poller's clock)
    QDateTime time;         // when its last reading came, UTC
    bool ok = false;        // the last poll read it
    QString failure;        // the failure line when not
    QString cause;          // its short form: what the tool knows, else the driver's text
    QString kind;           // the kind of failure
    NotSent notSent = NotSent::No;
    qint64 nextTryMs = -1;  // when not sent: the station's next try (the poller's clock)
    QVector<double> trend;  // the last kTrendLength values
};

// A failure where the station gave no reply, or the gateway in front of it
// says it cannot reach it: the poller skips the station's other requests
// and backs off.
bool isSilence(const FailureInfo &failure)
{
    return failure.kind == QLatin1String("timeout") || failure.kind == QLatin1String("link")
           || isGatewayFault(failure.exceptionCode);
}

QVector<WatchTag> plainTags(const QVector<TypedTag> &tags)
{
    QVector<WatchTag> plain;
    for (const TypedTag &tag : tags)
        plain.append(tag.tag);
    return plain;
}

class Watch
{
public:
    Watch(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
          const QVector<TypedTag> &tags, QTextStream &out, QTextStream &err)
        : m_options(options),
          m_timeoutMs(linkChoiceFor(options, defaults).timeoutMs),
          m_tags(tags),
          m_states(tags.size()),
          m_out(out),
          m_err(err),
          m_trace([this](const TraceEntry &entry) { m_out << formatTraceEntry(entry) << '\n'; }),
          m_poller(driver, plainTags(tags), options.pollMs, m_timeoutMs,
                   [this](const GroupReading &reading) { return isSilence(explain(reading)); })
    {
        // One link for all stations, as on the bus: one port, one connection.
        // The live view goes on moving while a reply is awaited.
        m_link = makeDevice(options, linkChoiceFor(options, defaults), options.trace ? &m_trace : nullptr,
                            [this](qint64) {
                                if (m_redraw && m_sinceDrawn.elapsed() >= kRefreshMs)
                                    m_redraw();
                                return !stopRequested();
                            });
        HostDevice *link = m_link.get();
        m_poller.setProbeMode([link](int timeoutMs) { link->setProbeTimeoutMs(timeoutMs); });
        m_poller.setReplyHead([link]() { return link->replyHead(); });
        QStringList stations;
        for (int station : m_poller.stations()) {
            const auto added = m_stationDevices.emplace(station, StationDevice(link, station));
            m_poller.setDevice(station, &added.first->second);
            stations.append(QString::number(station));
        }
        m_linkLine = linkLine(options, (stations.size() == 1 ? QStringLiteral("station ") : QStringLiteral("stations "))
                                           + stations.join(QLatin1Char(',')));
    }

    // Every tag once: the table, or a record per tag.
    int once()
    {
        if (isText())
            m_out << m_linkLine << '\n';
        m_out.flush();
        for (int station : m_poller.stations()) {
            if (stopRequested())
                break;
            m_poller.pollStation(station, stopRequested);
            m_trace.flush();
            takeReadings(station);
        }
        if (!isText()) {
            for (int station : m_poller.stations())
                printRecords(station);
            return finish(m_err);
        }
        m_out << QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("tag"), -12).arg(QStringLiteral("address"), -10)
                     .arg(QStringLiteral("value"), -16).arg(QStringLiteral("status"));
        for (int i = 0; i < m_tags.size(); ++i)
            m_out << QStringLiteral("%1 %2 %3 %4\n").arg(m_tags[i].tag.name, -12).arg(m_tags[i].tag.address.text, -10)
                         .arg(m_states[i].ok ? m_states[i].value : QString(), -16).arg(statusOf(m_states[i]));
        return finish(m_out);
    }

    // A line, JSON record or CSV row per tag each cycle, station by station.
    int records()
    {
        if (isText())
            m_out << m_linkLine << '\n';
        m_out.flush();
        while (!stopRequested() && !cyclesDone()) {
            m_poller.pollCycle(stopRequested, [this](int station) {
                m_trace.flush();
                takeReadings(station);
                printRecords(station);
            });
            if (!cyclesDone())
                sleepUnlessStopped(int(m_poller.msUntilNextCycle()));
        }
        return finish(isText() ? m_out : m_err);
    }

    // The table redrawn in place until Ctrl-C, then the terminal as it was.
    // The stations' lines stay on the terminal after the view.
    int live()
    {
        {
            TerminalScreen screen(m_out);
            const auto draw = [&]() {
                screen.show(watchScreen(heading(), tagRows(), stationRows(), screen.width(), screen.height()));
                m_sinceDrawn.start();
            };
            m_redraw = draw;
            draw(); // every tag "waiting" before the first reply
            while (!stopRequested() && !cyclesDone()) {
                m_poller.pollCycle(stopRequested, [&](int station) {
                    takeReadings(station);
                    draw();
                });
                while (!stopRequested() && !cyclesDone() && m_poller.msUntilNextCycle() > 0) {
                    sleepUnlessStopped(int(qMin<qint64>(kRefreshMs, m_poller.msUntilNextCycle())));
                    draw();
                }
            }
            m_redraw = nullptr;
        }
        m_out << m_linkLine << '\n';
        for (const StationRow &row : stationRows())
            m_out << stationLine(row) << '\n';
        return finish(m_out);
    }

private:
    bool isText() const { return !m_options.json && !m_options.csv; }
    bool cyclesDone() const { return m_options.polls > 0 && m_poller.cycles() >= m_options.polls; }

    FailureInfo explain(const GroupReading &reading) const
    {
        return explainFailure(reading.error, reading.deviceError, m_timeoutMs, reading.replyHead);
    }

    // The summary line and the exit status of the run.
    int finish(QTextStream &summary)
    {
        m_tally.stopSignal = stopSignal();
        summary << QStringLiteral("%1 tag(s) in %2 request(s), %3 cycle(s) in %4: %5 read, %6 failed")
                       .arg(m_tags.size())
                       .arg(m_poller.groups().size())
                       .arg(qMax(1, m_poller.cycles()))
                       .arg(ageText(m_poller.elapsedMs()))
                       .arg(m_tally.succeeded)
                       .arg(m_tally.failed);
        if (m_tally.stopped > 0 || m_tally.stopSignal > 0)
            summary << QStringLiteral(", %1 stopped; %2").arg(m_tally.stopped).arg(interruptedText(m_tally.stopSignal));
        summary << '\n';
        summary.flush();
        return exitStatusFor(m_tally);
    }

    // Takes the station's readings into its tags' states and the run's tally.
    void takeReadings(int station)
    {
        const QVector<TagGroup> &groups = m_poller.groups();
        for (int g = 0; g < groups.size(); ++g) {
            const GroupReading &reading = m_poller.reading(g);
            if (groups[g].station != station || reading.atMs < 0)
                continue;
            const FailureInfo failure = reading.ok ? FailureInfo() : explain(reading);
            for (int index : groups[g].tags)
                takeReading(m_states[index], m_tags[index], groups[g], reading, failure);
        }
    }

    void takeReading(TagState &state, const TypedTag &tag, const TagGroup &group, const GroupReading &reading,
                     const FailureInfo &failure)
    {
        state.ok = reading.ok;
        state.time = reading.time;
        state.notSent = reading.notSent;
        state.nextTryMs = reading.nextTryMs;
        if (reading.ok) {
            ++m_tally.succeeded;
            state.failure.clear();
            state.kind.clear();
            state.value = tagValue(tag, group, reading.data);
            state.readAtMs = reading.atMs;
            state.trend.append(state.value.toDouble());
            if (state.trend.size() > kTrendLength)
                state.trend.removeFirst();
            return;
        }
        const bool stopped = reading.notSent == NotSent::No && isStoppedKind(failure.kind);
        ++(stopped ? m_tally.stopped : m_tally.failed);
        state.failure = failureLine(reading.error, failure);
        state.cause = failure.explanation.isEmpty() ? reading.error : failure.explanation;
        state.kind = reading.notSent == NotSent::No ? failure.kind : QString(kBackedOffKind);
    }

    // ms until the station's next try, for a tag not sent.
    qint64 nextTryIn(const TagState &state) const
    {
        return qMax<qint64>(0, state.nextTryMs - m_poller.elapsedMs());
    }

    QString statusOf(const TagState &state) const
    {
        if (state.ok)
            return QStringLiteral("ok");
        if (state.failure.isEmpty() && state.kind.isEmpty())
            return stopRequested() ? QStringLiteral("not read: stopped") : QStringLiteral("waiting");
        switch (state.notSent) {
        case NotSent::AfterSilence:
            return state.failure + QStringLiteral(" (not sent: the station gave no reply)");
        case NotSent::BackedOff:
            return QStringLiteral("backed off, next try in %1: %2").arg(ageText(nextTryIn(state)), state.cause);
        case NotSent::No:
            break;
        }
        return state.failure;
    }

    QString heading() const
    {
        return QStringLiteral("mbrtu watch: %1: %2 tag(s) in %3 request(s), period %4 ms, %5 (Ctrl-C ends)")
            .arg(m_linkLine)
            .arg(m_tags.size())
            .arg(m_poller.groups().size())
            .arg(m_options.pollMs)
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")));
    }

    QVector<TagRow> tagRows() const
    {
        const qint64 now = m_poller.elapsedMs();
        QVector<TagRow> rows;
        for (int i = 0; i < m_tags.size(); ++i) {
            const TagState &state = m_states[i];
            rows.append(TagRow{m_tags[i].tag.name, m_tags[i].tag.address.text, state.value,
                               state.readAtMs < 0 ? -1 : now - state.readAtMs, statusOf(state), state.trend});
        }
        return rows;
    }

    QVector<StationRow> stationRows() const
    {
        QVector<StationRow> rows;
        for (int station : m_poller.stations())
            rows.append(StationRow{station, m_poller.figures(station)});
        return rows;
    }

    void printRecords(int station)
    {
        for (int i = 0; i < m_tags.size(); ++i) {
            if (m_tags[i].tag.station == station)
                printRecord(m_tags[i], m_states[i]);
        }
        m_out.flush();
    }

    void printRecord(const TypedTag &tag, const TagState &state)
    {
        const QString time = state.time.toString(Qt::ISODateWithMs);
        if (m_options.json) {
            QJsonObject record{{QStringLiteral("time"), time},
                               {QStringLiteral("link"), linkText(m_options)},
                               {QStringLiteral("station"), tag.tag.station},
                               {QStringLiteral("tag"), tag.tag.name},
                               {QStringLiteral("address"), tag.tag.address.text},
                               {QStringLiteral("ok"), state.ok}};
            if (state.ok) {
                record.insert(QStringLiteral("value"), jsonNumber(state.value));
            } else {
                // A tag a stop left unread has no failure of its own.
                record.insert(QStringLiteral("error"), state.failure.isEmpty() ? statusOf(state) : state.failure);
                record.insert(QStringLiteral("kind"), state.kind.isEmpty() ? QStringLiteral("interrupted") : state.kind);
            }
            if (state.nextTryMs >= 0) {
                record.insert(QStringLiteral("nextTry"), nextTryTime(state));
                record.insert(QStringLiteral("nextTryInMs"), double(nextTryIn(state)));
            }
            m_out << QJsonDocument(record).toJson(QJsonDocument::Compact) << '\n';
        } else if (m_options.csv) {
            if (!m_csvHeaderDone)
                m_out << "time,link,station,tag,address,value,error\n";
            m_csvHeaderDone = true;
            m_out << time << ',' << csvField(linkText(m_options)) << ',' << tag.tag.station << ',' << csvField(tag.tag.name)
                  << ',' << tag.tag.address.text << ',' << (state.ok ? state.value : QString()) << ','
                  << csvField(state.ok ? QString() : statusOf(state)) << '\n';
        } else {
            m_out << time << ' ' << tag.tag.name << ' '
                  << (state.ok ? state.value : QStringLiteral("error: ") + statusOf(state)) << '\n';
        }
    }

    QString nextTryTime(const TagState &state) const
    {
        return QDateTime::currentDateTimeUtc().addMSecs(nextTryIn(state)).toString(Qt::ISODateWithMs);
    }

    const ToolOptions &m_options;
    int m_timeoutMs;
    QVector<TypedTag> m_tags;
    QVector<TagState> m_states;
    QTextStream &m_out;
    QTextStream &m_err;
    FrameTrace m_trace;
    WatchPoller m_poller;
    std::unique_ptr<HostDevice> m_link;
    std::map<int, StationDevice> m_stationDevices;
    QString m_linkLine;
    RunTally m_tally;
    bool m_csvHeaderDone = false;
    std::function<void()> m_redraw; // the live view's, while it is up
    QElapsedTimer m_sinceDrawn;
};

// The tags of --tags, of --tags-file, or else the project's for the link.
bool watchTags(const ToolOptions &options, const LinkChoice &link, QVector<TypedTag> *tags, QString *error)
{
    if (!options.tags.isEmpty())
        return parseWatchTags(options.tags, link.station, tags, error);
    if (!options.tagsFile.isEmpty()) {
        QFile file(options.tagsFile);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            *error = QStringLiteral("cannot read %1: %2").arg(options.tagsFile, file.errorString());
            return false;
        }
        if (parseWatchTagFile(QString::fromUtf8(file.read(kMaxTagFileBytes)), link.station, tags, error))
            return true;
        *error = options.tagsFile + QStringLiteral(":") + *error;
        return false;
    }
    QStringList addresses;
    if (!readProjectTags(projectDatabasePath(options.appDir), link.deviceString, &addresses) || addresses.isEmpty()) {
        *error = QStringLiteral("the project has no tags for link %1: give --tags or --tags-file, or write them "
                                "with mbrtu project --tags").arg(link.deviceString);
        return false;
    }
    return parseWatchTags(addresses.join(QLatin1Char(',')), link.station, tags, error);
}

} // namespace

int runWatch(const ToolOptions &given, QTextStream &out, QTextStream &err)
{
    DriverPlugin plugin;
    LinkDefaults defaults;
    if (!prepareDriver(given, &plugin, &defaults, err))
        return kExitFailure;
    const ToolOptions options = withStoredAddress(given, defaults);
    QVector<TypedTag> tags;
    QString error;
    if (!watchTags(options, linkChoiceFor(options, defaults), &tags, &error)) {
        err << "mbrtu: " << error << '\n';
        return kExitUsage;
    }
    installStopHandlers();
    Watch watch(options, plugin.driver(), defaults, tags, out, err);
    if (options.once)
        return watch.once();
    // Trace lines would tear the view: with --trace, records as well.
    return options.json || options.csv || options.trace || !TerminalScreen::isTerminal() ? watch.records() : watch.live();
}
