// The live view's text: the trend's blocks, ages, and a screen cut to the
// terminal's width and height.

#include <gtest/gtest.h>

#include "host/mbrtu/watch_view.h"

namespace {

TEST(WatchView, SparklineScalesBetweenTheLowestAndHighestValue)
{
    const struct { QVector<double> values; const char *blocks; } cases[] = {
        {{}, ""},
        {{5}, "\u2581"},
        {{3, 3, 3}, "\u2581\u2581\u2581"},
        {{0, 7}, "\u2581\u2588"},
        {{0, 1, 2, 3, 4, 5, 6, 7}, "\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588"},
        {{-10, 10, 0}, "\u2581\u2588\u2585"},
        {{100, 0, 50.1}, "\u2588\u2581\u2585"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sparkline(c.values), QString::fromUtf8(c.blocks)) << c.values.size();
}

TEST(WatchView, AgeText)
{
    const struct { qint64 ms; const char *text; } cases[] = {
        {-1, "-"},      {0, "0.0 s"},     {449, "0.4 s"},   {9999, "10.0 s"},
        {10000, "10 s"}, {599999, "599 s"}, {600000, "10 min"}, {3600000, "60 min"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ageText(c.ms), QLatin1String(c.text)) << c.ms;
}

TEST(WatchView, StationLineShowsTheBackOffOnlyWhileSilent)
{
    StationRow row{3, {}};
    row.figures.requestsPerSecond = 0.24;
    row.figures.failures = 2;
    EXPECT_EQ(stationLine(row), QStringLiteral("station 3: 0.2 req/s, median -, p99 -, 2 failure(s)"));
    row.figures.medianUs = 450;
    row.figures.p99Us = 12345;
    row.figures.silentCycles = 2;
    row.figures.backoffMs = 20000;
    row.figures.nextTryInMs = 1500;
    EXPECT_EQ(stationLine(row), QStringLiteral("station 3: 0.2 req/s, median 0.5 ms, p99 12.3 ms, 2 failure(s), "
                                               "no reply 2 time(s) in a row, back-off 20 s, next try in 1.5 s"));
}

TEST(WatchView, ScreenFitsTheTerminal)
{
    QVector<TagRow> tags;
    for (int i = 1; i <= 10; ++i)
        tags.append(TagRow{QStringLiteral("tag%1").arg(i), QStringLiteral("HR%1").arg(i), QString::number(i * 10),
                           100, QStringLiteral("ok"), {1, 2}});
    const QVector<StationRow> stations{{1, {}}, {2, {}}};

    // Tall enough: heading, titles, ten tags, a blank line, two stations.
    const QStringList all = watchScreen(QStringLiteral("heading"), tags, stations, 200, 15);
    ASSERT_EQ(all.size(), 15);
    EXPECT_EQ(all[0], QStringLiteral("heading"));
    EXPECT_TRUE(all[1].startsWith(QStringLiteral("tag   address    value            age     trend            status")))
        << qPrintable(all[1]);
    EXPECT_EQ(all[11], QStringLiteral("tag10 HR10       100              0.1 s   \u2581\u2588               ok"));
    EXPECT_TRUE(all[12].isEmpty());
    EXPECT_TRUE(all[14].startsWith(QStringLiteral("station 2:")));

    // One row short: nine lines for tags, the last saying what is left out.
    const QStringList cut = watchScreen(QStringLiteral("heading"), tags, stations, 200, 14);
    ASSERT_EQ(cut.size(), 14);
    EXPECT_EQ(cut[9], QStringLiteral("tag8  HR8        80               0.1 s   \u2581\u2588               ok"));
    EXPECT_EQ(cut[10], QStringLiteral("... and 2 more tag(s); a taller terminal shows them"));

    // Narrow: every line cut to the width.
    for (const QString &line : watchScreen(QStringLiteral("a long heading"), tags, stations, 12, 3))
        EXPECT_LE(line.size(), 12) << qPrintable(line);

    // The trend goes before a status is cut; then the status is cut to the width.
    tags[0].status = QStringLiteral("backed off, next try");
    const struct { int width; const char *row; } widths[] = {
        {79, "tag1  HR1        10               0.1 s   \u2581\u2588               backed off, next try"},
        {78, "tag1  HR1        10               0.1 s   backed off, next try"},
        {62, "tag1  HR1        10               0.1 s   backed off, next try"},
        {50, "tag1  HR1        10               0.1 s   backed o"},
    };
    for (const auto &c : widths)
        EXPECT_EQ(watchScreen(QString(), tags, stations, c.width, 20)[2].toStdString(), c.row) << c.width;
    // A long status keeps the trend only with 40 columns left for it.
    tags[0].status = QString(60, QLatin1Char('x'));
    EXPECT_EQ(watchScreen(QString(), tags, stations, 99, 20)[2].size(), 99);
    EXPECT_TRUE(watchScreen(QString(), tags, stations, 99, 20)[2].contains(QStringLiteral("\u2581\u2588")));
    EXPECT_FALSE(watchScreen(QString(), tags, stations, 98, 20)[2].contains(QStringLiteral("\u2581\u2588")));
}

} // namespace
