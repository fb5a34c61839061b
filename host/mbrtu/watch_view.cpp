#include "host/mbrtu/watch_view.h"

#include <algorithm>

namespace {

// U+2581..U+2588, the eight heights of a block.
const QString kBlocks = QStringLiteral("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588");
constexpr int kMaxNameWidth = 24;
constexpr int kAddressWidth = 10;
constexpr int kValueWidth = 16;
constexpr int kAgeWidth = 7;
constexpr int kTrendWidth = 16;
// The trend column is shown only when it leaves the status this much room
// (or all of the longest status, when that is shorter).
constexpr int kStatusRoom = 40;
// Heading, column titles, the blank line before the stations.
constexpr int kFixedLines = 3;
constexpr qint64 kMsPerSecond = 1000;
constexpr qint64 kSecondsPerMinute = 60;

QString milliseconds(qint64 us)
{
    return us < 0 ? QStringLiteral("-") : QString::number(double(us) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

} // namespace

QString stationLine(const StationRow &row)
{
    const StationFigures &f = row.figures;
    QString line = QStringLiteral("station %1: %2 req/s, median %3, p99 %4, %5 failure(s)")
                       .arg(row.station)
                       .arg(f.requestsPerSecond, 0, 'f', 1)
                       .arg(milliseconds(f.medianUs), milliseconds(f.p99Us))
                       .arg(f.failures);
    if (f.silentCycles > 0)
        line += QStringLiteral(", no reply %1 time(s) in a row, back-off %2, next try in %3")
                    .arg(f.silentCycles)
                    .arg(ageText(f.backoffMs), ageText(f.nextTryInMs));
    return line;
}

QString sparkline(const QVector<double> &values)
{
    if (values.isEmpty())
        return QString();
    const auto range = std::minmax_element(values.begin(), values.end());
    const double low = *range.first;
    const double span = *range.second - low;
    QString line;
    for (double value : values) {
        const int level = span > 0 ? int((value - low) / span * (kBlocks.size() - 1) + 0.5) : 0;
        line += kBlocks[level];
    }
    return line;
}

QString ageText(qint64 ms)
{
    if (ms < 0)
        return QStringLiteral("-");
    if (ms < 10 * kMsPerSecond)
        return QString::number(double(ms) / kMsPerSecond, 'f', 1) + QStringLiteral(" s");
    const qint64 seconds = ms / kMsPerSecond;
    if (seconds < 10 * kSecondsPerMinute)
        return QString::number(seconds) + QStringLiteral(" s");
    return QString::number(seconds / kSecondsPerMinute) + QStringLiteral(" min");
}

QStringList watchScreen(const QString &heading, const QVector<TagRow> &tags, const QVector<StationRow> &stations,
                        int width, int height)
{
    int nameWidth = 3;
    int statusWidth = 0;
    for (const TagRow &tag : tags) {
        nameWidth = std::max(nameWidth, std::min(kMaxNameWidth, int(tag.name.size())));
        statusWidth = std::max(statusWidth, int(tag.status.size()));
    }
    // The trend goes before the status is cut below its room.
    const int columnsBeforeTrend = nameWidth + kAddressWidth + kValueWidth + kAgeWidth + 4;
    const bool trendShown = columnsBeforeTrend + kTrendWidth + 1 + std::min(statusWidth, kStatusRoom) <= width;
    const auto row = [&](const QString &name, const QString &address, const QString &value, const QString &age,
                         const QString &trend, const QString &status) {
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(name.left(nameWidth), -nameWidth)
            .arg(address, -kAddressWidth)
            .arg(value, -kValueWidth)
            .arg(age, -kAgeWidth)
            .arg(trendShown ? QStringLiteral("%1 %2").arg(trend, -kTrendWidth).arg(status) : status);
    };

    QStringList lines{heading, row(QStringLiteral("tag"), QStringLiteral("address"), QStringLiteral("value"),
                                   QStringLiteral("age"), QStringLiteral("trend"), QStringLiteral("status"))};
    const int room = std::max(1, height - kFixedLines - int(stations.size()));
    const int shown = tags.size() <= room ? tags.size() : room - 1;
    for (int i = 0; i < shown; ++i) {
        const TagRow &tag = tags[i];
        lines.append(row(tag.name, tag.address, tag.value, ageText(tag.ageMs), sparkline(tag.trend), tag.status));
    }
    if (shown < tags.size())
        lines.append(QStringLiteral("... and %1 more tag(s); a taller terminal shows them").arg(tags.size() - shown));
    lines.append(QString());
    for (const StationRow &station : stations)
        lines.append(stationLine(station));
    for (QString &line : lines)
        line.truncate(std::max(0, width));
    return lines;
}
