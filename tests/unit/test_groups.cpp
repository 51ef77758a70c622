#include "scripttest.h"
#include "logcapture.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

using namespace NKeth;

namespace
{
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
    const std::vector<std::string> order = {"fourth", "second", "first", "third"};
    std::vector<std::string> journal;
    for (const char* call : {": Update 1 1e-05", ": Render 1 1e-05"})
        for (const std::string& name : order)
            journal.push_back(name + call);
    EXPECT_EQ(show.TakeJournal(), journal);
    EXPECT_EQ(NamesOf(show.Group("g")->m_Active), order);
}

// Active from the start up to but not at the end; the active list is rebuilt every frame.
TEST(Group, AChildIsActiveFromItsStartUpToButNotAtItsEnd)
{
    CTestShow show(Probe("p", "starttime 2\nendtime 5\n") + Probe("early", "endtime 1\n") +
                   Probe("late", "starttime 4.5\n"));
    auto root = dynamic_cast<CEffect_Group*>(show.m_System.m_Root);
    const std::pair<float, std::vector<std::string>> frames[] = {{0.5f, {"early"}}, {1.999f, {}},
                                                                 {2, {"p"}},        {4.999f, {"p", "late"}},
                                                                 {5, {"late"}},     {0.5f, {"early"}}};
    for (const auto& [t, active] : frames)
    {
        show.m_System.UpdateAt(t);
        EXPECT_EQ(NamesOf(root->m_Active), active) << t;
    }
    show.m_System.UpdateAt(3);
    EXPECT_EQ(show.Effect("p")->m_LocalTime, 1.0f);
    EXPECT_FLOAT_EQ(show.Effect("p")->m_Amount, 1.0f / 3.0f);
    show.m_System.UpdateAt(1.5f);
    show.TakeJournal();
    show.m_System.Render();
    EXPECT_TRUE(show.TakeJournal().empty());
}

TEST(Group, ChildTimesAreRelativeToTheGroup)
{
    CTestShow show("group {\n name g\n starttime 10\n endtime 20\n" + Probe("p", "starttime 2\n") + "}\n");
    show.m_System.UpdateAt(11);
    EXPECT_TRUE(NamesOf(show.Group("g")->m_Active).empty());
    show.m_System.UpdateAt(13);
    EXPECT_EQ(NamesOf(show.Group("g")->m_Active), std::vector<std::string>{"p"});
    EXPECT_EQ(show.Effect("g")->m_LocalTime, 3.0f);
    EXPECT_FLOAT_EQ(show.Effect("g")->m_Amount, 0.3f);
    EXPECT_EQ(show.Effect("p")->m_LocalTime, 1.0f);
    // The group publishes its own clock.
    EXPECT_EQ(show.m_System.GetOutputValue("g.localtime").ToFloat(), 3.0f);
    EXPECT_FLOAT_EQ(show.m_System.GetOutputValue("p.amount").ToFloat(), 1e-5f);
    // Outside the group's time the child is not reached, whatever its own times say.
    show.TakeJournal();
    show.m_System.UpdateAt(25);
    EXPECT_TRUE(show.TakeJournal().empty());
}

struct SChainCase
{
    std::string m_Script;
    std::vector<std::tuple<const char*, float, float>> m_Times; // name, start, end
    float m_At;                                                 // a moment and the one child running then
    const char* m_Running;
};

TEST(Chain, ChildTimesFollowTheChainOrThePartLines)
{
    const SChainCase cases[] = {
        {"chain {\n name c\n" + Probe("a", "starttime 0\n") + Probe("b", "starttime 10\nduration 1\n") +
             Probe("z", "starttime 25\nendtime 30\n") + "}\n",
         {{"a", 0, 10}, {"b", 10, 25}, {"z", 25, 30}},
         12,
         "b"},
        {"chain {\n name c\n" + Probe("only", "starttime 3\n") + "}\n", {{"only", 3, 100003}}, 4, "only"},
        // The last part lasts one second.
        {"timedchain {\n name c\n" + Probe("a") + Probe("b") + Probe("z") +
             " part a 0 0 0\n part b 4 0 0\n part z 9 0 0\n}\n",
         {{"a", 0, 4}, {"b", 4, 9}, {"z", 9, 10}},
         9.5f,
         "z"},
        // Parts follow the part lines, not the blocks; a part naming no child changes nothing.
        {"timedchain {\n name c\n part b 0 1 1\n" + Probe("a") + Probe("b") +
             " part ghost 2 0 0\n part a 3.5 0 0\n}\n",
         {{"b", 0, 3.5f}, {"a", 3.5f, 4.5f}},
         1,
         "b"},
        {"timedchain {\n name c\n" + Probe("free", "starttime 7\n") + Probe("a") + " part a 1 0 0\n}\n",
         {{"free", 7, 100007}, {"a", 1, 2}},
         1.5f,
         "a"},
        // A short part line is ignored.
        {"timedchain {\n name c\n" + Probe("a") + Probe("b") + " part a 2 0\n part b 5 0 0\n}\n",
         {{"a", 0, 100000}, {"b", 5, 6}},
         1,
         "a"},
        // A block named part is a child, not a part.
        {"timedchain {\n name c\n" + Probe("a", "starttime 2\n") + " part {\n  a 9 0 0\n }\n}\n",
         {{"a", 2, 100002}},
         3,
         "a"},
    };
    for (const SChainCase& c : cases)
    {
        SCOPED_TRACE(c.m_Script);
        CLogCapture log;
        CTestShow show(c.m_Script);
        for (const auto& [name, start, end] : c.m_Times)
        {
            CEffect* e = show.Effect(name);
            ASSERT_NE(e, nullptr) << name;
            EXPECT_EQ(std::vector<float>({e->m_StartTime, e->m_EndTime, e->m_Duration}),
                      std::vector<float>({start, end, end - start}))
                << name;
        }
        show.m_System.UpdateAt(c.m_At);
        EXPECT_EQ(NamesOf(show.Group("c")->m_Active), std::vector<std::string>{c.m_Running});
        EXPECT_EQ(log.Contains("SCRIPT: part line needs a name, a time and two numbers; ignored\n"),
                  c.m_Script.find("part a 2 0\n") != std::string::npos);
    }
}

TEST(TimedChain, APartTimeThatIsNotANumberRaises)
{
    CContainer root;
    ReadScript(root, "timedchain {\n" + Probe("a") + " part a soon 0 0\n}\n");
    CDemoSystem system;
    EXPECT_EQ(ErrorOf([&] { system.Init(root); }), "Variant type error");
    DeleteEffects(system);
}
