#include "effect_transform.h"
#include "scripttest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

using namespace NKeth;

namespace
{
// The output of that key, which must be of that type.
CVariant Output(CTestShow& show, const char* key, uint32_t type)
{
    CVariant value = show.m_System.GetOutputValue(key);
    EXPECT_EQ(value.m_Type, type) << key;
    return value;
}
SMatrix OutputMatrix(CTestShow& show, const char* key)
{
    return MatrixOf(Output(show, key, CVariant::TYPE_MATRIX));
}
CVector3 OutputVector(CTestShow& show, const char* key)
{
    return Output(show, key, CVariant::TYPE_VECTOR3).ToVector3();
}

void ExpectMatrixNear(const SMatrix& actual, const float (&expected)[16])
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5f) << "element " << i;
}

// A quarter turn about Y: x goes to -z, z goes to x.
const float QUARTER_TURN[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
} // namespace

TEST(RotateEffect, DefaultsPublishTheIdentityWhenReadAndATurnByLocalTime)
{
    CTestShow show("rotate {\n name r\n}\n");
    // Before any frame: the transform exists already.
    ExpectMatrixNear(OutputMatrix(show, "r.transform"), IDENTITY);
    show.m_System.UpdateAt(0.5f);
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    ExpectMatrixNear(OutputMatrix(show, "r.transform"), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
    EXPECT_EQ(show.m_System.GetOutputValue("r.localtime").ToFloat(), 0.5f);
}

TEST(RotateEffect, TimeOffsetAndTimeScaleTurnTheAngle)
{
    CTestShow show("rotate {\n name r\n timeoffset 1.5708\n}\n"
                   "rotate {\n name fast\n timescale 2\n timeoffset 0.7854\n}\n");
    ExpectMatrixNear(OutputMatrix(show, "r.transform"), QUARTER_TURN);
    ExpectMatrixNear(OutputMatrix(show, "fast.transform"), QUARTER_TURN);
    // Local time is added before scaling: (0.7854 + 0.7854) * 2 is a half turn.
    show.m_System.UpdateAt(0.7854f);
    ExpectMatrixNear(OutputMatrix(show, "fast.transform"),
                     {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1});
}

TEST(RotateEffect, PositionIsMovedThenScaledThenTurned)
{
    CTestShow show("rotate {\n name r\n position (10 0 0)\n scale 2\n}\n");
    for (float t : {0.0f, 0.3f, 2.0f, 4.0f})
    {
        show.m_System.UpdateAt(t);
        const float c = 2 * std::cos(t), s = 2 * std::sin(t);
        ExpectMatrixNear(OutputMatrix(show, "r.transform"),
                         {c, 0, -s, 0, 0, 2, 0, 0, s, 0, c, 0, 10 * c, 0, -10 * s, 1});
    }
}

TEST(CameraEffect, WithoutASourceItPublishesTheIdentityTheOriginAndItsLens)
{
    CTestShow show("camera {\n name cam\n transform nothing\n}\n"
                   "camera {\n name lens\n nearplane 0.5\n farplane 300\n fov 45\n}\n");
    show.m_System.UpdateAt(1);
    ExpectMatrixNear(OutputMatrix(show, "cam.transform"), IDENTITY);
    EXPECT_EQ(OutputVector(show, "cam.pos"), CVector3(0, 0, 0));
    const std::pair<const char*, float> lens[] = {{"cam.nearplane", 1},   {"cam.farplane", 100},
                                                  {"cam.fov", 90},        {"lens.nearplane", 0.5f},
                                                  {"lens.farplane", 300}, {"lens.fov", 45}};
    for (const auto& [key, expected] : lens)
        EXPECT_EQ(Output(show, key, CVariant::TYPE_FLOAT).ToFloat(), expected) << key;
    // No clock of its own.
    for (const char* key : {"cam.localtime", "cam.amount"})
        Output(show, key, CVariant::TYPE_EMPTY);
}

TEST(CameraEffect, RepublishesTheTransformOfTheEffectItNames)
{
    CTestShow show("rotate {\n name r\n timeoffset 1.5708\n}\n"
                   "camera {\n name cam\n transform r\n}\n"
                   "camera {\n name full\n transform \"r.transform\"\n}\n");
    show.m_System.UpdateAt(0);
    ExpectMatrixNear(OutputMatrix(show, "cam.transform"), QUARTER_TURN);
    // The camera adds ".transform" itself, so a full output name finds nothing.
    ExpectMatrixNear(OutputMatrix(show, "full.transform"), IDENTITY);
}

TEST(LightEffect, PublishesTheTranslationOfItsTransform)
{
    CTestShow show("rotate {\n name orbit\n position (10 0 0)\n scale 2\n}\nrotate {\n name spin\n}\n"
                   "light {\n name l\n transform \"orbit.transform\"\n prio 200\n}\n"
                   "light {\n name still\n transform \"spin.transform\"\n prio 200\n}\n"
                   "light {\n name lost\n transform \"gone.transform\"\n}\n"
                   "light {\n name clock\n transform \"orbit.localtime\"\n prio 200\n}\n");
    show.m_System.UpdateAt(1.25f);
    CVector3 pos = OutputVector(show, "l.lightpos");
    EXPECT_NEAR(pos.x, 20 * std::cos(1.25f), 1e-4f);
    EXPECT_NEAR(pos.y, 0, 1e-6f);
    EXPECT_NEAR(pos.z, -20 * std::sin(1.25f), 1e-4f);
    EXPECT_EQ(dynamic_cast<CEffect_Light*>(show.Effect("l"))->m_LightPos, pos);
    // A source without a translation, a missing one and one that is not a matrix: the origin.
    for (const char* key : {"still.lightpos", "lost.lightpos", "clock.lightpos"})
        EXPECT_EQ(OutputVector(show, key), CVector3(0, 0, 0)) << key;
}

// Outputs change only when their effect updates: a consumer sees what its source published
// at its own last update, in the group's order.
TEST(TransformTiming, ConsumersUpdatedAfterTheirSourceSeeTheCurrentFrame)
{
    CTestShow show("rotate {\n name r\n prio 10\n}\n"
                   "camera {\n name after\n transform r\n prio 20\n}\n"
                   "camera {\n name before\n transform r\n prio 5\n}\n");
    show.m_System.UpdateAt(0.25f);
    const SMatrix first = OutputMatrix(show, "r.transform");
    ExpectMatrixNear(OutputMatrix(show, "before.transform"), IDENTITY); // published when read
    show.m_System.UpdateAt(0.75f);
    const SMatrix second = OutputMatrix(show, "r.transform");
    ExpectMatrixNear(OutputMatrix(show, "after.transform"), second.m);
    ExpectMatrixNear(OutputMatrix(show, "before.transform"), first.m);
    EXPECT_NE(first[0], second[0]);
}

TEST(TransformTiming, InactiveSourcesKeepTheirLastTransform)
{
    CTestShow show("rotate {\n name o\n position (1 0 0)\n endtime 1\n}\n"
                   "light {\n name lo\n transform \"o.transform\"\n prio 200\n}\n");
    show.m_System.UpdateAt(0.5f);
    const CVector3 last = OutputVector(show, "lo.lightpos");
    show.m_System.UpdateAt(3);
    EXPECT_EQ(OutputVector(show, "lo.lightpos"), last);
    EXPECT_NEAR(last.x, std::cos(0.5f), 1e-5f);
}
