#include "effect.h"
#include "scripttest.h"
#include "keth/func/exception.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace NKeth;

namespace
{
std::vector<std::string> ActiveNames(CEffect_Group* group)
{
    std::vector<std::string> names;
    for (int i = 0; i < group->m_Active.GetCount(); ++i)
        names.push_back(group->m_Active[i]->m_Name.GetText());
    return names;
}

std::string Probe(const std::string& name, const std::string& lines = "")
{
    return "probe {\n name " + name + "\n" + lines + "}\n";
}
} // namespace

TEST(Group, ChildrenRunInAscendingPriorityWithTiesInScriptOrder)
{
    CTestShow show("group {\n name g\n" + Probe("first", "prio 100\n") + Probe("second", "prio 50\n") +
                   Probe("third", "prio 100\n") + Probe("fourth", "prio 49.5\n") + "}\n");
    show.TakeJournal();
    show.m_System.UpdateAt(1);
    show.m_System.Render();
    EXPECT_EQ(
        show.TakeJournal(),
        (std::vector<std::string>{"fourth: Update 1 1e-05", "second: Update 1 1e-05", "first: Update 1 1e-05",
                                  "third: Update 1 1e-05", "fourth: Render 1 1e-05", "second: Render 1 1e-05",
                                  "first: Render 1 1e-05", "third: Render 1 1e-05"}));
    EXPECT_EQ(ActiveNames(show.Group("g")), (std::vector<std::string>{"fourth", "second", "first", "third"}));
}

TEST(Group, AChildIsActiveFromItsStartUpToButNotAtItsEnd)
{
    CTestShow show(Probe("p", "starttime 2\nendtime 5\n"));
    CEffect* p = show.Effect("p");
    auto root = dynamic_cast<CEffect_Group*>(show.m_System.m_Root);
    show.m_System.UpdateAt(1.999f);
    EXPECT_EQ(root->m_Active.GetCount(), 0);
    show.m_System.UpdateAt(2.0f);
    EXPECT_EQ(root->m_Active.GetCount(), 1);
    EXPECT_EQ(p->m_LocalTime, 0.0f);
    show.m_System.UpdateAt(3.0f);
    EXPECT_EQ(p->m_LocalTime, 1.0f);
    EXPECT_FLOAT_EQ(p->m_Amount, 1.0f / 3.0f);
    show.m_System.UpdateAt(4.999f);
    EXPECT_EQ(root->m_Active.GetCount(), 1);
    show.m_System.UpdateAt(5.0f);
    EXPECT_EQ(root->m_Active.GetCount(), 0);
    show.TakeJournal();
    show.m_System.Render();
    EXPECT_TRUE(show.TakeJournal().empty());
}

TEST(Group, ChildTimesAreRelativeToTheGroup)
{
    CTestShow show("group {\n name g\n starttime 10\n endtime 20\n" + Probe("p", "starttime 2\n") + "}\n");
    show.m_System.UpdateAt(11);
    EXPECT_TRUE(ActiveNames(show.Group("g")).empty());
    show.m_System.UpdateAt(13);
    EXPECT_EQ(ActiveNames(show.Group("g")), std::vector<std::string>{"p"});
    EXPECT_EQ(show.Effect("g")->m_LocalTime, 3.0f);
    EXPECT_FLOAT_EQ(show.Effect("g")->m_Amount, 0.3f);
    EXPECT_EQ(show.Effect("p")->m_LocalTime, 1.0f);
    // The group publishes its own clock.
    CVariant out;
    ASSERT_TRUE(show.m_System.FindOutput("g.localtime", &out));
    EXPECT_EQ(out.ToFloat(), 3.0f);
    ASSERT_TRUE(show.m_System.FindOutput("p.amount", &out));
    EXPECT_FLOAT_EQ(out.ToFloat(), 1e-5f);
    // Outside the group's time the child is not reached, whatever its own times say.
    show.TakeJournal();
    show.m_System.UpdateAt(25);
    EXPECT_TRUE(show.TakeJournal().empty());
}

TEST(Group, ThePassiveChildIsNeverActiveButGetsDeviceCalls)
{
    CTestShow show("group {\n name g\n" + Probe("idle", "passive\n") + Probe("busy") + "}\n", 1);
    EXPECT_EQ(show.TakeJournal(), (std::vector<std::string>{"idle: Read", "busy: Read", "idle: InitDevice 0",
                                                            "busy: InitDevice 0"}));
    show.m_System.UpdateAt(0);
    EXPECT_EQ(ActiveNames(show.Group("g")), std::vector<std::string>{"busy"});
    show.m_System.m_Root->PrepareDevice(0);
    EXPECT_EQ(show.TakeJournal(), (std::vector<std::string>{"busy: Update 0 0", "idle: PrepareDevice 0",
                                                            "busy: PrepareDevice 0"}));
}

TEST(Group, OnlyNonEmptyBlocksBecomeChildren)
{
    CTestShow show("group {\n name g\n camera {\n }\n probe {\n }\n probe 1 2\n name x\n" + Probe("real") +
                   " unknown {\n a 1\n }\n}\n");
    CEffect_Group* g = show.Group("g"); // the first name line counts
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->m_Children.GetCount(), 1);
    EXPECT_STREQ(g->m_Children[0]->m_Name.GetText(), "real");
    EXPECT_EQ(g->m_Children.GetCapacity(), 2); // room for the two non-empty blocks
}

