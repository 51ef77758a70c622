#include "scripttest.h"
#include "logcapture.h"

#include <gtest/gtest.h>

using namespace NKeth;

namespace
{
std::string ReadLog(CEffect& effect, const std::string& script)
{
    CContainer node;
    ReadScript(node, script);
    CLogCapture log;
    effect.Read(node);
    return log.Text();
}
} // namespace

TEST(EffectRead, ResolvesStartEndAndDurationAndReadsPriorityAndNameOrRaises)
{
    const char* const BOTH = "SCRIPT: Start, end and duration specified. Using start and end times\n";
    const char* const BACKWARDS = "SCRIPT: End time is smaller then start time\n";
    const struct
    {
        const char* m_Script;
        float m_Start, m_End, m_Duration;
        std::string m_Log;
        int m_Prio = 100;
        const char* m_Name = "";
    } cases[] = {
        {"prio 7.9\nname \"the one\"\nname other\n", 0, 100000, 100000, "", 7, "the one"},
        {"name 12\n", 0, 100000, 100000, "", 100, "12"},
        {"", 0, 100000, 100000, ""},
        {"duration 5\n", 0, 100000, 100000, ""},
        {"starttime 2\nduration 5\n", 2, 7, 5, ""},
        {"starttime 2.5\n", 2.5f, 100002.5f, 100000, ""},
        {"endtime 8\n", 0, 8, 8, ""},
        {"endtime 8\nduration 3\n", 5, 8, 3, ""},
        {"starttime 1\nendtime 4\n", 1, 4, 3, ""},
        {"starttime 10\nendtime 4\n", 10, 4, -6, BACKWARDS},
        {"starttime 1\nendtime 4\nduration 9\n", 1, 4, 3, BOTH},
        {"starttime 5\nendtime 2\nduration 1\n", 5, 2, -3, std::string(BOTH) + BACKWARDS},
        {"starttime -3\n", 0, 100000, 100000, ""},
        {"starttime -3\nendtime 6\n", 0, 6, 6, ""},
        {"starttime 0\nendtime 0\n", 0, 0, 0, ""},
        {"starttime 3\npassive\n", -1, -1, 0, ""},
        {"passive true\n", -1, -1, 0, ""},
    };
    for (const auto& t : cases)
    {
        SCOPED_TRACE(t.m_Script);
        CEffect effect;
        EXPECT_EQ(ReadLog(effect, t.m_Script), t.m_Log);
        EXPECT_EQ(std::vector<float>({effect.m_StartTime, effect.m_EndTime, effect.m_Duration}),
                  std::vector<float>({t.m_Start, t.m_End, t.m_Duration}));
        EXPECT_EQ(effect.m_Prio, t.m_Prio);
        EXPECT_STREQ(effect.m_Name.GetText(), t.m_Name);
    }
    CEffect effect;
    EXPECT_EQ(ErrorOf([&] { ReadLog(effect, "starttime soon\n"); }), "Variant type error");
}

// Outputs are found by their exact name; Update publishes the clock.
TEST(Effect, SetOutputReplacesByExactNameAndGetOutputCopies)
{
    CEffect effect;
    effect.SetOutput("value", CVariant::FromInt(1));
    effect.SetOutput("Value", CVariant::FromInt(2));
    effect.SetOutput("value", CVariant("later"));
    effect.Update(1.5f, 0.25f);
    effect.Update(2.5f, 0.5f);
    ASSERT_EQ(effect.m_Outputs.GetCount(), 4);
    CVariant out;
    EXPECT_TRUE(effect.GetOutput("value", &out));
    EXPECT_STREQ(out.ToString().GetText(), "later");
    EXPECT_TRUE(effect.GetOutput("Value", &out));
    EXPECT_EQ(out.ToInt(), 2);
    ASSERT_TRUE(effect.GetOutput("localtime", &out));
    EXPECT_EQ(out.m_Type, CVariant::TYPE_FLOAT);
    EXPECT_EQ(out.m_Data[0], 2.5f);
    ASSERT_TRUE(effect.GetOutput("amount", &out));
    EXPECT_EQ(out.m_Data[0], 0.5f);
    CVariant untouched = CVariant::FromInt(77);
    EXPECT_FALSE(effect.GetOutput("VALUE", &untouched));
    EXPECT_EQ(untouched.ToInt(), 77);
}

TEST(Effect, DebugPrintMovesDownOneLinePerPrintedEffect)
{
    CTestShow show("group {\n name outer\n probe {\n  name a\n }\n probe {\n  name b\n  starttime 50\n }\n}\n"
                   "probe {\n name c\n}\n");
    show.m_System.UpdateAt(1);
    float y = 10;
    CEffect effect;
    effect.DebugPrint(&y, 0);
    EXPECT_EQ(y, 18.0f);
    // root, outer, a (b is not active yet), c
    y = 0;
    show.m_System.m_Root->DebugPrint(&y, 0);
    EXPECT_EQ(y, 32.0f);

    EXPECT_STREQ(show.Effect("outer")->FormatDebugLine().GetText(), "1.00 0.00 group      outer\n");
    EXPECT_STREQ(show.Effect("a")->FormatDebugLine().GetText(), "1.00 0.00 probe      a\n");
    EXPECT_STREQ(effect.FormatDebugLine().GetText(), "0.00 0.00            \n");
}
