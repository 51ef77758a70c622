#include "keth/base/memorymanager.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/string.h"
#include "logcapture.h"

#include <gtest/gtest.h>

using namespace NKeth;

TEST(TDynamicArray, GrowsByOneAndSetCapacityKeepsOrDropsAndSetCountReserves)
{
    TDynamicArray<CString> names;
    for (const char* n : {"a", "b", "c", "d"})
    {
        CString s;
        s = n;
        names.Add(s);
        EXPECT_EQ(names.GetCapacity(), names.GetCount()); // no spare room
    }
    // An element of the array itself survives the reallocation.
    names.Add(names[0]);
    EXPECT_STREQ(names[4].GetText(), "a");
    names.SetCapacity(2);
    EXPECT_EQ(names.GetCount(), 2);
    EXPECT_STREQ(names[1].GetText(), "b");
    names.SetCapacity(10);
    EXPECT_EQ(names.GetCount(), 2);
    EXPECT_EQ(names.GetCapacity(), 10);
    EXPECT_TRUE(names.SetCount(5));
    EXPECT_STREQ(names[4].GetText(), ""); // class elements are constructed
    EXPECT_EQ(names.GetCapacity(), 10);
    names.Clear();
    EXPECT_EQ(names.GetCount(), 0);
    EXPECT_EQ(names.GetCapacity(), 1);
}

TEST(TDynamicArray, OverflowingSizesAreRefusedNotAllocatedShort)
{
    TDynamicArray<double> values;
    values.Add(1.0);
    CLogCapture log;
    EXPECT_FALSE(values.SetCount(0x20000000)); // 4 GiB of doubles
    EXPECT_FALSE(values.SetCapacity(-3));
    EXPECT_FALSE(values.SetCount(-1));
    EXPECT_TRUE(log.Contains("refused"));
    EXPECT_EQ(values.GetCount(), 1);
    EXPECT_EQ(values[0], 1.0);
}

TEST(TDynamicArray, DeleteAllDeletesThePointedObjectsAndCopiesAreIndependent)
{
    TDynamicArray<int*> objects;
    const int blocks = NMemoryManager::GetLiveBlocks();
    objects.Add(NEW int(1));
    objects.Add(nullptr);
    objects.Add(NEW int(2));
    objects.DeleteAll();
    EXPECT_EQ(objects.GetCount(), 0);
    EXPECT_EQ(NMemoryManager::GetLiveBlocks(), blocks);

    TDynamicArray<int> a;
    a.Add(1);
    a.Add(2);
    TDynamicArray<int> b(a);
    b[0] = 9;
    a = a;
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(b.GetCount(), 2);
    EXPECT_EQ(b[0], 9);
}
