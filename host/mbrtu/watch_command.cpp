#include "host/mbrtu/watch_command.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <limits>
#include <map>
#include <memory>

#include "host/device/frame_trace.h"
#include "host/mbrtu/failure_text.h"
#include "host/mbrtu/request_plan.h"
#include "host/mbrtu/tool_commands.h"
#include "host/mbrtu/tool_session.h"
#include "host/runtime/driver_plugin.h"
#include "host/runtime/project_db.h"
#include "settings/communicator_command.h"
#include "settings/driver_interface.h"

namespace {

// A station that failed waits period * 2^failures, up to this.
constexpr qint64 kMaxBackoffMs = 30000;
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

// The area a group's request reads: FN6HR as HR, FN5DO as DO.
QString readAddress(const TagGroup &group)
{
    DeviceAddress address;
    address.area = group.area;
    address.number = group.first;
    return addressText(address);
}

QString timestamp()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

struct TagReading
{
    bool ok = false;
    QString value;   // when ok
    QString error;   // the driver's text and what mbrtu knows, when not
    QString kind;
};

struct StationState
{
    std::unique_ptr<AbstractDeviceInterface> device;
    qint64 dueMs = 0;
    int failures = 0;
    qint64 backoffMs = 0;
};

class Watch
{
public:
    Watch(const ToolOptions &options, DriverInterface *driver, const LinkDefaults &defaults,
          const QVector<TypedTag> &tags, QTextStream &out)
        : m_options(options),
          m_driver(driver),
          m_tags(tags),
          m_readings(tags.size()),
          m_out(out),
          m_trace([this](const TraceEntry &entry) { m_out << formatTraceEntry(entry) << '\n'; })
    {
        QVector<WatchTag> plain;
        for (const TypedTag &tag : tags)
            plain.append(tag.tag);
        GroupLimits limits;
        limits.maxRegisters = qMin(limits.maxRegisters, driver->getBlockAccessSize());
        limits.maxBits = qMin(limits.maxBits, driver->getBitBlockAccessSize());
        m_groups = groupTags(plain, limits);
        for (const TagGroup &group : m_groups) {
            if (m_stations.count(group.station))
                continue;
            ToolOptions forStation = options;
            forStation.station = group.station;
            m_timeoutMs[group.station] = linkChoiceFor(forStation, defaults).timeoutMs;
            m_stations[group.station].device =
                makeDevice(forStation, linkChoiceFor(forStation, defaults), options.trace ? &m_trace : nullptr,
                           [](qint64) { return !stopRequested(); });
        }
    }

    int requests() const { return m_groups.size(); }

    // Reads every group of the station; false when one failed.
    bool pollStation(int station)
    {
        bool good = true;
        for (const TagGroup &group : m_groups) {
            if (group.station == station)
                good = pollGroup(group) && good;
        }
        return good;
    }

    int once()
    {
        int failed = 0;
        for (auto it = m_stations.begin(); it != m_stations.end() && !stopRequested(); ++it)
            pollStation(it->first);
        m_out << QStringLiteral("%1 %2 %3 %4\n").arg(QStringLiteral("tag"), -12).arg(QStringLiteral("address"), -10)
                     .arg(QStringLiteral("value"), -16).arg(QStringLiteral("status"));
        for (int i = 0; i < m_tags.size(); ++i) {
            const TagReading &reading = m_readings[i];
            failed += reading.ok ? 0 : 1;
            m_out << QStringLiteral("%1 %2 %3 %4\n").arg(m_tags[i].tag.name, -12).arg(m_tags[i].tag.address.text, -10)
                         .arg(reading.value, -16).arg(reading.ok ? QStringLiteral("ok") : reading.error);
        }
        m_out << QStringLiteral("%1 tag(s) in %2 request(s): %3 read, %4 failed\n")
                     .arg(m_tags.size()).arg(m_groups.size()).arg(m_tags.size() - failed).arg(failed);
        m_out.flush();
        return failed == 0 ? kExitSuccess : kExitFailure;
    }

