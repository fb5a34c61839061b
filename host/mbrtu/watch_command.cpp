#include "host/mbrtu/watch_command.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <map>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/device/station_device.h"
#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/request_plan.h"
#include "host/mbrtu/terminal_screen.h"
#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_session.h"
#include "host/mbrtu/watch_view.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "host/watch/watch_poller.h"
#include "settings/driver_interface.h"

namespace {

constexpr int kBitsPerByte = 8;
constexpr qint64 kMaxTagFileBytes = 16 * 1024 * 1024;

// [STATION-]ADDRESS[-LAST][:TYPE[:ORDER]]
const QRegularExpression kTagItem(QStringLiteral("^(?:(\\d+)-)?((?:FN\\d)?[A-Z]+\\d+(?:\\.\\d+)?)(?:-(\\d+))?"
                                                 "(?::([A-Z0-9]+))?(?::([A-Z]+))?$"),
                                  QRegularExpression::CaseInsensitiveOption);

bool typeTag(const QString &typeText, const QString &orderText, TypedTag *tag, QString *error)
{
    const DeviceAddress &address = tag->tag.address;
    tag->bit = !isRegisterArea(address.area) || address.bit >= 0;
    if (tag->bit) {
        if (!typeText.isEmpty() && typeText.compare(QLatin1String("bit"), Qt::CaseInsensitive) != 0) {
            *error = QStringLiteral("%1 is a bit, not a %2").arg(address.text, typeText);
            return false;
        }
        return true;
    }
    if (!typeText.isEmpty() && !parseNumberType(typeText, &tag->type)) {
        *error = QStringLiteral("'%1' is no type: int16, uint16, int32, uint32, float32, int64, uint64 or float64")
                     .arg(typeText);
        return false;
    }
    if (!orderText.isEmpty() && !parseByteOrder(orderText, &tag->order)) {
        *error = QStringLiteral("'%1' is no byte order: ABCD, CDAB, BADC or DCBA").arg(orderText);
        return false;
    }
    tag->tag.registers = registersPerValue(tag->type);
    return true;
}

QString timestamp()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

// What the view and the records show of one tag.
struct TagState
{
    QString value;          // the last value read
    qint64 readAtMs = -1;   // when it was read
    bool ok = false;        // the last poll read it
    QString status;         // "ok" or the failure line
    QString kind;           // the kind of failure
    QVector<double> trend;  // the last kTrendLength values
};

constexpr int kTrendLength = 16;
// The live view is redrawn at least this often, so that ages move.
constexpr int kRefreshMs = 250;

// A failure where the station gave no reply, or the gateway in front of it
// says it cannot reach it: the poller skips the station's other requests
// and backs off.
bool isSilence(const FailureInfo &failure)
{
    return failure.kind == QLatin1String("timeout") || failure.kind == QLatin1String("link")
           || isGatewayFault(failure.exceptionCode);
}

class Watch
{
public:
    Watch(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
          const QVector<TypedTag> &tags, QTextStream &out)
        : m_options(options),
          m_defaults(defaults),
          m_tags(tags),
          m_states(tags.size()),
          m_out(out),
          m_trace([this](const TraceEntry &entry) { m_out << formatTraceEntry(entry) << '\n'; }),
          m_poller(driver, plainTags(tags), options.pollMs,
                   [this](const GroupReading &reading) { return isSilence(explain(reading)); })
    {
        // One link for all stations, as on the bus: one port, one connection.
        m_link = makeDevice(options, linkChoiceFor(options, defaults), options.trace ? &m_trace : nullptr,
                            [](qint64) { return !stopRequested(); });
        for (int station : m_poller.stations()) {
            const auto added = m_stationDevices.emplace(station, StationDevice(m_link.get(), station));
            m_poller.setDevice(station, &added.first->second);
        }
    }

    int once()
    {
        for (int station : m_poller.stations()) {
            if (stopRequested())
                break;
            m_poller.pollStation(station, stopRequested);
            m_trace.flush();
            takeReadings(station);
        }
        int failed = 0;
        m_out << QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("tag"), -12).arg(QStringLiteral("address"), -10)
                     .arg(QStringLiteral("value"), -16).arg(QStringLiteral("status"));
        for (int i = 0; i < m_tags.size(); ++i) {
            const TagState &state = m_states[i];
            failed += state.ok ? 0 : 1;
            m_out << QStringLiteral("%1 %2 %3 %4\n").arg(m_tags[i].tag.name, -12).arg(m_tags[i].tag.address.text, -10)
                         .arg(state.ok ? state.value : QString(), -16)
                         .arg(state.status.isEmpty() ? QStringLiteral("not read: stopped") : state.status);
        }
        m_out << QStringLiteral("%1 tag(s) in %2 request(s): %3 read, %4 failed\n")
                     .arg(m_tags.size()).arg(m_poller.groups().size()).arg(m_tags.size() - failed).arg(failed);
        m_out.flush();
        return failed == 0 ? kExitSuccess : kExitFailure;
    }

