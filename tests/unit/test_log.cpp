#include "keth/base/log.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <string>

using namespace NKeth;

TEST(Log, EveryListenerGetsTheTextUnchangedUntilRemoved)
{
    CLogCapture first;
    {
        CLogCapture second;
        LogText("plain");
        Log("%d-%s\n", 7, "x");
        EXPECT_EQ(second.Text(), "plain7-x\n");
    }
    Log("after");
    EXPECT_EQ(first.Text(), "plain7-x\nafter");
}

TEST(Log, LongTextIsCutAtTheBufferNotWrittenPastIt)
{
    CLogCapture log;
    std::string big(10000, 'q');
    Log("%s", big.c_str());
    EXPECT_EQ(log.Text(), std::string(4091, 'q'));
}

TEST(Log, PassingAssertionIsSilent)
{
    CLogCapture log;
    ASSERT(1 + 1 == 2);
    EXPECT_EQ(log.Text(), "");
}

namespace
{
class CStderrListener : public CLogListener
{
public:
    void Write(const char* text) override { fputs(text, stderr); }
};
} // namespace

TEST(LogDeathTest, FailingAssertionLogsLocationAndBreaks)
{
    static CStderrListener listener;
    const int assertLine = __LINE__ + 1;
    EXPECT_DEATH(
        {
            AddLogListener(&listener);
            ASSERT(false);
        },
        "ASSERT: [^\n]*test_log\\.cpp:" + std::to_string(assertLine) + "\n");
}