    int loop()
    {
        QElapsedTimer clock;
        clock.start();
        int cycles = 0;
        while (!stopRequested() && (m_options.polls == 0 || cycles < m_options.polls)) {
            const qint64 now = clock.elapsed();
            for (auto it = m_stations.begin(); it != m_stations.end() && !stopRequested(); ++it) {
                StationState &state = it->second;
                if (state.dueMs > now)
                    continue;
                const bool good = pollStation(it->first);
                state.failures = good ? 0 : state.failures + 1;
                state.backoffMs = good ? 0 : qMin(kMaxBackoffMs, qint64(m_options.pollMs) << qMin(state.failures, 16));
                state.dueMs = now + (good ? m_options.pollMs : state.backoffMs);
                printStation(it->first, state);
            }
            ++cycles;
            qint64 next = std::numeric_limits<qint64>::max();
            for (const auto &entry : m_stations)
                next = qMin(next, entry.second.dueMs);
            if (m_options.polls != 0 && cycles >= m_options.polls)
                break;
            sleepUnlessStopped(int(qMax<qint64>(0, next - clock.elapsed())));
        }
        return kExitSuccess;
    }

private:
    bool pollGroup(const TagGroup &group)
    {
        const bool bits = !isRegisterArea(group.area);
        const CommunicatorCommand command(bits ? BitData : WordData, group.count, readAddress(group));
        StationState &state = m_stations[group.station];
        const QByteArray data = m_driver->read(state.device.get(), command);
        m_trace.flush();
        TagReading reading;
        reading.ok = !m_driver->hasError();
        if (!reading.ok) {
            const FailureInfo failure = explainFailure(m_driver->getLastError(), state.device->errorString(),
                                                       m_timeoutMs.value(group.station));
            reading.kind = failure.kind;
            reading.error = failureLine(m_driver->getLastError(), failure);
        }
        for (int index : group.tags) {
            m_readings[index] = reading;
            if (reading.ok)
                m_readings[index].value = tagValue(m_tags[index], group, data);
        }
        return reading.ok;
    }

    void printStation(int station, const StationState &state)
    {
        const QString time = timestamp();
        for (int i = 0; i < m_tags.size(); ++i) {
            if (m_tags[i].tag.station != station)
                continue;
            const TagReading &reading = m_readings[i];
            if (m_options.json) {
                QJsonObject record{{QStringLiteral("time"), time},
                                   {QStringLiteral("station"), station},
                                   {QStringLiteral("tag"), m_tags[i].tag.name},
                                   {QStringLiteral("address"), m_tags[i].tag.address.text},
                                   {QStringLiteral("ok"), reading.ok}};
                record.insert(reading.ok ? QStringLiteral("value") : QStringLiteral("error"),
                              reading.ok ? reading.value : reading.error);
                if (!reading.ok) {
                    record.insert(QStringLiteral("kind"), reading.kind);
                    record.insert(QStringLiteral("backoffMs"), double(state.backoffMs));
                }
                m_out << QJsonDocument(record).toJson(QJsonDocument::Compact) << '\n';
            } else {
                m_out << time << ' ' << m_tags[i].tag.name << ' '
                      << (reading.ok ? reading.value
                                     : QStringLiteral("error: %1 (next try in %2 ms)").arg(reading.error).arg(state.backoffMs))
                      << '\n';
            }
        }
        m_out.flush();
    }

    const ToolOptions &m_options;
    DriverInterface *m_driver;
    QVector<TypedTag> m_tags;
    QVector<TagGroup> m_groups;
    QVector<TagReading> m_readings;
    std::map<int, StationState> m_stations;
    QMap<int, int> m_timeoutMs;
    QTextStream &m_out;
    FrameTrace m_trace;
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
    return options.once ? watch.once() : watch.loop();
}
