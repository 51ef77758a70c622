#include "effect.h"
#include "scripttest.h"
#include "keth/func/exception.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace NKeth;

namespace
{
struct STiming
{
    const char* m_Script;
    float m_Start, m_End, m_Duration;
    const char* m_Log;
};

// Readable test names: the timing lines joined by commas.
void PrintTo(const STiming& timing, std::ostream* out)
{
    std::string lines = timing.m_Script;
    for (char& c : lines)
        if (c == '\n')
            c = ',';
    *out << (lines.empty() ? "no timing lines" : lines);
}

class EffectTiming : public ::testing::TestWithParam<STiming>
{
};

std::string ReadLog(CEffect& effect, const std::string& script)
{
    CContainer node;
    ReadScript(node, script);
    CLogCapture log;
    effect.Read(node);
    return log.Text();
}
} // namespace

TEST_P(EffectTiming, ResolvesStartEndAndDuration)
{
    const STiming& t = GetParam();
    CEffect effect;
    EXPECT_EQ(ReadLog(effect, t.m_Script), t.m_Log);
    EXPECT_FLOAT_EQ(effect.m_StartTime, t.m_Start);
    EXPECT_FLOAT_EQ(effect.m_EndTime, t.m_End);
    EXPECT_FLOAT_EQ(effect.m_Duration, t.m_Duration);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EffectTiming,
    ::testing::Values(
        STiming{"", 0, 100000, 100000, ""}, STiming{"duration 5\n", 0, 100000, 100000, ""},
        STiming{"starttime 2\nduration 5\n", 2, 7, 5, ""},
        STiming{"starttime 2.5\n", 2.5f, 100002.5f, 100000, ""}, STiming{"endtime 8\n", 0, 8, 8, ""},
        STiming{"endtime 8\nduration 3\n", 5, 8, 3, ""}, STiming{"starttime 1\nendtime 4\n", 1, 4, 3, ""},
        STiming{"starttime 10\nendtime 4\n", 10, 4, -6, "SCRIPT: End time is smaller then start time\n"},
        STiming{"starttime 1\nendtime 4\nduration 9\n", 1, 4, 3,
                "SCRIPT: Start, end and duration specified. Using start and end times\n"},
        STiming{"starttime 5\nendtime 2\nduration 1\n", 5, 2, -3,
                "SCRIPT: Start, end and duration specified. Using start and end times\n"
                "SCRIPT: End time is smaller then start time\n"},
        STiming{"starttime -3\n", 0, 100000, 100000, ""}, STiming{"starttime -3\nendtime 6\n", 0, 6, 6, ""},
        STiming{"starttime 0\nendtime 0\n", 0, 0, 0, ""}, STiming{"starttime 3\npassive\n", -1, -1, 0, ""},
        STiming{"passive true\n", -1, -1, 0, ""}));

TEST(Effect, ReadsPriorityAndNameWithDefaults)
{
    CEffect plain;
    ReadLog(plain, "");
    EXPECT_EQ(plain.m_Prio, 100);
    EXPECT_STREQ(plain.m_Name.GetText(), "");

    CEffect named;
    ReadLog(named, "prio 7.9\nname \"the one\"\nname other\n");
    EXPECT_EQ(named.m_Prio, 7);
    EXPECT_STREQ(named.m_Name.GetText(), "the one");

    CEffect numbered;
    ReadLog(numbered, "name 12\n");
    EXPECT_STREQ(numbered.m_Name.GetText(), "12");
}

TEST(Effect, ATimeOfTheWrongTypeRaises)
{
    CEffect effect;
    EXPECT_EQ(ErrorOf([&] { ReadLog(effect, "starttime soon\n"); }), "Variant type error");
}

TEST(Effect, SetOutputReplacesByExactNameAndGetOutputCopies)
{
    CEffect effect;
    EXPECT_EQ(effect.m_Outputs.GetCapacity(), 1);
    effect.SetOutput("value", CVariant::FromInt(1));
    effect.SetOutput("Value", CVariant::FromInt(2));
    effect.SetOutput("value", CVariant("later"));
    effect.SetOutput("", CVariant(1, 2, 3));
    ASSERT_EQ(effect.m_Outputs.GetCount(), 3);

    CVariant out;
    EXPECT_TRUE(effect.GetOutput("value", &out));
    EXPECT_STREQ(out.ToString().GetText(), "later");
    EXPECT_TRUE(effect.GetOutput("Value", &out));
    EXPECT_EQ(out.ToInt(), 2);
    EXPECT_TRUE(effect.GetOutput("", &out));
    EXPECT_EQ(out.m_Type, CVariant::TYPE_VECTOR3);

    CVariant untouched = CVariant::FromInt(77);
    EXPECT_FALSE(effect.GetOutput("VALUE", &untouched));
    EXPECT_EQ(untouched.ToInt(), 77);
}

TEST(Effect, UpdatePublishesLocalTimeAndAmount)
{
    CEffect effect;
    effect.Update(1.5f, 0.25f);
    effect.Update(2.5f, 0.5f);
    EXPECT_EQ(effect.m_Outputs.GetCount(), 2);
    CVariant out;
    ASSERT_TRUE(effect.GetOutput("localtime", &out));
    EXPECT_EQ(out.m_Type, CVariant::TYPE_FLOAT);
    EXPECT_EQ(out.m_Data[0], 2.5f);
    ASSERT_TRUE(effect.GetOutput("amount", &out));
    EXPECT_EQ(out.m_Data[0], 0.5f);
}

TEST(Effect, AnEffectMadeByKeywordKnowsItsKeyword)
{
    NClassRegistry::CClass* object = NClassRegistry::Create("group");
    ASSERT_NE(object, nullptr);
    CEffect* effect = dynamic_cast<CEffect*>(object);
    ASSERT_NE(effect, nullptr);
    EXPECT_STREQ(effect->GetKeyword(), "group");
    delete object;
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
