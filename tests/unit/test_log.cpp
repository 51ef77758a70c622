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

CStderrListener g_Stderr;

void FailAssertion()
{
    AddLogListener(&g_Stderr);
    ASSERT(false);
}
const int FAIL_ASSERTION_LINE = __LINE__ - 2;
} // namespace

TEST(LogDeathTest, FailingAssertionLogsLocationAndBreaks)
{
    // Windows writes the line end of a text stream as "\r\n", and its death tests know no bracket
    // expressions.
    EXPECT_DEATH(FailAssertion(),
                 "ASSERT: .*test_log\\.cpp:" + std::to_string(FAIL_ASSERTION_LINE) + "\r?\n");
}
