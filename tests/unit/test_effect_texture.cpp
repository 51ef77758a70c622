#include "effect_texture.h"
#include "effect_transform.h"
#include "logcapture.h"
#include "ogldevice.h"
#include "scripttest.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace NKeth;

namespace
{
// A device without a GL context: enough for every path that fails before drawing.
class CFakeDevice : public COGLDevice
{
public:
    bool Create(int, int, bool, int) override { return true; }
    void Present() override {}
    void Destroy() override {}
    TVector2<int> GetSize() override { return TVector2<int>(640, 480); }
    void MakeCurrent() override { SetCurrentDevice(this); }
    TVector2<float> GetMousePosition() override { return TVector2<float>(); }
    bool IsKeyDown(EKey) override { return false; }
};

CFakeDevice g_Fakes[2];
std::vector<COGLDevice*> Fakes(size_t count)
{
    std::vector<COGLDevice*> devices = {&g_Fakes[0], &g_Fakes[1]};
    devices.resize(count);
    return devices;
}

void ExpectSwitchedOut(CEffect* effect)
{
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(effect->m_StartTime == -1 && effect->m_EndTime == -1 && effect->m_Duration == 0 &&
                !effect->IsActiveAt(0))
        << effect->m_StartTime << " " << effect->m_EndTime << " " << effect->m_Duration;
}

void ExpectPublishedNone(CTestShow& show, const char* key)
{
    CVariant value;
    EXPECT_TRUE(show.m_System.FindOutput(key, &value) && value.m_Type == CVariant::TYPE_POINTER &&
                !value.ToPointer())
        << key;
}
} // namespace

