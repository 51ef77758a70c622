#include "keth/base/log.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <string>

using namespace NKeth;

TEST(Log, EveryListenerGetsTheTextUnchangedUntilRemovedAndLongTextIsCutAtTheBuffer)
{
    CLogCapture first;
    {
        CLogCapture second;
        LogText("plain");
        ASSERT(1 + 1 == 2); // a passing assertion is silent
        Log("%d-%s\n", 7, "x");
        EXPECT_EQ(second.Text(), "plain7-x\n");
    }
    Log("after");
    EXPECT_EQ(first.Text(), "plain7-x\nafter");

    CLogCapture log;
    Log("%s", std::string(10000, 'q').c_str());
    EXPECT_EQ(log.Text(), std::string(4091, 'q'));
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