    // A line or JSON record per tag of every station polled, each cycle.
    int records()
    {
        int cycles = 0;
        while (!stopRequested() && (m_options.polls == 0 || cycles < m_options.polls)) {
            for (int station : m_poller.pollDue(stopRequested)) {
                m_trace.flush();
                takeReadings(station);
                printStation(station);
            }
            if (m_options.polls != 0 && ++cycles >= m_options.polls)
                break;
            sleepUnlessStopped(int(m_poller.msUntilDue()));
        }
        return kExitSuccess;
    }

    // The table redrawn in place until Ctrl-C, then the terminal as it was.
    // The stations' lines stay on the terminal after the view.
    int live()
    {
        {
            TerminalScreen screen(m_out);
            int cycles = 0;
            while (!stopRequested() && (m_options.polls == 0 || cycles < m_options.polls)) {
                const QVector<int> polled = m_poller.pollDue(stopRequested);
                for (int station : polled)
                    takeReadings(station);
                screen.show(watchScreen(heading(), tagRows(), stationRows(), screen.width(), screen.height()));
                if (!polled.isEmpty() && m_options.polls != 0 && ++cycles >= m_options.polls)
                    break;
                sleepUnlessStopped(int(qMin<qint64>(kRefreshMs, m_poller.msUntilDue())));
            }
        }
        m_out << QStringLiteral("watched %1 tag(s) for %2\n").arg(m_tags.size()).arg(ageText(m_poller.elapsedMs()));
        for (const StationRow &row : stationRows())
            m_out << stationLine(row) << '\n';
        m_out.flush();
        return kExitSuccess;
    }

private:
    static QVector<WatchTag> plainTags(const QVector<TypedTag> &tags)
    {
        QVector<WatchTag> plain;
        for (const TypedTag &tag : tags)
            plain.append(tag.tag);
        return plain;
    }

    FailureInfo explain(const GroupReading &reading) const
    {
        return explainFailure(reading.error, reading.deviceError, m_timeoutMs);
    }

    // Takes the station's readings into its tags' states.
    void takeReadings(int station)
    {
        const QVector<TagGroup> &groups = m_poller.groups();
        for (int g = 0; g < groups.size(); ++g) {
            const GroupReading &reading = m_poller.reading(g);
            if (groups[g].station != station || reading.atMs < 0)
                continue;
            const FailureInfo failure = reading.ok ? FailureInfo() : explain(reading);
            for (int index : groups[g].tags) {
                TagState &state = m_states[index];
                state.ok = reading.ok;
                state.kind = failure.kind;
                if (!reading.ok) {
                    state.status = failureLine(reading.error, failure)
                                   + (reading.skipped ? QStringLiteral(" (not sent: the station gave no reply)") : QString());
                    continue;
                }
                state.status = QStringLiteral("ok");
                state.value = tagValue(m_tags[index], groups[g], reading.data);
                state.readAtMs = reading.atMs;
                state.trend.append(state.value.toDouble());
                if (state.trend.size() > kTrendLength)
                    state.trend.removeFirst();
            }
        }
    }

    QString heading() const
    {
        return QStringLiteral("mbrtu watch: %1 tag(s) in %2 request(s), period %3 ms, %4 (Ctrl-C ends)")
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
                               state.readAtMs < 0 ? -1 : now - state.readAtMs,
                               state.status.isEmpty() ? QStringLiteral("waiting") : state.status, state.trend});
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

    void printStation(int station)
    {
        const QString time = timestamp();
        const qint64 backoffMs = m_poller.figures(station).backoffMs;
        for (int i = 0; i < m_tags.size(); ++i) {
            if (m_tags[i].tag.station != station)
                continue;
            const TagState &state = m_states[i];
            if (m_options.json) {
                QJsonObject record{{QStringLiteral("time"), time},
                                   {QStringLiteral("station"), station},
                                   {QStringLiteral("tag"), m_tags[i].tag.name},
                                   {QStringLiteral("address"), m_tags[i].tag.address.text},
                                   {QStringLiteral("ok"), state.ok}};
                record.insert(state.ok ? QStringLiteral("value") : QStringLiteral("error"),
                              state.ok ? state.value : state.status);
                if (!state.ok) {
                    record.insert(QStringLiteral("kind"), state.kind);
                    record.insert(QStringLiteral("backoffMs"), double(backoffMs));
                }
                m_out << QJsonDocument(record).toJson(QJsonDocument::Compact) << '\n';
            } else {
                m_out << time << ' ' << m_tags[i].tag.name << ' '
                      << (state.ok ? state.value
                                   : QStringLiteral("error: %1 (next try in %2 ms)").arg(state.status).arg(backoffMs))
                      << '\n';
            }
        }
        m_out.flush();
    }

    const ToolOptions &m_options;
    const LinkDefaults &m_defaults;
    QVector<TypedTag> m_tags;
    QVector<TagState> m_states;
    QTextStream &m_out;
    FrameTrace m_trace;
    int m_timeoutMs = linkChoiceFor(m_options, m_defaults).timeoutMs;
    WatchPoller m_poller;
    std::unique_ptr<HostDevice> m_link;
    std::map<int, StationDevice> m_stationDevices;
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

