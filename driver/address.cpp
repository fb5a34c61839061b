#include "address.h"

#include <cctype>

namespace {

const unsigned short MissingNumber = 65535;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

void ModbusRTUSlaveParseAddress(const QString &address, QByteArray &prefix,
                                unsigned short &number, unsigned char &bit)
{
    const QByteArray text = address.toLocal8Bit();
    const int n = text.size();
    int i = 0;

    // FN5DO and FN6HR: the function part is taken whole, whatever it says.
    if (n > 0 && toupper((unsigned char)text.at(0)) == 'F') {
        prefix.append(text.left(3));
        i = 3;
    }
    if (i >= n) {
        number = MissingNumber;
        return;
    }
    while (isalpha((unsigned char)text.at(i))) {
        prefix.append(text.at(i));
        if (++i == n) {
            number = MissingNumber;
            return;
        }
    }

    if (!isDigit(text.at(i))) {
        number = MissingNumber;
    } else {
        quint32 value = 0;
        while (i < n && isDigit(text.at(i)))
            value = 10 * value + quint32(text.at(i++) - '0');
        number = (unsigned short)(value - 1);
        if (i == n)
            return;
    }

    if (text.at(i) != '.')
        return;
    unsigned char index = 0;
    for (++i; i < n && isDigit(text.at(i)); ++i)
        index = (unsigned char)(10 * index + (text.at(i) - '0'));
    bit = index;
}

DeviceAddress ParseDeviceAddress(const QString &address)
{
    DeviceAddress parsed;
    ModbusRTUSlaveParseAddress(address, parsed.prefix, parsed.number, parsed.bit);
    parsed.highWordFirst = address.indexOf(QLatin1String("SW"), 0, Qt::CaseInsensitive) >= 0;
    return parsed;
}
