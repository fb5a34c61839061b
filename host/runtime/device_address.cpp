#include "host/runtime/device_address.h"

#include <QRegularExpression>

namespace {

struct AreaName
{
    Area area;
    const char *name;
};

const AreaName kAreas[] = {
    {Area::DI, "DI"}, {Area::DO, "DO"}, {Area::FN5DO, "FN5DO"},
    {Area::HR, "HR"}, {Area::FN6HR, "FN6HR"}, {Area::IR, "IR"},
};

struct TypeName
{
    DataType type;
    const char *name;
};

const TypeName kTypes[] = {
    {BitData, "bit"}, {ByteData, "byte"}, {WordData, "word"}, {DoubleWordData, "dword"}, {BlockData, "block"},
};

const QString kKnownAreas = QStringLiteral("DI, DO, FN5DO, HR, FN6HR, IR");

bool findArea(const QString &name, Area *area)
{
    for (const AreaName &entry : kAreas) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            *area = entry.area;
            return true;
        }
    }
    return false;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QString areaName(Area area)
{
    for (const AreaName &entry : kAreas) {
        if (entry.area == area)
            return QLatin1String(entry.name);
    }
    return QString();
}

bool isRegisterArea(Area area)
{
    return area == Area::HR || area == Area::FN6HR || area == Area::IR;
}

bool parseDeviceAddress(const QString &text, DeviceAddress *address, QString *error)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(FN[0-9]|)([A-Z]*)([0-9]*)(?:\\.([0-9]*))?(SW)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return fail(error, QStringLiteral("cannot read address '%1': expected an area (%2), a number, "
                                          "optionally .BIT and SW, as in HR100 or HR100.3")
                               .arg(text, kKnownAreas));
    const QString name = match.captured(1) + match.captured(2);
    DeviceAddress parsed;
    parsed.text = text;
    if (name.isEmpty())
        return fail(error, QStringLiteral("address '%1' has no area (%2)").arg(text, kKnownAreas));
    if (!findArea(name, &parsed.area))
        return fail(error, QStringLiteral("unknown address area '%1' in '%2' (known: %3)").arg(name, text, kKnownAreas));
    bool ok = false;
    parsed.number = match.captured(3).toInt(&ok);
    if (!ok || parsed.number < 1 || parsed.number > kAddressCount)
        return fail(error, QStringLiteral("address '%1' needs a number from 1 to %2").arg(text).arg(kAddressCount));
    if (match.capturedStart(4) >= 0) {
        if (!isRegisterArea(parsed.area))
            return fail(error, QStringLiteral("address '%1': a bit index belongs to register areas only").arg(text));
        parsed.bit = match.captured(4).toInt(&ok);
        if (!ok || parsed.bit >= kBitsPerRegister)
            return fail(error, QStringLiteral("address '%1': the bit index runs from 0 to 15").arg(text));
    }
    parsed.swapped = !match.captured(5).isEmpty();
    *address = parsed;
    return true;
}

bool parseDataType(const QString &text, DataType *type)
{
    for (const TypeName &entry : kTypes) {
        if (text == QLatin1String(entry.name)) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

QString dataTypeName(DataType type)
{
    for (const TypeName &entry : kTypes) {
        if (entry.type == type)
            return QLatin1String(entry.name);
    }
    return QString();
}

namespace {

// Checks shared by reads and writes: .BIT goes with bits, SW with dwords.
bool checkModifiers(const DeviceAddress &address, DataType type, QString *error)
{
    if (address.bit >= 0 && type != BitData)
        return fail(error, QStringLiteral("address '%1' names a bit: use --type bit").arg(address.text));
    if (address.swapped && type != DoubleWordData)
        return fail(error, QStringLiteral("address '%1': SW (word order) applies to --type dword only").arg(address.text));
    return true;
}

} // namespace

bool checkReadable(const DeviceAddress &address, DataType type, QString *error)
{
    if (!checkModifiers(address, type, error))
        return false;
    if ((type == WordData || type == DoubleWordData) && !isRegisterArea(address.area))
        return fail(error, QStringLiteral("%1 reads need a register area (HR, IR, FN6HR), not %2")
                               .arg(dataTypeName(type), areaName(address.area)));
    return true;
}

bool checkWritable(const DeviceAddress &address, DataType type, QString *error)
{
    if (!checkModifiers(address, type, error))
        return false;
    if (address.area == Area::DI || address.area == Area::IR)
        return fail(error, QStringLiteral("%1 is read-only").arg(areaName(address.area)));
    if (type != BitData && !isRegisterArea(address.area))
        return fail(error, QStringLiteral("%1 takes bit writes only (--type bit)").arg(areaName(address.area)));
    return true;
}
