#include "appmain.h"
#include "framecost.h"
#include "scripttest.h"
#include "logcapture.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace NKeth;

namespace
{
// A registered class that is not an effect, as image formats are.
class CNotAnEffect : public NClassRegistry::CClass
{
};
KETH_REGISTER_CLASS(CNotAnEffect, "notaneffect");

} // namespace

// Blocks that are unknown, empty or of a class that is not an effect create nothing and log nothing.
TEST(DemoSystem, TheRootGroupsTheTopLevelBlocksAndEffectsAreListedAsTheirCreationFinished)
{
    CLogCapture log;
    CTestShow show("probe {\n name first\n}\ngroup {\n name outer\n probe {\n  name inner1\n }\n"
                   " group {\n  name mid\n  probe {\n   name inner2\n  }\n }\n}\nname rootname\n"
                   "settings {\n width 5\n}\nGroup {\n name x\n}\nnotaneffect {\n x 1\n}\nprobe {\n}\nprobe\n"
                   "probe {\n name last\n}\n");
    EXPECT_EQ(NamesOf(show.m_System.m_Effects),
              (std::vector<std::string>{"first", "inner1", "inner2", "mid", "outer", "last", "rootname"}));
    EXPECT_EQ(show.m_System.m_Effects.GetCapacity(), show.m_System.m_Effects.GetCount());
    CEffect_Group* root = dynamic_cast<CEffect_Group*>(show.m_System.m_Root);
    ASSERT_EQ(root, show.m_System.m_Effects[6]);
    EXPECT_STREQ(root->GetKeyword(), "group");
    ASSERT_EQ(root->m_Children.GetCount(), 3);
    EXPECT_EQ(root->m_Children.GetCapacity(), 6); // room for every block with lines in it
    EXPECT_EQ(root->m_Children[2], show.Effect("last"));
    EXPECT_EQ(root->m_Children[0]->m_Owner, &show.m_System);
    EXPECT_EQ(WithoutTimings(log.Text()), "");
    EXPECT_TRUE(log.Contains(" ms for probe\n"));
    EXPECT_TRUE(log.Contains(" ms for group\n"));
}

TEST(DemoSystem, CreateEffectReadsTheNodeAndRegistersTheEffectAndFindEffectFindsTheFirst)
{
    CDemoSystem system;
    CContainer node;
    ReadScript(node, "name made\nstarttime 3\n");
    EXPECT_EQ(system.CreateEffect("nothing", &node), nullptr);
    EXPECT_EQ(system.CreateEffect("notaneffect", &node), nullptr);
    CEffect* effect = system.CreateEffect("probe", &node);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->m_Owner, &system);
    EXPECT_EQ(effect->m_StartTime, 3.0f);
    EXPECT_NE(system.CreateEffect("probe", nullptr), nullptr);
    ReadScript(node, "prio 2\n");
    EXPECT_NE(system.CreateEffect("probe", &node), nullptr);
    ASSERT_EQ(system.m_Effects.GetCount(), 3);
    EXPECT_STREQ(system.m_Effects[2]->m_Name.GetText(), "made");
    // The first in list order; names are exact.
    EXPECT_EQ(system.FindEffect("made"), 0);
    EXPECT_EQ(system.FindEffect("Made") + system.FindEffect("none") + system.FindEffect(nullptr), -3);
    DeleteEffects(system);
}

TEST(DemoSystem, ErrorsWhileReadingPassThroughAndLeaveEarlierEffectsOwned)
{
    CContainer root;
    ReadScript(
        root,
        "probe {\n name ok\n}\ngroup {\n probe {\n  name early\n }\n probe {\n  name bad\n  fail\n }\n}\n"
        "probe {\n name never\n}\n");
    CDemoSystem system;
    EXPECT_EQ(ErrorOf([&] { system.Init(root); }), "probe failed");
    EXPECT_EQ(NamesOf(system.m_Effects), (std::vector<std::string>{"ok", "early"}));
    EXPECT_EQ(system.m_Root, nullptr);
    // Without a root, updates and renders do nothing.
    system.Update();
    system.Render();
    system.DrawDebugText(0, 0, "text");
    DeleteEffects(system);
}

