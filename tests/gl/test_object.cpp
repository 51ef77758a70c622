// The object and screen effects drawing on the test window.
#include "effect_object.h"
#include "gltest.h"
#include "tempdir.h"
#include "../unit/scripttest.h"

#include <filesystem>
#include <fstream>

namespace
{
// A square of side 1 about the origin facing the viewer, in one mesh of two triangles.
struct SSquare
{
    SSquare()
    {
        CMesh* mesh = NEW CMesh;
        for (float p : {-0.5f, 0.5f})
            for (float q : {-0.5f, 0.5f})
                mesh->m_Positions.Add(NKeth::TVector3<float>(q, p, 0));
        for (uint32_t i : {0u, 1u, 3u, 0u, 3u, 2u})
            mesh->m_Indices.Add(i);
        mesh->m_Color[0] = 0, mesh->m_Color[1] = 0, mesh->m_Color[2] = 1, mesh->m_Color[3] = 1;
        mesh->m_Blend = 1;
        m_Meshes.Add(mesh);
    }
    ~SSquare() { m_Meshes.DeleteAll(); }
    NKeth::TDynamicArray<CMesh*> m_Meshes;
};

// An object effect of one cluster showing the square in red wire, built without a script.
struct SObject
{
    explicit SObject(SSquare& square, CDemoSystem* shared = nullptr) : system(shared ? *shared : own)
    {
        object.m_Owner = &system;
        object.m_SequenceTime = 1000;
        object.m_FadeTime = 10;
        auto* cluster = NEW CEffect_Object::CVornCluster;
        cluster->m_Model = &square.m_Meshes;
        cluster->m_System = &system;
        object.m_Clusters.Add(cluster);
        object.m_Colors.Add(NKeth::CVector4(1, 0, 0, 1));
        object.m_Sizes.Add(1.0f);
    }
    CDemoSystem own;
    CDemoSystem& system;
    CEffect_Object object;
};

bool IsRed(const SPixel& p)
{
    return p.r > 200 && p.g < 60 && p.b < 60;
}

} // namespace

TEST(ObjectDrawing, SolidWireframeAndFade)
{
    REQUIRE_DEVICE();
    SSquare square;
    SObject made(square);
    CEffect_Object& object = made.object;
    object.InitDevice(0);
    object.PrepareDevice(0);

    // At 4/7 of the sequence the first turn is complete and the second a quarter on: the square
    // is turned about the view axis only, which leaves it covering the centre.
    object.Update(0, 0);
    object.Update(1000.0f * 4 / 7, 0);
    ClearFrame();
    object.Render(0, 0);
    std::vector<SPixel> frame = ReadFrame();
    EXPECT_TRUE(Near(ReadPixel(WINDOW_SIZE / 2 + 30, WINDOW_SIZE / 2 - 10), 0, 0, 1)) << ReadPixel(158, 118);
    // The shared edge and the outline are in the cluster's colour.
    EXPECT_GT(CountPixels(frame, IsRed), 100);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Half-way through the fade-out the square is drawn with half its alpha.
    object.Update(995, 0);
    ASSERT_NEAR(object.m_Fade, 0.5f, 1e-3);
    ClearFrame();
    object.Render(0, 0);
    EXPECT_TRUE(Near(ReadPixel(WINDOW_SIZE / 2 + 30, WINDOW_SIZE / 2 - 10), 0, 0, 0.5f, 4))
        << ReadPixel(158, 118);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Each device draws with its own buffers and its own build of the shader: both draw the same picture.
TEST(ObjectDrawing, EveryDeviceDrawsWithTheShader)
{
    REQUIRE_DEVICE();
    CTempWorkingDirectory dir;
    std::filesystem::create_directories("data");
    std::ofstream("data/swap.shader") << "#vertexshader\nvoid main() { gl_FrontColor = gl_Color; "
                                         "gl_Position = ftransform(); }\n#fragmentshader\n"
                                         "void main() { gl_FragColor = gl_Color.bgra; }\n";
    ASSERT_NE(TestDevice(1), nullptr);
    CTestShow show("shader {\n name swap\n shaderfile \"swap.shader\"\n}\n", {device, TestDevice(1)});
    SSquare square;
    square.m_Meshes[0]->m_Shader = "swap";
    SObject made(square, &show.m_System);
    for (int i = 0; i < 2; ++i)
    {
        show.m_System.m_Devices[i]->MakeCurrent();
        made.object.InitDevice(i);
    }
    made.object.Update(0, 0);
    made.object.Update(1000.0f * 4 / 7, 0);
    std::vector<SPixel> frames[2];
    for (int i = 0; i < 2; ++i)
    {
        ClearFrame(0, 0, 0, i);
        glViewport(0, 0, WINDOW_SIZE, WINDOW_SIZE); // the same picture on both
        show.Prepare(i);
        made.object.PrepareDevice(i);
        made.object.Render(0, 0);
        frames[i] = ReadFrame();
    }
    // The blue square comes out red through the shader on both.
    EXPECT_GT(CountPixels(frames[0], IsRed), 1000);
    EXPECT_TRUE(frames[0] == frames[1]);
}

TEST(ScreenDrawing, RisesWithTheFirstQuarterOfTheTurn)
{
    REQUIRE_DEVICE();
    CDemoSystem system;
    CEffect_Object object;
    CEffect_Screen screen;
    object.m_Owner = screen.m_Owner = &system;
    screen.m_Objects = &object;
    screen.BuildGeometry();
    screen.InitDevice(0);
    screen.PrepareDevice(0);

    for (const auto& [phase, visible] : {std::pair{0.25f, true}, {0.5f, false}, {0.6f, false}, {1.0f, false}})
    {
        object.m_Phase = phase;
        screen.Update(0, 0);
        ClearFrame();
        glMatrixMode(GL_PROJECTION);
        glOrtho(-15, 15, -15, 15, -30, 30);
        glMatrixMode(GL_MODELVIEW);
        screen.Render(0, 0);
        const std::vector<SPixel> frame = ReadFrame();
        if (visible)
        {
            // Grey at three quarters: 0.5 * 0.75 of full brightness.
            EXPECT_TRUE(Near(ReadPixel(68, 128), 0.375f, 0.375f, 0.375f, 3)) << ReadPixel(68, 128);
            EXPECT_GT(CountPixels(frame, IsLit), 2000);
        }
        else
            EXPECT_EQ(CountPixels(frame, IsLit), 0) << phase;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}
