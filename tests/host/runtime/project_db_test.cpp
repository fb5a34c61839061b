// The tag lists of a project. The database itself shows end to end: the
// driver refuses every request without it, and its DI and DO byte reads fetch
// only the tags it configures (mbrtu, the demo and the soak check those).

#include <gtest/gtest.h>

#include "host/runtime/project_db.h"

namespace {

TEST(TagList, ExpandsRangesAndStationPrefixesOrSaysWhyNot)
{
    const struct { const char *text; bool ok; const char *result; } cases[] = { // rows joined by commas, or the error
        {"2-do5-6", true, "2-DO5,2-DO6"},       {"FN5DO7-8, HR1", true, "FN5DO7,FN5DO8,HR1"},
        {"di65536", true, "DI65536"},           {"255-DI1,,DI2", true, "255-DI1,DI2"},
        {"", true, ""},                         {"DI5-3", false, "must run upwards"},
        {"DI1-65537", false, "end at 65536"},   {"256-DI1", false, "station 256 is above 255"},
        {"XY1", false, "unknown address area"}, {"1-64", false, "has no area"},
        {"DI1.3", false, "cannot read tag"},
    };
    for (const auto &c : cases) {
        QStringList rows;
        QString error;
        EXPECT_EQ(expandTagList(QLatin1String(c.text), &rows, &error), c.ok) << c.text;
        EXPECT_TRUE(c.ok ? rows.join(',') == QLatin1String(c.result) : error.contains(QLatin1String(c.result)))
            << c.text << " gave: " << (rows.join(',') + error).toStdString();
    }
}

} // namespace