TEST(DemoSystem, FindOutputSplitsTheKeyAtTheFirstPoint)
{
    CTestShow show("probe {\n name tex\n}\nprobe {\n name cam\n}\n");
    show.Effect("tex")->SetOutput("", CVariant::FromInt(11));
    show.Effect("cam")->SetOutput("pos", CVariant::FromInt(4));
    show.Effect("cam")->SetOutput("a.b", CVariant::FromInt(5));
    const struct
    {
        const char* m_Key;
        int m_Value; // 0: not found
    } cases[] = {{"tex", 11}, {"tex.", 11},         {"cam.pos", 4},    {"cam.a.b", 5},
                 {"cam", 0},  {"cam.transform", 0}, {"nobody.pos", 0}, {nullptr, 0}};
    for (const auto& c : cases)
    {
        CVariant out;
        EXPECT_EQ(show.m_System.FindOutput(c.m_Key, &out), c.m_Value != 0) << (c.m_Key ? c.m_Key : "null");
        EXPECT_EQ(out.m_Type == CVariant::TYPE_EMPTY ? 0 : out.ToInt(), c.m_Value)
            << (c.m_Key ? c.m_Key : "null");
        EXPECT_EQ(show.m_System.GetOutputValue(c.m_Key).m_Type, out.m_Type);
    }
}

TEST(DemoSystem, PaletteLookupsByNameOrByNodeLine)
{
    CDemoSystem system;
    system.AddColor("red", 1, 0, 0, 1);
    system.AddColor("red", 0.5f, 0, 0, 1);
    system.AddColor("sky", 0, 0.5f, 1, 0.25f);
    CContainer node;
    ReadScript(node, "color sky\nother \"red\"\n");
    EXPECT_EQ(system.GetColor(CString("red"), 0, 0, 0, 0), CVector4(1, 0, 0, 1));
    EXPECT_EQ(system.GetColor(CString("Red"), 0, 0, 0, 0), CVector4(0, 0, 0, 0));
    EXPECT_EQ(system.GetColor("color", &node, 9, 9, 9, 9), CVector4(0, 0.5f, 1, 0.25f));
    EXPECT_EQ(system.GetColor("other", &node, 9, 9, 9, 9), CVector4(1, 0, 0, 1));
    EXPECT_EQ(system.GetColor("missing", &node, 0, 1, 0, 1), CVector4(0, 1, 0, 1));
    // A missing line means the empty name, which a palette entry may carry.
    system.AddColor("", 0.25f, 0.25f, 0.25f, 1);
    EXPECT_EQ(system.GetColor("missing", &node, 0, 1, 0, 1), CVector4(0.25f, 0.25f, 0.25f, 1));
}

// A passive effect is never updated, keeps its outputs readable and gets every device call.
TEST(DemoSystem, InitPreparesEveryEffectOncePerDevice)
{
    CTestShow show("probe {\n name a\n}\ngroup {\n probe {\n  name b\n  passive\n }\n}\n", 2);
    EXPECT_EQ(show.m_System.m_DeviceFonts.GetCount(), 2);
    EXPECT_EQ(show.TakeJournal(),
              (std::vector<std::string>{"a: Read", "b: Read", "a: InitDevice 0", "b: InitDevice 0",
                                        "a: InitDevice 1", "b: InitDevice 1"}));
    show.Effect("b")->SetOutput("", CVariant("payload"));
    show.m_System.UpdateAt(5);
    EXPECT_STREQ(show.m_System.GetOutputValue("b").ToString().GetText(), "payload");
    show.Prepare(1);
    EXPECT_EQ(show.TakeJournal(),
              (std::vector<std::string>{"a: Update 5 5e-05", "a: PrepareDevice 1", "b: PrepareDevice 1"}));
}

