// Grouping tags into block requests: tag layouts and the requests that read
// them, at the block limits and the largest gap, with values that must not
// be split, several stations, and the areas that are read alike.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include "host/watch/tag_groups.h"

namespace {

// "HR1*3 2/HR5:2": blank-separated tags [station/]ADDRESS[:registers][*run],
// a run being that many one-register tags at consecutive addresses; station 1
// when not given.
QVector<WatchTag> layout(const char *text)
{
    static const QRegularExpression token(QStringLiteral("^(?:(\\d+)/)?([^:*]+)(?::(\\d+))?(?:\\*(\\d+))?$"));
    QVector<WatchTag> tags;
    for (const QString &item : QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = token.match(item);
        WatchTag tag;
        QString error;
        EXPECT_TRUE(match.hasMatch() && parseDeviceAddress(match.captured(2), &tag.address, &error)) << text;
        tag.station = match.captured(1).isEmpty() ? 1 : match.captured(1).toInt();
        tag.registers = match.captured(3).isEmpty() ? 1 : match.captured(3).toInt();
        const int run = match.captured(4).isEmpty() ? 1 : match.captured(4).toInt();
        for (int i = 0; i < run; ++i, ++tag.address.number)
            tags.append(tag);
    }
    return tags;
}

TEST(TagGroups, ReadsEachLayoutInItsRequests)
{
    // Requests as "[station/]AREA first+count", station 1 unmarked. Limits: 125 registers, 2000 bits, gap 10.
    const struct { const char *tags; int requests; const char *groups; } cases[] = {
        {"", 0, ""},                                    {"HR1 HR2 HR3", 1, "HR1+3"},
        {"HR10 HR1 HR5", 1, "HR1+10"},                  {"HR1 HR201", 2, "HR1+1 HR201+1"},
        {"HR1 HR12", 1, "HR1+12"},                      {"HR1 HR13", 2, "HR1+1 HR13+1"},
        {"DO1 DO12", 1, "DO1+12"},                      {"DO1 DO13", 2, "DO1+1 DO13+1"},
        {"HR1*125", 1, "HR1+125"},                      {"HR1*126", 2, "HR1+125 HR126+1"},
        {"HR1*123 HR124:2", 1, "HR1+125"},              {"HR1*124 HR125:2", 2, "HR1+124 HR125+2"},
        {"IR1*120 IR123:4", 2, "IR1+120 IR123+4"},      {"HR5:2 HR6", 1, "HR5+2"},
        {"2/HR1 HR2", 2, "HR2+1 2/HR1+1"},              {"HR7 FN6HR7 HR8", 1, "HR7+2"},
        {"DI1*2000", 1, "DI1+2000"},                    {"DI1*2001", 2, "DI1+2000 DI2001+1"},
        {"HR5.3 HR6", 1, "HR5+2"},                      {"HR5 HR5 HR5.1 HR5SW:2", 1, "HR5+2"},
        {"IR3 DO2 FN5DO3 HR1 DI1", 4, "DI1+1 DO2+2 HR1+1 IR3+1"},
    };
    for (const auto &c : cases) {
        const QVector<WatchTag> tags = layout(c.tags);
        const QVector<TagGroup> groups = groupTags(tags, GroupLimits());
        QStringList shown;
        QVector<int> readBy(tags.size(), 0); // requests each tag is read by
        for (const TagGroup &group : groups) {
            shown << QStringLiteral("%1%2%3+%4")
                         .arg(group.station == 1 ? QString() : QStringLiteral("%1/").arg(group.station),
                              areaName(group.area)).arg(group.first).arg(group.count);
            for (const int index : group.tags) {
                const WatchTag &tag = tags.at(index);
                ++readBy[index];
                EXPECT_EQ(tag.station, group.station) << c.tags;
                EXPECT_TRUE(tag.address.number >= group.first
                            && tag.address.number + tag.registers <= group.first + group.count)
                    << c.tags << ": " << tag.address.text.toStdString() << " lies outside its request";
            }
        }
        EXPECT_EQ(groups.size(), c.requests) << c.tags;
        EXPECT_EQ(shown.join(QLatin1Char(' ')).toStdString(), c.groups) << c.tags;
        EXPECT_EQ(readBy, QVector<int>(tags.size(), 1)) << c.tags << ": each tag in exactly one request";
    }
}

} // namespace
