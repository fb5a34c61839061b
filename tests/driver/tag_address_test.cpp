// Tag addresses as DI and DO bits of stations.

#include <gtest/gtest.h>

#include <QRegExp>
#include <random>

#include "driver/tag_address.h"

namespace {

const unsigned char DefaultStation = 7;

void expectBit(const QString &text, TagBitArea area, int station, int address)
{
    SCOPED_TRACE(text.toStdString());
    const TagBit bit = ModbusRTUSlaveClassifyTagAddress(text, DefaultStation);
    EXPECT_EQ(int(bit.area), int(area));
    if (area != TagBitArea::None) {
        EXPECT_EQ(bit.station, station);
        EXPECT_EQ(bit.address, address);
    }
}

} // namespace

TEST(TagAddress, RulesInOrder)
{
    const TagBitArea DI = TagBitArea::DI, DO = TagBitArea::DO, None = TagBitArea::None;
    const struct
    {
        const char *text;
        TagBitArea area;
        int station;
        int address;
    } rows[] = {
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
    for (const auto &row : rows)
        expectBit(QString::fromLatin1(row.text), row.area, row.station, row.address);
}

// The hand-written scan against the pattern it stands for, on random texts of
// the characters that matter, non-ASCII digits and a dotted capital I included.
TEST(TagAddress, StationPrefixedFormAgreesWithItsPattern)
{
    QRegExp pattern(QStringLiteral("^(\\d+)-((?:FN5)?DO|DI)(\\d+)"), Qt::CaseInsensitive);
    const QString alphabet = QStringLiteral("0123456789-DdIiOoFfNn5X ") + QChar(0x0663)
                             + QChar(0x0130) + QChar(0xFF11);
    const QString seeds[] = {QStringLiteral("1-DI"), QStringLiteral("12-fn5Do"),
                             QStringLiteral("3-do"), QString(QChar(0x0663)) + QStringLiteral("-D")};
    std::mt19937 random(12345);
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text = seeds[round % 4];
        for (int n = 1 + int(random() % 10); n > 0; --n)
            text += alphabet.at(int(random() % unsigned(alphabet.size())));
        if (pattern.indexIn(text) != 0) {
            expectBit(text, TagBitArea::None, 0, 0);
            continue;
        }
        ++matched;
        const bool input = pattern.cap(2).toUpper().startsWith(QLatin1String("DI"));
        expectBit(text, input ? TagBitArea::DI : TagBitArea::DO, (unsigned char)pattern.cap(1).toUInt(),
                  (unsigned short)(pattern.cap(3).toInt() - 1));
    }
    EXPECT_GT(matched, 1000) << "the texts must exercise the matching side too";
}
