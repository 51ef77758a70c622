#include "keth/base/memorymanager.h"
#include "logcapture.h"
#include "testplatform.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

using namespace NKeth;

namespace
{
std::string RunProbe(const char* mode)
{
    std::string output;
    EXPECT_EQ(RunCommand(std::string(LEAKPROBE_PATH) + " " + mode, output), 0);
    return output;
}

// The exit report is read from a program of its own.
class LeakReport : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!NTestPlatform::RunsShellCommands())
            GTEST_SKIP() << "needs the POSIX shell to run the leak probe";
    }
};

std::string Padded(const std::string& text, size_t width)
{
    return text + std::string(width - text.size(), ' ');
}
} // namespace

TEST_F(LeakReport, ListsTheProgramsBlocksWithLocationAddressSizeAndPrintableBytes)
{
    EXPECT_EQ(RunProbe("clean"), "\nLeaked memory: 0 KiB, 0 blocks\n");
    // Kibibytes round towards zero.
    EXPECT_EQ(RunProbe("1023").find("\nLeaked memory: 0 KiB, 1 blocks\n"), 0u);
    EXPECT_EQ(RunProbe("1024").find("\nLeaked memory: 1 KiB, 1 blocks\n"), 0u);
    // The location padded to 80 columns, the address in at least 8, the size right-aligned in 10,
    // then at most 32 bytes, unprintable ones as dots. Blocks without a location are not the
    // program's: "foreign" leaks one of those besides its own.
    const std::string header = "\nLeaked memory: 0 KiB, 1 blocks\nDumping blocks to logger\n";
    const struct
    {
        const char* m_Mode;
        std::string m_Location;
        std::string m_End;
    } cases[] = {
        {"bytes", Padded("probe.cpp(42)", 80) + " ", "         5 B  ab.cd\n"},
        {"long", Padded("probe.cpp(43)", 80) + " ", "       100 B  " + std::string(32, 'x') + "\n"},
        {"empty", Padded("probe.cpp(44)", 80) + " ", "         0 B  \n"},
        {"foreign", "", "         6 B  mine!.\n"},
    };
    for (const auto& c : cases)
    {
        const std::string out = RunProbe(c.m_Mode);
        ASSERT_EQ(out.find(header + c.m_Location), 0u) << out;
        EXPECT_GE(out.size(), header.size() + 81 + 8 + c.m_End.size()) << out;
        EXPECT_EQ(out.substr(out.size() - c.m_End.size()), c.m_End) << out;
    }
    EXPECT_NE(RunProbe("foreign").find("leakprobe.cpp("), std::string::npos);
}

TEST(CheckMemory, FindsAWriteBehindTheBlockOnlyWhenAskedToReport)
{
    unsigned char* block = static_cast<unsigned char*>(NMemoryManager::Allocate(8, "damage.cpp", 7));
    EXPECT_TRUE(NMemoryManager::CheckMemory(true));
    block[8] = 0; // one byte past the end
    {
        CLogCapture log;
        EXPECT_FALSE(NMemoryManager::CheckMemory(false));
        EXPECT_EQ(log.Text(), "");
        EXPECT_FALSE(NMemoryManager::CheckMemory(true));
        std::string expected = Padded("damage.cpp(7)", 80) + "          0 KiB          8 B MEMORY DAMAGE!\n";
        EXPECT_EQ(log.Text(), expected);
    }
    block[8] = 0xFE;
    block[-1] = 0; // the front guard
    EXPECT_FALSE(NMemoryManager::CheckMemory(false));
    block[-1] = 0xFE;
    EXPECT_TRUE(NMemoryManager::CheckMemory(true));
    NMemoryManager::Free(block, nullptr, 0);
}

TEST(Release, NullIsIgnoredAndASecondReleaseIsOnlyReported)
{
    CLogCapture log;
    log.Reserve(256); // so that logging the warning allocates nothing
    const auto live = []
    { return std::make_pair(NMemoryManager::GetLiveBlocks(), NMemoryManager::GetLiveBytes()); };
    const auto before = live();
    NMemoryManager::Free(nullptr, nullptr, 0);
    EXPECT_EQ(live(), before);
    void* block = NMemoryManager::Allocate(24, __FILE__, __LINE__);
    EXPECT_EQ(live(), std::make_pair(before.first + 1, before.second + 24));
    char warning[64];
    snprintf(warning, sizeof warning, "WARNING: 0x%llx deleted several times\n",
             (unsigned long long)(uintptr_t)block);
    NMemoryManager::Free(block, nullptr, 0);
    EXPECT_EQ(live(), before);
    NMemoryManager::Free(block, nullptr, 0);
    EXPECT_EQ(live(), before);
    EXPECT_EQ(log.Text(), warning);
}

TEST(AllocateDeathTest, AnImpossibleRequestEndsTheProcessWithAMessage)
{
    EXPECT_DEATH(NMemoryManager::Allocate(-5, "huge.cpp", 9), "out of memory");
}
