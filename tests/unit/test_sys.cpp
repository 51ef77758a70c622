#include "keth/base/sys.h"

#include <gtest/gtest.h>

#include <thread>

using namespace NKeth;

TEST(Timer, TicksNeverRunBackwards)
{
    EXPECT_EQ(GetTickFrequency(), 1000000000);
    int64_t previous = GetTicks();
    for (int i = 0; i < 1000; ++i)
    {
        int64_t now = GetTicks();
        EXPECT_GE(now, previous);
        previous = now;
    }
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
    CCriticalSection lock;
    lock.Enter(__FILE__, __LINE__);
    lock.Enter(__FILE__, __LINE__); // the holder may enter again
    int shared = 0;
    std::thread other(
        [&]
        {
            CLockGuard guard(lock, __FILE__, __LINE__);
            shared = 2;
        });
    shared = 1;
    lock.Leave();
    EXPECT_EQ(shared, 1);
    lock.Leave();
    other.join();
    EXPECT_EQ(shared, 2);
}

TEST(TranslatePath, BackslashesBecomeSlashesAndLongPathsAreRefused)
{
    char out[16];
    EXPECT_TRUE(TranslatePath("data\\tex.tga", out, sizeof out));
    EXPECT_STREQ(out, "data/tex.tga");
    EXPECT_FALSE(TranslatePath("a-path-that-is-too-long", out, sizeof out));
    EXPECT_EQ(out[sizeof out - 1], 0);
}
