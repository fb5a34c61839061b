#ifndef MODBUS_BIT_SET_H
#define MODBUS_BIT_SET_H

#include <QVector>

typedef QVector<ushort> UShortVector;

// The configured coil (DO) and discrete-input (DI) addresses of one station,
// zero-based. Filled by pushes in any order, sorted once, then searched.
class ModbusBitSet
{
public:
    void DOSetPush(unsigned short address) { DOSet.append(address); }
    void DISetPush(unsigned short address) { DISet.append(address); }
    void DOSetSort() { setSort(DOSet); }
    void DISetSort() { setSort(DISet); }
    // Index of the address in the sorted set, or -1.
    int DOSetContains(unsigned short address) { return setContains(DOSet, 0, address); }
    int DISetContains(unsigned short address) { return setContains(DISet, 0, address); }
    // The same, searching only from index first on (first >= 0).
    int DOSetContains(int first, unsigned short address) { return setContains(DOSet, first, address); }
    int DISetContains(int first, unsigned short address) { return setContains(DISet, first, address); }

    // Sorts ascending and removes duplicates; the capacity is kept.
    static void setSort(UShortVector &set);
    // Binary search in set[first .. size-1]; index or -1.
    static int setContains(UShortVector &set, int first, ushort address);

    UShortVector DOSet;
    UShortVector DISet;
};

#endif // MODBUS_BIT_SET_H
