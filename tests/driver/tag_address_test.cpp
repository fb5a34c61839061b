// Tag addresses as DI and DO bits of stations.

#include <gtest/gtest.h>

#include <QRegExp>
#include <random>

#include "driver/tag_address.h"

namespace {

const TagBitArea DI = TagBitArea::DI, DO = TagBitArea::DO, None = TagBitArea::None;

void expectBit(const QString &text, TagBitArea area, int station, int address)
{
    SCOPED_TRACE(text.toStdString());
    const TagBit bit = ModbusRTUSlaveClassifyTagAddress(text, 7);
    EXPECT_EQ(int(bit.area), int(area));
    if (area != None)
        EXPECT_EQ(std::make_pair(int(bit.station), int(bit.address)), std::make_pair(station, address));
}

} // namespace

TEST(TagAddress, RulesInOrder)
{
    // The default station is 7.
    const struct { const char *text; TagBitArea area; int station, address; } rows[] = {
        {"DI1", DI, 7, 0},       {"di3", DI, 7, 2},        {"DO17", DO, 7, 16},     {"FN5DO4", DO, 7, 3},
        {"fn5do2", DO, 7, 1},    {"Fn5Di4", None, 0, 0},   {"DI0", DI, 7, 65535},   {"DI", DI, 7, 65535},
        {"DI5X", DI, 7, 65535},  {"DI-12", DI, 7, 11},     {"DO70000", DO, 7, 4463}, {"DIO5", DI, 7, 4},
        {"2-DI7", DI, 2, 6},     {"2-do1", DO, 2, 0},      {"3-FN5DO2", DO, 3, 1},  {"1-DI5X", DI, 1, 4},
        {"300-DI1", DI, 44, 0},  {"1-DI65537", DI, 1, 0},  {"007-dI9", DI, 7, 8},   {"1-DI0", DI, 1, 65535},
        {"4-fN5dO1", DO, 4, 0},  {"HR10", None, 0, 0},     {"1-HR5", None, 0, 0},   {"FN6HR3", None, 0, 0},
        {"", None, 0, 0},        {"1-", None, 0, 0},       {"1-DI", None, 0, 0},    {"-DI4", None, 0, 0},
        {"1DI4", None, 0, 0},    {"1-FN5DI4", None, 0, 0}, {"1-FNDO4", None, 0, 0}, {"1 -DI4", None, 0, 0},
        {"x1-DI4", None, 0, 0},
    };
    for (const auto &row : rows)
        expectBit(QString::fromLatin1(row.text), row.area, row.station, row.address);
}

// The hand-written scan against the pattern it stands for, on random texts of
// the characters that matter, non-ASCII digits and a dotted capital I included.
TEST(TagAddress, StationPrefixedFormAgreesWithItsPattern)
{
    QRegExp pattern(QStringLiteral("^(\\d+)-((?:FN5)?DO|DI)(\\d+)"), Qt::CaseInsensitive);
    const QString alphabet = QStringLiteral("0123456789-DdIiOoFfNn5X ") + QChar(0x0663) + QChar(0x0130) + QChar(0xFF11);
    const QString seeds[] = {"1-DI", "12-fn5Do", "3-do", QString(QChar(0x0663)) + "-D"};
    std::mt19937 random(12345);
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text = seeds[round % 4];
        for (int n = 1 + int(random() % 10); n > 0; --n)
            text += alphabet.at(int(random() % unsigned(alphabet.size())));
        const bool match = pattern.indexIn(text) == 0;
        matched += match;
        expectBit(text, !match ? None : pattern.cap(2).toUpper().startsWith("DI") ? DI : DO,
                  (unsigned char)pattern.cap(1).toUInt(), (unsigned short)(pattern.cap(3).toInt() - 1));
    }
    EXPECT_GT(matched, 1000) << "the texts must exercise the matching side too";
}