// The clock starts at zero on the first update after Init; the root runs whatever its own times say.
TEST(DemoSystem, TheClockStartsAtZeroAndTheRootRunsWhateverItsTimesSay)
{
    CTestShow show("starttime 100\nendtime 200\nprobe {\n name a\n}\n");
    show.m_System.Update();
    EXPECT_EQ(show.m_System.m_Root->m_LocalTime, 0.0f);
    const int64_t start = show.m_System.m_StartTicks;
    show.m_System.Update();
    EXPECT_EQ(show.m_System.m_StartTicks, start);
    show.TakeJournal();
    show.m_System.UpdateAt(3.5f);
    EXPECT_EQ(show.m_System.m_Time, 3.5f);
    EXPECT_EQ(show.m_System.m_Root->m_Amount, 0.0f);
    show.m_System.Render();
    EXPECT_EQ(show.TakeJournal(),
              (std::vector<std::string>{"a: Update 3.5 3.5e-05", "a: Render 3.5 3.5e-05"}));
    // The root has no name: "" finds it, and it publishes its clock like every effect.
    EXPECT_EQ(show.m_System.GetOutputValue(".localtime").ToFloat(), 3.5f);
    DeleteEffects(show.m_System);
    show.m_System.Init(show.m_Root);
    EXPECT_FALSE(show.m_System.m_TimerStarted);
}

TEST(DemoSystem, EffectsNestedTooDeeplyAreSkipped)
{
    CLogCapture log;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "group {\n name g" + std::to_string(i) + "\n";
    CTestShow show(text);
    // The root is level 1, so 255 script groups fit.
    EXPECT_EQ(show.m_System.m_Effects.GetCount(), CDemoSystem::MAX_EFFECT_DEPTH);
    EXPECT_NE(show.m_System.FindEffect("g254"), -1);
    EXPECT_EQ(show.m_System.FindEffect("g255"), -1);
    EXPECT_TRUE(log.Contains("[DEMOSYS] effects nested deeper than 256 levels, group skipped\n"));
    show.m_System.UpdateAt(1);
    show.m_System.Render();
}

// Every kind of lookup an effect makes (palette, materials, archive, outputs) stays inside
// the show's own system.
TEST(DemoSystem, AShowOfItsOwnLeavesTheProgramsSystemEmpty)
{
    CTempWorkingDirectory dir;
    CTestShow show("palette {\n sky (0 0 1 1)\n}\nclear {\n color sky\n}\n"
                   "stufffile {\n name arc\n filename missing.stuff\n}\n"
                   "vornmodel {\n name m\n stuff arc|a.mdl\n materials {\n default {\n color sky\n }\n }\n}\n"
                   "camera {\n transform m\n}\n");
    show.m_System.UpdateAt(1);
    EXPECT_EQ(show.m_System.m_Palette.GetCount(), 1);
    EXPECT_EQ(g_DemoSystem.m_Palette.GetCount() + g_DemoSystem.m_Effects.GetCount() +
                  g_DemoSystem.m_CurrentDevice,
              0);
    EXPECT_TRUE(!g_DemoSystem.m_Root && !g_DemoSystem.m_TimerStarted);
}

// Costs appear after a second, for the effects that ran, and a group's include its children's.
TEST(FrameCost, AveragesTheEffectsThatRanOverTheLastSecond)
{
    CTestShow show("group {\n name outer\n group {\n name inner\n }\n}\n"
                   "group {\n name later\n starttime 50\n}\n");
    CFrameCost cost(false);
    show.m_System.m_FrameCost = &cost;
    CEffect* outer = show.Effect("outer");
    CFrameCost::SCost c;
    show.m_System.UpdateAt(1);
    show.m_System.Render();
    EXPECT_FALSE(cost.Get(outer, c));
    std::this_thread::sleep_for(std::chrono::milliseconds(1050));
    show.m_System.UpdateAt(2);

    CFrameCost::SCost inner;
    ASSERT_TRUE(cost.Get(outer, c));
    ASSERT_TRUE(cost.Get(show.Effect("inner"), inner));
    EXPECT_GE(c.m_UpdateMs, inner.m_UpdateMs);
    EXPECT_GE(c.m_RenderMs, inner.m_RenderMs);
    EXPECT_FALSE(c.m_HasGpu);
    EXPECT_FALSE(cost.Get(show.Effect("later"), c));
    show.m_System.m_FrameCost = nullptr;
}
