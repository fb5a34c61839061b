// Sets of configured coil and input addresses: sorting and binary search.

#include <gtest/gtest.h>

#include <tuple>

#include "driver/bitset/modbus_bit_set.h"

TEST(ModbusBitSet, SortOrdersAscendingKeepsEachValueOnceAndTheCapacity)
{
    const struct
    {
        UShortVector pushed;
        UShortVector expected;
    } rows[] = {{{}, {}}, {{7}, {7}}, {{5, 3, 5, 1}, {1, 3, 5}}, {{9, 9, 9}, {9}},
                {{65535, 1, 0, 32768}, {0, 1, 32768, 65535}}};
    for (const auto &row : rows) {
        UShortVector set = row.pushed;
        const int capacity = set.capacity();
        ModbusBitSet::setSort(set);
        EXPECT_EQ(set, row.expected);
        EXPECT_EQ(set.capacity(), capacity);
    }
}

TEST(ModbusBitSet, ContainsSearchesFromTheFirstIndexOn)
{
    UShortVector set{0, 1, 3, 5, 65535};
    const struct
    {
        int first;
        ushort address;
        int expected;
    } rows[] = {{0, 0, 0},  {0, 5, 3},  {0, 65535, 4}, {0, 4, -1},    {0, 2, -1},     {0, 6, -1},
                {1, 0, -1}, {3, 5, 3},  {4, 5, -1},    {4, 65535, 4}, {5, 65535, -1}, {100, 3, -1}};
    for (const auto &row : rows)
        EXPECT_EQ(ModbusBitSet::setContains(set, row.first, row.address), row.expected)
            << "first " << row.first << " address " << row.address;
    UShortVector empty;
    EXPECT_EQ(ModbusBitSet::setContains(empty, 0, 0), -1);
#ifdef QT_NO_DEBUG
    EXPECT_EQ(ModbusBitSet::setContains(set, -1, 0), -1) << "a negative first index is refused";
#endif
}

TEST(ModbusBitSet, EveryValueOfALargeSetIsFoundAtItsIndex)
{
    UShortVector set;
    for (int v = 65535; v >= 0; v -= 3)
        set.append(ushort(v));
    ModbusBitSet::setSort(set);
    for (int i = 0; i < set.size(); ++i) {
        ASSERT_EQ(ModbusBitSet::setContains(set, 0, set[i]), i);
        ASSERT_EQ(ModbusBitSet::setContains(set, i, set[i]), i);
        if (set[i] < 65535) // all values are multiples of 3: their successors are absent
            ASSERT_EQ(ModbusBitSet::setContains(set, 0, ushort(set[i] + 1)), -1);
    }
}

TEST(ModbusBitSet, DIAndDOSetsAreIndependent)
{
    ModbusBitSet bits;
    for (ushort address : {7, 2})
        bits.DISetPush(address);
    bits.DOSetPush(9);
    bits.DISetSort();
    bits.DOSetSort();
    EXPECT_EQ(std::make_tuple(bits.DISetContains(7), bits.DISetContains(2, 7), bits.DISetContains(9)),
              std::make_tuple(1, -1, -1));
    EXPECT_EQ(std::make_tuple(bits.DOSetContains(9), bits.DOSetContains(1, 9), bits.DOSetContains(7)),
              std::make_tuple(0, -1, -1));
}
