#include "host/mbrtu/watch_tags.h"

#include <QRegularExpression>

#include "host/mbrtu/request_plan.h"

namespace {

constexpr int kBitsPerByte = 8;

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
        if (tags->isEmpty() && fields.value(1).trimmed().compare(QLatin1String("address"), Qt::CaseInsensitive) == 0)
            continue; // the header line
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

