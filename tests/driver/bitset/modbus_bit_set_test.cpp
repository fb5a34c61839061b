// Sets of configured coil and input addresses: sorting and binary search.

#include <gtest/gtest.h>

#include <tuple>

#include "driver/bitset/modbus_bit_set.h"

TEST(ModbusBitSet, SortOrdersAscendingKeepsEachValueOnceAndTheCapacity)
{
    const std::pair<UShortVector, UShortVector> rows[] = {
        {{}, {}}, {{7}, {7}}, {{5, 3, 5, 1}, {1, 3, 5}}, {{9, 9, 9}, {9}}, {{65535, 1, 0, 32768}, {0, 1, 32768, 65535}},
    };
    for (const auto &[pushed, sorted] : rows) {
        UShortVector set = pushed;
        const int capacity = set.capacity();
        ModbusBitSet::setSort(set);
        EXPECT_EQ(std::make_pair(set, set.capacity()), std::make_pair(sorted, capacity));
    }
}

TEST(ModbusBitSet, ContainsSearchesFromTheFirstIndexOn)
{
    // Each value of a big set at its index, from the start and from there
    // on; its successor (all values are multiples of 3) nowhere, but for
    // 65535, whose successor wraps to 0.
    UShortVector big;
    for (int v = 65535; v >= 0; v -= 3)
        big.append(ushort(v));
    ModbusBitSet::setSort(big);
    const auto contains = &ModbusBitSet::setContains;
    for (int i = 0; i < big.size(); ++i)
        ASSERT_EQ(std::make_tuple(contains(big, 0, big[i]), contains(big, i, big[i]), contains(big, 0, big[i] + 1)),
                  std::make_tuple(i, i, big[i] == 65535 ? 0 : -1)) << big[i];
    // Small sets: both ends, gaps, past the end, a first index past the value or the set.
    UShortVector set{0, 1, 3, 5, 65535}, empty;
    const int rows[][3] = {{0, 0, 0},  {0, 5, 3},  {0, 65535, 4}, {0, 4, -1},    {0, 2, -1},     {0, 6, -1},
                           {1, 0, -1}, {3, 5, 3},  {4, 5, -1},    {4, 65535, 4}, {5, 65535, -1}, {100, 3, -1}};
    for (const auto &[first, address, index] : rows)
        EXPECT_EQ(contains(set, first, address), index) << first << " " << address;
    EXPECT_EQ(contains(empty, 0, 0), -1);
#ifdef QT_NO_DEBUG
    EXPECT_EQ(contains(set, -1, 0), -1) << "a negative first index is refused";
#endif
    // The DI and DO sets of a station are independent.
    ModbusBitSet bits;
    for (ushort address : {7, 2})
        bits.DISetPush(address);
    bits.DOSetPush(9);
    bits.DISetSort();
    bits.DOSetSort();
    EXPECT_EQ(std::make_tuple(bits.DISetContains(2), bits.DISetContains(7), bits.DISetContains(2, 7),
                              bits.DISetContains(9)), std::make_tuple(0, 1, -1, -1));
    EXPECT_EQ(std::make_tuple(bits.DOSetContains(9), bits.DOSetContains(1, 9), bits.DOSetContains(7)),
              std::make_tuple(0, -1, -1));
}