TEST(Group, TheActiveListIsRebuiltEveryFrame)
{
    CTestShow show(Probe("early", "endtime 1\n") + Probe("late", "starttime 1\n"));
    auto root = dynamic_cast<CEffect_Group*>(show.m_System.m_Root);
    show.m_System.UpdateAt(0.5f);
    EXPECT_EQ(ActiveNames(root), std::vector<std::string>{"early"});
    show.m_System.UpdateAt(1.5f);
    EXPECT_EQ(ActiveNames(root), std::vector<std::string>{"late"});
    show.m_System.UpdateAt(0.5f);
    EXPECT_EQ(ActiveNames(root), std::vector<std::string>{"early"});
}

TEST(Chain, EachChildEndsWhereTheNextStarts)
{
    CTestShow show("chain {\n name c\n" + Probe("a", "starttime 0\n") +
                   Probe("b", "starttime 10\nduration 1\n") + Probe("z", "starttime 25\nendtime 30\n") +
                   "}\n");
    CEffect* a = show.Effect("a");
    CEffect* b = show.Effect("b");
    CEffect* z = show.Effect("z");
    EXPECT_EQ(a->m_StartTime, 0.0f);
    EXPECT_EQ(a->m_EndTime, 10.0f);
    EXPECT_EQ(a->m_Duration, 10.0f);
    EXPECT_EQ(b->m_StartTime, 10.0f);
    EXPECT_EQ(b->m_EndTime, 25.0f);
    EXPECT_EQ(b->m_Duration, 15.0f);
    EXPECT_EQ(z->m_EndTime, 30.0f);
    EXPECT_EQ(z->m_Duration, 5.0f);
    EXPECT_STREQ(show.Effect("c")->GetKeyword(), "chain");

    show.m_System.UpdateAt(12);
    EXPECT_EQ(ActiveNames(show.Group("c")), std::vector<std::string>{"b"});
    EXPECT_FLOAT_EQ(b->m_Amount, 2.0f / 15.0f);
}

TEST(Chain, ASingleChildKeepsItsTimes)
{
    CTestShow show("chain {\n name c\n" + Probe("only", "starttime 3\n") + "}\n");
    EXPECT_EQ(show.Effect("only")->m_EndTime, 100003.0f);
}

TEST(TimedChain, PartsRunBackToBackAndTheLastLastsOneSecond)
{
    CTestShow show("timedchain {\n name t\n" + Probe("a") + Probe("b") + Probe("c") +
                   " part a 0 0 0\n part b 4 0 0\n part c 9 0 0\n}\n");
    CEffect* a = show.Effect("a");
    CEffect* b = show.Effect("b");
    CEffect* c = show.Effect("c");
    EXPECT_EQ(a->m_StartTime, 0.0f);
    EXPECT_EQ(a->m_EndTime, 4.0f);
    EXPECT_EQ(a->m_Duration, 4.0f);
    EXPECT_EQ(b->m_StartTime, 4.0f);
    EXPECT_EQ(b->m_EndTime, 9.0f);
    EXPECT_EQ(b->m_Duration, 5.0f);
    EXPECT_EQ(c->m_StartTime, 9.0f);
    EXPECT_EQ(c->m_EndTime, 10.0f);
    EXPECT_EQ(c->m_Duration, 1.0f);
    show.m_System.UpdateAt(9.5f);
    EXPECT_EQ(ActiveNames(show.Group("t")), std::vector<std::string>{"c"});
}

TEST(TimedChain, PartsFollowTheOrderOfThePartLinesNotOfTheBlocks)
{
    CTestShow show("timedchain {\n name t\n part b 0 1 1\n" + Probe("a") + Probe("b") +
                   " part ghost 2 0 0\n part a 3.5 0 0\n}\n");
    CEffect* a = show.Effect("a");
    CEffect* b = show.Effect("b");
    // The part naming no child changes nothing: b still ends where a starts.
    EXPECT_EQ(b->m_StartTime, 0.0f);
    EXPECT_EQ(b->m_EndTime, 3.5f);
    EXPECT_EQ(a->m_StartTime, 3.5f);
    EXPECT_EQ(a->m_EndTime, 4.5f);
}

TEST(TimedChain, AChildWithoutAPartKeepsItsOwnTimes)
{
    CTestShow show("timedchain {\n" + Probe("free", "starttime 7\n") + Probe("a") + " part a 1 0 0\n}\n");
    EXPECT_EQ(show.Effect("free")->m_StartTime, 7.0f);
    EXPECT_EQ(show.Effect("free")->m_EndTime, 100007.0f);
}

TEST(TimedChain, ShortPartLinesAreIgnoredWithALogLine)
{
    CLogCapture log;
    CTestShow show("timedchain {\n" + Probe("a") + Probe("b") + " part a 2\n part b 5 0 0\n}\n");
    EXPECT_TRUE(log.Contains("SCRIPT: part line needs a name, a time and two numbers; ignored\n"));
    EXPECT_EQ(show.Effect("a")->m_StartTime, 0.0f);
    EXPECT_EQ(show.Effect("a")->m_EndTime, 100000.0f);
    EXPECT_EQ(show.Effect("b")->m_StartTime, 5.0f);
}

TEST(TimedChain, APartTimeThatIsNotANumberRaises)
{
    CContainer root;
    ReadScript(root, "timedchain {\n" + Probe("a") + " part a soon 0 0\n}\n");
    CDemoSystem system;
    EXPECT_EQ(ErrorOf([&] { system.Init(root); }), "Variant type error");
    DeleteEffects(system);
}

TEST(TimedChain, ABlockNamedPartIsAChildNotAPart)
{
    CTestShow show("timedchain {\n name t\n" + Probe("a", "starttime 2\n") + " part {\n  a 9 0 0\n }\n}\n");
    EXPECT_EQ(show.Effect("a")->m_StartTime, 2.0f);
}