bool parseWatchTags(const QString &text, int defaultStation, QVector<TypedTag> *tags, QString *error)
{
    tags->clear();
    for (const QString &rawItem : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = rawItem.trimmed();
        const QRegularExpressionMatch match = kTagItem.match(item);
        TypedTag tag;
        if (!match.hasMatch() || !parseDeviceAddress(match.captured(2), &tag.tag.address, error)) {
            *error = QStringLiteral("--tags: '%1' is no tag: [STATION-]ADDRESS[-LAST][:TYPE[:ORDER]]").arg(item);
            return false;
        }
        bool ok = true;
        tag.tag.station = match.captured(1).isEmpty() ? defaultStation : match.captured(1).toInt(&ok);
        if (!ok || tag.tag.station < 1 || tag.tag.station > 255) {
            *error = QStringLiteral("--tags: '%1': stations go from 1 to 255").arg(item);
            return false;
        }
        if (!typeTag(match.captured(4), match.captured(5), &tag, error)) {
            *error = QStringLiteral("--tags: ") + *error;
            return false;
        }
        const int last = match.captured(3).isEmpty() ? tag.tag.address.number : match.captured(3).toInt();
        if (last < tag.tag.address.number || last > kAddressCount || tag.tag.address.bit >= 0 && last != tag.tag.address.number) {
            *error = QStringLiteral("--tags: '%1': the run must go upwards, within 1 to 65536").arg(item);
            return false;
        }
        const int step = tag.bit ? 1 : tag.tag.registers;
        for (int number = tag.tag.address.number; number <= last; number += step) {
            TypedTag one = tag;
            one.tag.address.number = number;
            one.tag.address.text = addressText(one.tag.address);
            one.tag.name = (match.captured(1).isEmpty() ? QString() : match.captured(1) + QLatin1Char('-'))
                           + one.tag.address.text;
            tags->append(one);
        }
    }
    if (tags->isEmpty()) {
        *error = QStringLiteral("--tags names no tag");
        return false;
    }
    return true;
}

bool parseWatchTagFile(const QString &text, int defaultStation, QVector<TypedTag> *tags, QString *error)
{
    tags->clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        QVector<TypedTag> one;
        QString reason;
        const QString item = fields.value(1).trimmed()
                             + (fields.size() > 2 ? QLatin1Char(':') + fields[2].trimmed() : QString());
        if (fields.size() < 2 || fields.size() > 3 || fields[0].trimmed().isEmpty())
            reason = QStringLiteral("expected name,address[,type], not '%1'").arg(line);
        else if (parseWatchTags(item, defaultStation, &one, &reason) && one.size() != 1)
            reason = QStringLiteral("'%1' names %2 tags: one line, one tag").arg(item).arg(one.size());
        if (!reason.isEmpty()) {
            *error = QStringLiteral("%1: %2").arg(i + 1).arg(reason);
            return false;
        }
        one[0].tag.name = fields[0].trimmed();
        tags->append(one[0]);
    }
    if (tags->isEmpty()) {
        *error = QStringLiteral("no tag in the file");
        return false;
    }
    return true;
}

QString tagValue(const TypedTag &tag, const TagGroup &group, const QByteArray &data)
{
    const int offset = tag.tag.address.number - group.first;
    if (!isRegisterArea(group.area)) {
        const int byte = offset / kBitsPerByte;
        return byte < data.size() ? QString::number((uchar(data[byte]) >> (offset % kBitsPerByte)) & 1) : QString();
    }
    const QByteArray words = data.mid(offset * 2, tag.tag.registers * 2);
    if (tag.bit) {
        const int word = words.size() == 2 ? uchar(words[0]) | uchar(words[1]) << 8 : 0;
        return words.size() == 2 ? QString::number((word >> tag.tag.address.bit) & 1) : QString();
    }
    return decodeNumbers(tag.type, tag.order, words, 1).value(0);
}

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
    Watch watch(options, plugin.driver(), defaults, tags, out);
    if (options.once)
        return watch.once();
    // Trace lines would tear the view: with --trace, records as well.
    return options.json || options.trace || !TerminalScreen::isTerminal() ? watch.records() : watch.live();
}
