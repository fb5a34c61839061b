#include "modbus_bit_set.h"

#include <algorithm>

void ModbusBitSet::setSort(UShortVector &set)
{
    if (set.isEmpty())
        return;
    std::sort(set.begin(), set.end());
    const auto end = std::unique(set.begin(), set.end());
    // QVector keeps its capacity when it shrinks.
    set.resize(int(end - set.begin()));
}

int ModbusBitSet::setContains(UShortVector &set, int first, ushort address)
{
    int l = first;
    Q_ASSERT(l >= 0);
    if (l < 0) // release builds: refuse instead of reading before the array
        return -1;
    const ushort *values = set.constData();
    int r = set.size() - 1;
    while (l <= r) {
        const int m = (l + r) / 2;
        if (values[m] > address)
            r = m - 1;
        else if (values[m] == address)
            return m;
        else
            l = m + 1;
    }
    return -1;
}
