#include <gtest/gtest.h>

#include "driver/bitset/modbus_bit_set.h"

namespace {

UShortVector sorted(std::initializer_list<ushort> pushes)
{
    UShortVector set(pushes);
    ModbusBitSet::setSort(set);
    return set;
}

} // namespace

TEST(ModbusBitSetSort, OrdersAscendingAndKeepsEachValueOnce)
{
    struct Case
    {
        std::initializer_list<ushort> pushed;
        UShortVector expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{7}, {7}},
        {{5, 3, 5, 1}, {1, 3, 5}},
        {{1, 3, 5}, {1, 3, 5}},
        {{9, 9, 9}, {9}},
        {{65535, 1, 0, 32768}, {0, 1, 32768, 65535}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(sorted(c.pushed), c.expected);
}

TEST(ModbusBitSetSort, KeepsTheReservedCapacity)
{
    UShortVector set{4, 4, 4, 4, 4, 4};
    const int capacity = set.capacity();
    ModbusBitSet::setSort(set);
    EXPECT_EQ(set.size(), 1);
    EXPECT_EQ(set.capacity(), capacity);
}

TEST(ModbusBitSetContains, FindsIndicesFromTheFirstIndexOn)
{
    UShortVector set = sorted({5, 3, 5, 1, 65535, 0});
    ASSERT_EQ(set, (UShortVector{0, 1, 3, 5, 65535}));
    struct Case
    {
        int first;
        ushort address;
        int expected;
    };
    const Case cases[] = {
        {0, 0, 0},       {0, 1, 1},  {0, 5, 3},     {0, 65535, 4}, {0, 4, -1},
        {0, 2, -1},      {0, 6, -1}, {1, 0, -1},    {3, 5, 3},     {4, 5, -1},
        {4, 65535, 4},   {5, 65535, -1}, {100, 3, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ModbusBitSet::setContains(set, c.first, c.address), c.expected)
            << "first " << c.first << " address " << c.address;
}

TEST(ModbusBitSetContains, EmptySetFindsNothing)
{
    UShortVector empty;
    for (ushort address : {ushort(0), ushort(1), ushort(65535)})
        EXPECT_EQ(ModbusBitSet::setContains(empty, 0, address), -1);
}

TEST(ModbusBitSetContains, EveryValueOfALargeSetIsFoundAtItsIndex)
{
    UShortVector set;
    for (int v = 65535; v >= 0; v -= 3)
        set.append(ushort(v));
    ModbusBitSet::setSort(set);
    for (int i = 0; i < set.size(); ++i) {
        ASSERT_EQ(ModbusBitSet::setContains(set, 0, set[i]), i);
        ASSERT_EQ(ModbusBitSet::setContains(set, i, set[i]), i);
        if (set[i] < 65535) // all values are multiples of 3, their successors are absent
            ASSERT_EQ(ModbusBitSet::setContains(set, 0, ushort(set[i] + 1)), -1);
    }
}

#ifdef QT_NO_DEBUG
TEST(ModbusBitSetContains, NegativeFirstIndexIsRefusedWithoutReading)
{
    UShortVector set{1, 2, 3};
    EXPECT_EQ(ModbusBitSet::setContains(set, -1, 1), -1);
}
#endif

TEST(ModbusBitSet, DIAndDOSetsAreIndependent)
{
    ModbusBitSet bits;
    bits.DISetPush(7);
    bits.DISetPush(2);
    bits.DOSetPush(9);
    bits.DISetSort();
    bits.DOSetSort();
    EXPECT_EQ(bits.DISetContains(2), 0);
    EXPECT_EQ(bits.DISetContains(7), 1);
    EXPECT_EQ(bits.DISetContains(9), -1);
    EXPECT_EQ(bits.DOSetContains(9), 0);
    EXPECT_EQ(bits.DOSetContains(7), -1);
    EXPECT_EQ(bits.DOSetContains(2), -1);
    EXPECT_EQ(bits.DISetContains(1, 7), 1);
    EXPECT_EQ(bits.DISetContains(2, 7), -1);
    EXPECT_EQ(bits.DOSetContains(1, 9), -1);
}
