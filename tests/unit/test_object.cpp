#include "effect_object.h"
#include "model.h"
#include "modelfiles.h"
#include "scripttest.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace NKeth;
using namespace NModelFiles;

namespace
{
template <class T> T* Get(CTestShow& show, const char* name)
{
    return dynamic_cast<T*>(show.Effect(name));
}

std::string ObjectWithSlots(int count, const char* extra = "", const char* name = "cat")
{
    std::string text = std::string("object {\n name ") + name + "\n" + extra + " objects {\n";
    for (int i = 0; i < count; ++i)
        text += "  missing" + std::to_string(i) + " red\n";
    return text + " }\n}\n";
}

// The cluster shown in each of n sequences, the generator starting afresh.
std::vector<int> Order(CEffect_Object& object, int n)
{
    CEffect_Object::s_RandomState = 1;
    std::vector<int> order;
    for (int i = 0; i < n; ++i)
    {
        object.Update(float(i) * 2.5f, 0);
        order.push_back(object.m_CurrentIndex);
    }
    return order;
}
} // namespace

TEST(ObjectEffect, FadePhaseAndSecondTurnThroughASequence)
{
    CTestShow show(ObjectWithSlots(1, " sequencetime 2\n fadetime 0.1\n"));
    CEffect_Object* object = Get<CEffect_Object>(show, "cat");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->m_SequenceStart, -1.0f);

    // The first update starts a sequence at its own local time. Rows: time into it, fade, phase
    // and second turn.
    object->Update(10, 0);
    EXPECT_EQ(object->m_SequenceStart, 10.0f);
    const float cases[][4] = {{0, 0, 0, 0},
                              {0.05f, 0.5f, 0.05f / (8.0f / 7.0f), 0},
                              {4.0f / 7.0f, 1, 0.5f, 0},
                              {1.0f, 1, 0.875f, 0.125f},
                              {8.0f / 7.0f, 1, 1, 0.25f},
                              {1.95f, 0.5f, 1, (1.95f - 6.0f / 7.0f) / (8.0f / 7.0f)},
                              {2.0f, 0, 1, 1}};
    for (const auto& c : cases)
    {
        object->Update(10 + c[0], 0);
        EXPECT_NEAR(object->m_Fade, c[1], 1e-3) << c[0];
        EXPECT_NEAR(object->m_Phase, c[2], 1e-3) << c[0];
        EXPECT_NEAR(object->m_SecondTurn, c[3], 1e-3) << c[0];
    }
    // Past the sequence time a new sequence begins.
    object->Update(12.01f, 0);
    EXPECT_EQ(object->m_SequenceStart, 12.01f);
}