TEST(TextureEffect, AMissingFilePublishesNoneForEveryDeviceAndNoFileNameNothing)
{
    CLogCapture log;
    CTestShow show("texture {\n name t\n texturefile \"data/missing.tga\"\n starttime 2\n}\n"
                   "texture {\n name empty\n}\n",
                   Fakes(2));
    auto* texture = dynamic_cast<CEffect_Texture*>(show.Effect("t"));
    auto* empty = dynamic_cast<CEffect_Texture*>(show.Effect("empty"));
    ASSERT_TRUE(texture && empty);
    ExpectSwitchedOut(texture);
    ExpectSwitchedOut(empty);
    EXPECT_EQ(texture->m_Textures.GetCount(), 2);
    EXPECT_EQ(empty->m_Textures.GetCount(), 0);
    CVariant value;
    EXPECT_FALSE(show.m_System.FindOutput("t", &value)); // nothing before the first device is prepared
    show.Prepare(0);
    ExpectPublishedNone(show, "t");
    show.Prepare(1);
    ExpectPublishedNone(show, "t");
    EXPECT_FALSE(show.m_System.FindOutput("empty", &value));
    // A device the texture was not made for leaves the output alone.
    texture->SetOutput("", CVariant::FromPointer(texture));
    show.Prepare(5);
    ASSERT_TRUE(show.m_System.FindOutput("t", &value));
    EXPECT_EQ(value.ToPointer(), texture);
    // The room grows to the highest device, empty below, and never shrinks.
    texture->InitDevice(3);
    ASSERT_EQ(texture->m_Textures.GetCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(texture->m_Textures[i], nullptr);
    texture->InitDevice(1);
    EXPECT_EQ(texture->m_Textures.GetCount(), 4);
}

// Texture and shader blocks whose files are missing or do not decode switch themselves out and
// publish none for the device, without a word about the file.
TEST(TextureEffects, FilesThatDoNotLoadPublishNone)
{
    const char* const faces = " posx \"a.tga\"\n negx \"b.tga\"\n posy \"c.tga\"\n negy \"d.tga\"\n"
                              " posz \"e.tga\"\n negz \"f.tga\"\n}\n";
    const struct
    {
        std::vector<const char*> m_Files;
        std::string m_Script;
        bool m_SwitchedOut;
    } cases[] = {
        {{"a.tga", "b.tga", "c.tga", "e.tga", "f.tga"}, std::string("cubemap {\n name x\n") + faces, true},
        {{"a.tga", "b.tga", "c.tga", "d.tga", "e.tga", "f.tga"},
         std::string("cubemap {\n name x\n") + faces,
         false},
        {{}, "breltexture {\n name x\n texturefile \"nowhere/b.tga\"\n}\n", true},
        {{}, "shader {\n name x\n shaderfile \"missing.shader\"\n}\n", true},
        {{}, "shader {\n name x\n}\n", false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_Script);
        CTempWorkingDirectory data; // holding data/ files of one byte
        for (const char* file : c.m_Files)
            WriteBytes(std::string("data/") + file, "x");
        CLogCapture log;
        CTestShow show(c.m_Script, Fakes(1));
        ExpectPublishedNone(show, "x");
        if (c.m_SwitchedOut)
            ExpectSwitchedOut(show.Effect("x"));
        EXPECT_EQ(log.Text().find("missing.shader"), std::string::npos) << log.Text();
        // The image of a relief texture is published, empty.
        CVariant image;
        auto* brel = dynamic_cast<CEffect_BrelTexture*>(show.Effect("x"));
        EXPECT_EQ(brel && show.m_System.FindOutput("x.image", &image) &&
                      image.ToPointer() == &brel->m_Image && !brel->m_Image.m_Data,
                  c.m_Script[0] == 'b');
    }
}

TEST(GeneratedCubeMap, MissingOrUnusablePlanesAreReplacedWithOneLogLine)
{
    const std::pair<const char*, bool> cases[] = {
        {"", true},
        {" nearplane 0.5\n", true},
        {" farplane 50\n", true},
        {" nearplane 0\n farplane 10\n", true},
        {" nearplane 5\n farplane 5\n", true},
        {" nearplane 0.5\n farplane 50\n texturesize 256\n", false},
    };
    for (const auto& [lines, replaced] : cases)
    {
        SCOPED_TRACE(lines);
        CLogCapture log;
        CTestShow show(std::string("generatedcubemap {\n name g\n") + lines + "}\n");
        auto* cube = dynamic_cast<CEffect_GeneratedCubeMap*>(show.Effect("g"));
        ASSERT_NE(cube, nullptr);
        EXPECT_EQ(cube->m_NearPlane, replaced ? 0.1f : 0.5f);
        EXPECT_EQ(cube->m_FarPlane, replaced ? 100.0f : 50.0f);
        const std::string text = WithoutTimings(log.Text());
        EXPECT_EQ(text.rfind("SCRIPT: generatedcubemap g: ", 0) == 0 &&
                      std::count(text.begin(), text.end(), '\n') == 1,
                  replaced)
            << text;
    }
}

TEST(GeneratedCubeMap, UpdatesItsChildrenAndFollowsItsSource)
{
    CTestShow show(
        "rotate {\n name r\n position (3 0 0)\n}\n"
        "generatedcubemap {\n name g\n nearplane 1\n farplane 10\n transform \"r.transform\"\n prio 200\n"
        " probe {\n name child\n }\n}\n"
        "generatedcubemap {\n name lost\n nearplane 1\n farplane 10\n transform \"none.transform\"\n}\n");
    // Without a device there is no cube map: the output is there and empty.
    CVariant value;
    ASSERT_TRUE(show.m_System.FindOutput("g", &value));
    EXPECT_EQ(value.ToPointer(), nullptr);

    show.TakeJournal();
    show.m_System.UpdateAt(1);
    EXPECT_EQ(show.TakeJournal(), std::vector<std::string>{"child: Update 1 1e-05"});
    auto* cube = dynamic_cast<CEffect_GeneratedCubeMap*>(show.Effect("g"));
    ASSERT_NE(cube, nullptr);
    EXPECT_NEAR(cube->m_SourceMatrix[12], 3 * std::cos(1.0f), 1e-5f);
    EXPECT_NEAR(cube->m_SourceMatrix[14], -3 * std::sin(1.0f), 1e-5f);
    auto* lost = dynamic_cast<CEffect_GeneratedCubeMap*>(show.Effect("lost"));
    ASSERT_NE(lost, nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(lost->m_SourceMatrix[i], i % 5 == 0 ? 1.0f : 0.0f);
}

TEST(GeneratedCubeMap, EachFaceLooksAlongItsAxisWithItsUpDirection)
{
    const std::pair<CVector3, CVector3> faces[] = {
        {CVector3(1, 0, 0), CVector3(0, -1, 0)}, {CVector3(-1, 0, 0), CVector3(0, -1, 0)},
        {CVector3(0, 1, 0), CVector3(0, 0, 1)},  {CVector3(0, -1, 0), CVector3(0, 0, -1)},
        {CVector3(0, 0, 1), CVector3(0, -1, 0)}, {CVector3(0, 0, -1), CVector3(0, -1, 0)},
    };
    const CVector3 eye(2, 5, -3);
    for (const auto& [d, u] : faces)
    {
        const SMatrix view = CEffect_GeneratedCubeMap::LookAt(eye, eye + d, u * 3);
        for (auto [from, want] : {std::pair{eye, CVector3(0, 0, 0)}, std::pair{eye + d, CVector3(0, 0, -1)},
                                  std::pair{eye + u, CVector3(0, 1, 0)}})
            EXPECT_NEAR((view.TransformPoint(from) - want).Length(), 0, 1e-6f);
    }
}

TEST(GeneratedCubeMap, FacesNeverExceedTheFrameBuffer)
{
    EXPECT_EQ(CEffect_GeneratedCubeMap::FaceSize(TVector2<int>(1024, 768)), 512);
    EXPECT_EQ(CEffect_GeneratedCubeMap::FaceSize(TVector2<int>(512, 512)), 512);
    EXPECT_EQ(CEffect_GeneratedCubeMap::FaceSize(TVector2<int>(400, 300)), 300);
    EXPECT_EQ(CEffect_GeneratedCubeMap::FaceSize(TVector2<int>(300, 1000)), 300);
    EXPECT_EQ(CEffect_GeneratedCubeMap::FaceSize(TVector2<int>(0, 0)), 0);
}
