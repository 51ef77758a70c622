#include "keth/base/sys.h"
#include "testplatform.h"

#include <gtest/gtest.h>

using namespace NKeth;

TEST(Timer, TicksNeverRunBackwards)
{
    const int64_t fixed = NTestPlatform::FixedTickFrequency(); // 0 where the host's clock decides
    EXPECT_TRUE(fixed == 0 || GetTickFrequency() == fixed) << GetTickFrequency();
    EXPECT_GT(GetTickFrequency(), 0);
    const int64_t first = GetTicks();
    EXPECT_GE(GetTicks(), first);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
    CCriticalSection lock;
    lock.Enter(__FILE__, __LINE__);
    lock.Enter(__FILE__, __LINE__); // the holder may enter again
    int shared = 0;
    NTestPlatform::CThread other(
        [&]
        {
            CLockGuard guard(lock, __FILE__, __LINE__);
            shared = 2;
        });
    shared = 1;
    lock.Leave();
    EXPECT_EQ(shared, 1);
    lock.Leave();
    other.Join();
    EXPECT_EQ(shared, 2);
}

TEST(TranslatePath, BackslashesBecomeSlashesAndLongPathsAreRefused)
{
    char out[16];
    EXPECT_TRUE(TranslatePath("data\\tex.tga", out, sizeof out));
    EXPECT_EQ(std::string(out), std::string("data") + NTestPlatform::NativeSeparator() + "tex.tga");
    EXPECT_FALSE(TranslatePath("a-path-that-is-too-long", out, sizeof out));
    EXPECT_EQ(out[sizeof out - 1], 0);
}
