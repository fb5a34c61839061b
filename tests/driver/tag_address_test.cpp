// Tag addresses as DI and DO bits of stations.

#include <gtest/gtest.h>

#include <QRegExp>
#include <QStringList>
#include <random>

#include "driver/tag_address.h"
#include "support/qt_printers.h"

namespace {

const unsigned char DEFAULT_STATION = 7;

struct Expected
{
    const char *text;
    TagBitArea area;
    int station;
    int address;
};

void expectBit(const QString &text, const TagBit &bit, TagBitArea area, int station, int address)
{
    EXPECT_EQ(int(bit.area), int(area)) << text.toStdString();
    if (area == TagBitArea::None)
        return;
    EXPECT_EQ(bit.station, station) << text.toStdString();
    EXPECT_EQ(bit.address, address) << text.toStdString();
}

} // namespace

TEST(TagAddress, RulesInOrder)
{
    const TagBitArea DI = TagBitArea::DI, DO = TagBitArea::DO, None = TagBitArea::None;
    const Expected cases[] = {
        {"DI1", DI, 7, 0},          {"di3", DI, 7, 2},          {"DO17", DO, 7, 16},
        {"FN5DO4", DO, 7, 3},       {"fn5do2", DO, 7, 1},       {"Fn5Di4", None, 0, 0},
        {"DI0", DI, 7, 65535},      {"DI", DI, 7, 65535},       {"DI5X", DI, 7, 65535},
        {"DI-12", DI, 7, 11},       {"DO70000", DO, 7, 4463},   {"DIO5", DI, 7, 4},
        {"2-DI7", DI, 2, 6},        {"2-do1", DO, 2, 0},        {"3-FN5DO2", DO, 3, 1},
        {"1-DI5X", DI, 1, 4},       {"300-DI1", DI, 44, 0},     {"1-DI65537", DI, 1, 0},
        {"007-dI9", DI, 7, 8},      {"1-DI0", DI, 1, 65535},    {"4-fN5dO1", DO, 4, 0},
        {"HR10", None, 0, 0},       {"1-HR5", None, 0, 0},      {"FN6HR3", None, 0, 0},
        {"", None, 0, 0},           {"1-", None, 0, 0},         {"1-DI", None, 0, 0},
        {"-DI4", None, 0, 0},       {"1DI4", None, 0, 0},       {"1-FN5DI4", None, 0, 0},
        {"1-FNDO4", None, 0, 0},    {"1 -DI4", None, 0, 0},     {"x1-DI4", None, 0, 0},
    };
    for (const Expected &c : cases) {
        const QString text = QString::fromLatin1(c.text);
        expectBit(text, ModbusRTUSlaveClassifyTagAddress(text, DEFAULT_STATION), c.area, c.station,
                  c.address);
    }
}

// The hand-written scan against the pattern it stands for, on random texts
// built from the characters that matter, non-ASCII digits and a capital I
// with a dot included.
TEST(TagAddress, StationPrefixedFormAgreesWithItsPattern)
{
    QRegExp pattern(QStringLiteral("^(\\d+)-((?:FN5)?DO|DI)(\\d+)"), Qt::CaseInsensitive,
                    QRegExp::RegExp);
    const QString alphabet = QStringLiteral("0123456789-DdIiOoFfNn5X ") + QChar(0x0663)
                             + QChar(0x0130) + QChar(0xFF11);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> length(1, 10), pick(0, alphabet.size() - 1);
    const QStringList seeds = {QStringLiteral("1-DI"), QStringLiteral("12-fn5Do"),
                               QStringLiteral("3-do"), QString(QChar(0x0663)) + QStringLiteral("-D")};
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text = seeds.at(round % seeds.size());
        for (int n = length(random); n > 0; --n)
            text += alphabet.at(pick(random));
        if (!QChar(text.at(0)).isDigit())
            continue;
        const TagBit bit = ModbusRTUSlaveClassifyTagAddress(text, DEFAULT_STATION);
        if (pattern.indexIn(text) != 0) {
            expectBit(text, bit, TagBitArea::None, 0, 0);
            continue;
        }
        ++matched;
        const TagBitArea area = pattern.cap(2).toUpper().startsWith(QLatin1String("DI"))
                                    ? TagBitArea::DI
                                    : TagBitArea::DO;
        expectBit(text, bit, area, (unsigned char)pattern.cap(1).toUInt(),
                  (unsigned short)(pattern.cap(3).toInt() - 1));
    }
    EXPECT_GT(matched, 1000) << "the texts must exercise the matching side too";
}