TEST(ObjectEffect, ModelsFollowTheGeneratorAndNeverRepeat)
{
    CTestShow show(ObjectWithSlots(5) + ObjectWithSlots(2, "", "two") + ObjectWithSlots(1, "", "one"));
    CEffect_Object* five = Get<CEffect_Object>(show, "cat");
    CEffect_Object* two = Get<CEffect_Object>(show, "two");
    CEffect_Object* one = Get<CEffect_Object>(show, "one");
    ASSERT_TRUE(five && two && one);

    EXPECT_EQ(Order(*five, 10), (std::vector<int>{2, 0, 4, 2, 1, 4, 3, 0, 4, 3}));
    EXPECT_EQ(Order(*two, 6), (std::vector<int>{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(Order(*one, 4), (std::vector<int>{0, 0, 0, 0}));
}

TEST(ObjectEffect, ClustersTakeTheirModelsSizesAndColoursWhenRead)
{
    CTempDir dir;
    CWorkingDirectory enter(dir.Path());
    // The farthest vertex of the first model is (200 201 202); the second has none.
    WriteBytes("data/m.stuff", Archive({{"far.mdl", ModelFile()}, {"flat.mdl", ModelFile(0)}}));
    const float scale = 10 / CVector3(200, 201, 202).Length();
    CTestShow show(
        "stufffile {\n name arc\n filename \"data/m.stuff\"\n}\n"
        "palette {\n gold (1 0.8 0.1 0.9)\n}\n"
        "vornmodel {\n name far\n stuff \"arc|far.mdl\"\n}\n"
        "vornmodel {\n name flat\n stuff \"arc|flat.mdl\"\n}\n"
        "object {\n name cat\n objects {\n  far gold\n  flat nosuchcolour\n  gold gold\n  nosuch gold\n"
        "  far\n }\n}\n"
        "object {\n name small\n maxsize 1\n objects {\n  far gold\n }\n}\n");
    CEffect_Object* object = Get<CEffect_Object>(show, "cat");
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(object->m_Clusters.GetCount(), 5);
    TDynamicArray<CMesh*>* far = object->m_Clusters[0]->m_Model;
    ASSERT_NE(far, nullptr);
    ASSERT_EQ(far->GetCount(), 1);
    EXPECT_EQ((*far)[0]->m_Blend, 1);
    EXPECT_FLOAT_EQ(object->m_Sizes[0], scale);
    EXPECT_EQ(object->m_Colors[0], CVector4(1, 0.8f, 0.1f, 0.9f));
    EXPECT_FLOAT_EQ(Get<CEffect_Object>(show, "small")->m_Sizes[0], scale / 10);

    // A model of no extent is left unscaled; unknown colours are green.
    ASSERT_NE(object->m_Clusters[1]->m_Model, nullptr);
    EXPECT_EQ(object->m_Sizes[1], 1.0f);
    EXPECT_EQ(object->m_Colors[1], CVector4(0, 1, 0, 1));
    // A palette, a missing effect and a line of one word give empty slots.
    for (int i : {2, 3, 4})
        EXPECT_EQ(object->m_Clusters[i]->m_Model, nullptr) << i;

    // The size scales the turning model: at the start of a sequence the transform is the scale.
    object->m_CurrentIndex = 4;
    CEffect_Object::s_RandomState = 1; // the first draw after index 4 is cluster 0
    object->Update(0, 0);
    ASSERT_EQ(object->m_CurrentIndex, 0);
    const CVector3 diagonal(object->m_Transform[0], object->m_Transform[5], object->m_Transform[10]);
    EXPECT_NEAR((diagonal - CVector3(scale, scale, scale)).Length(), 0, 1e-6f);

    // The effect publishes itself for the screens.
    EXPECT_EQ(show.m_System.GetOutputValue("cat").ToPointer(), object);
}

TEST(ScreenEffect, PatchGeometry)
{
    CTestShow show("screen {\n name plain\n}\n"
                   "screen {\n name wide\n divisionhorizontal 4\n divisionvertical 1\n}\n"
                   "screen {\n name line\n divisionhorizontal 0\n}\n"
                   "screen {\n name column\n divisionvertical 0\n}\n");
    CEffect_Screen* plain = Get<CEffect_Screen>(show, "plain");
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plain->m_Vertices.GetCount(), 9);
    ASSERT_EQ(plain->m_Indices.GetCount(), 8 * 3);
    const float pi = 3.14159265f, theta = -3 * pi / 8, phi = pi / 4;
    const CEffect_Screen::SVertex& corner = plain->m_Vertices[0];
    EXPECT_NEAR(corner.x, 10 * std::sin(phi) * std::cos(theta), 1e-4);
    EXPECT_NEAR(corner.y, 10 * std::cos(phi), 1e-4);
    EXPECT_NEAR(corner.z, 13 * std::sin(phi) * std::sin(theta), 1e-4);
    EXPECT_EQ((std::vector<float>{corner.u, corner.v, plain->m_Vertices[8].u, plain->m_Vertices[8].v}),
              (std::vector<float>{1, 0, 0, 1}));
    // The first cell: (a, b, c) and (c, d, a).
    const std::vector<uint32_t> first(plain->m_Indices.m_Data, plain->m_Indices.m_Data + 6);
    EXPECT_EQ(first, (std::vector<uint32_t>{0, 1, 4, 4, 3, 0}));

    CEffect_Screen* wide = Get<CEffect_Screen>(show, "wide");
    ASSERT_EQ(wide->m_Vertices.GetCount(), 10);
    ASSERT_EQ(wide->m_Indices.GetCount(), 24);
    for (int i = 0; i < wide->m_Indices.GetCount(); ++i)
        EXPECT_LT(wide->m_Indices[i], 10u);

    for (const char* name : {"line", "column"})
    {
        CEffect_Screen* screen = Get<CEffect_Screen>(show, name);
        EXPECT_EQ(screen->m_Indices.GetCount(), 0) << name;
        for (int i = 0; i < screen->m_Vertices.GetCount(); ++i)
            EXPECT_TRUE(std::isfinite(screen->m_Vertices[i].u) && std::isfinite(screen->m_Vertices[i].v))
                << name;
    }
}

TEST(ScreenEffect, FollowsTheObjectsPhase)
{
    const std::pair<float, float> alphas[] = {
        {0, 0}, {0.125f, 0.1875f}, {0.25f, 0.75f}, {0.375f, 0.1875f}, {0.6f, 0}, {1, 0}};
    for (const auto& [phase, alpha] : alphas)
        EXPECT_NEAR(CEffect_Screen::AlphaAt(phase), alpha, 1e-6) << phase;
    CTestShow show("screen {\n name early\n objects cat\n}\n" + ObjectWithSlots(1) +
                   "screen {\n name late\n objects cat\n}\n"
                   "palette {\n name colours\n}\n"
                   "screen {\n name other\n objects colours\n}\n");
    CEffect_Object* object = Get<CEffect_Object>(show, "cat");
    CEffect_Screen* early = Get<CEffect_Screen>(show, "early");
    CEffect_Screen* late = Get<CEffect_Screen>(show, "late");
    ASSERT_TRUE(object && early && late);
    EXPECT_EQ(early->m_Objects, nullptr);
    EXPECT_EQ(late->m_Objects, object);
    EXPECT_EQ(Get<CEffect_Screen>(show, "other")->m_Objects, nullptr);

    // At phase 0.25 the screen has turned a quarter beyond its start of -pi/2.
    object->Update(0, 0);
    object->Update(2.0f / 7, 0);
    ASSERT_NEAR(object->m_Phase, 0.25f, 1e-5);
    late->Update(123, 0);
    early->Update(0.25f, 0); // without an object effect the local time turns it
    const SMatrix expected = SMatrix::RotY(-3.14159265f);
    for (CEffect_Screen* screen : {late, early})
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(screen->m_Rotation[i], expected[i], 1e-5) << i;
}
