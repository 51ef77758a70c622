// The transform, texture and shader effects drawn through real devices on a virtual display.
#include "effect_texture.h"
#include "effect_transform.h"
#include "logcapture.h"
#include "gltest.h"
#include "tempdir.h"
#include "../unit/scripttest.h"

#include "keth/func/image.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

using namespace NKeth;

namespace
{
// Runs in a fresh directory that holds a data/ directory.
class CDataDirectory : public CTempWorkingDirectory
{
public:
    CDataDirectory() { std::filesystem::create_directory("data"); }
};

// The test devices of these indices, or an error without a display.
std::vector<COGLDevice*> Devices(const std::vector<int>& indices)
{
    std::vector<COGLDevice*> devices;
    for (int d : indices)
        if (!devices.emplace_back(TestDevice(d + 1)))
            throw std::runtime_error("no display");
    return devices;
}

class CGLShow : public CTestShow
{
public:
    CGLShow(const std::string& text, const std::vector<int>& devices) : CTestShow(text, Devices(devices)) {}

    // Starts a device pass on device i of the show (test device i + 1) with a clear frame.
    COGLDevice* Begin(int i)
    {
        ClearFrame(0, 0, 0, i + 1);
        m_System.m_Root->PrepareDevice(i);
        return m_System.m_Devices[i];
    }
    void* Resource(const char* key) { return m_System.GetOutputValue(key).ToPointer(); }
};

// Thin lines may fall on either side of a pixel boundary: look in a small box.
bool FoundNear(int x, int y, SPixel color)
{
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (ReadPixel(x + dx, y + dy) == color)
                return true;
    return false;
}

const SPixel RED = {255, 0, 0, 255}, GREEN = {0, 255, 0, 255}, BLUE = {0, 0, 255, 255};
} // namespace

TEST(NullObjGL, DrawsTheAxesOfItsSourceInRedGreenAndBlue)
{
    struct SSpot
    {
        int x, y;
        SPixel colour;
        bool found;
    };
    // Identity projection: x = (1 + X) * 300, y = (1 + Y) * 280.
    const struct
    {
        const char* m_Script;
        std::vector<SSpot> m_Spots;
    } cases[] = {
        // A turn of 2 radians points the x axis left and back, the z axis right and back.
        {"rotate {\n name r\n timeoffset 2\n}\nnullobj {\n transform \"r.transform\"\n}\n",
         {{240, 280, RED, true}, {450, 280, BLUE, true}, {300, 420, GREEN, true}, {360, 280, RED, false}}},
        // A value of another kind draws unit axes, a missing source nothing.
        {"rotate {\n name r\n}\nnullobj {\n transform \"r.localtime\"\n}\n",
         {{450, 280, RED, true}, {300, 420, GREEN, true}}},
        {"nullobj {\n transform \"none.transform\"\n}\n", {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.m_Script);
        CGLShow show(c.m_Script, {0});
        show.m_System.UpdateAt(0);
        show.Begin(0);
        show.m_System.Render();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        for (const SSpot& spot : c.m_Spots)
            EXPECT_EQ(FoundNear(spot.x, spot.y, spot.colour), spot.found) << spot.x << "," << spot.y;
        EXPECT_EQ(CountPixels(ReadFrame(600, 560)) > 0, !c.m_Spots.empty());
    }
}

// Every device gets textures of its own from the files, bound as the effects published them.
TEST(TextureGL, TextureBrelTextureAndCubeMapOnEveryDevice)
{
    CDataDirectory directory;
    const std::string faces[6] = {"posx", "negx", "posy", "negy", "posz", "negz"};
    std::string cubemap = "cubemap {\n name c\n";
    for (int i = 0; i < 6; ++i)
    {
        WriteBytes("data/" + faces[i] + ".tga", SolidTGA(2, 2, uint8_t(40 * i), uint8_t(255 - 40 * i), 7));
        cubemap += " " + faces[i] + " \"" + faces[i] + ".tga\"\n";
    }
    CGLShow show("texture {\n name tex\n texturefile \"data/posy.tga\"\n}\n"
                 "breltexture {\n name b\n texturefile \"data/negx.tga\"\n}\n" +
                     cubemap + "}\n",
                 {0, 1});
    std::vector<void*> seen;
    for (int d = 0; d < 2; ++d)
    {
        SCOPED_TRACE("device " + std::to_string(d));
        COGLDevice* device = show.Begin(d);
        auto* texture = static_cast<CTexture*>(show.Resource("tex"));
        auto* brel = static_cast<CTexture*>(show.Resource("b"));
        auto* cube = static_cast<CTexture*>(show.Resource("c"));
        ASSERT_TRUE(texture && brel && cube);
        seen.insert(seen.end(), {texture, brel, cube});
        device->BindTexture(0, texture);
        EXPECT_EQ(Texel(GL_TEXTURE_2D), (std::vector<uint8_t>{80, 175, 7, 255}));
        // The brel texture samples texel by texel and keeps its image for the CPU.
        device->BindTexture(0, brel);
        EXPECT_EQ(Texel(GL_TEXTURE_2D), (std::vector<uint8_t>{40, 215, 7, 255}));
        GLint filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_NEAREST);
        auto* image = static_cast<CImage*>(show.Resource("b.image"));
        EXPECT_EQ(image, &static_cast<CEffect_BrelTexture*>(show.Effect("b"))->m_Image);
        ASSERT_NE(image->m_Data, nullptr);
        ASSERT_EQ(cube->m_Target, GLenum(GL_TEXTURE_CUBE_MAP));
        device->BindTexture(0, cube);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(Texel(GLenum(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i)),
                      (std::vector<uint8_t>{uint8_t(40 * i), uint8_t(255 - 40 * i), 7, 255}))
                << faces[i];
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(seen[size_t(i)], seen[size_t(i) + 3]);
}

TEST(ShaderGL, ProgramsOfFilesCompileAndDrawAndBrokenOnesAreLoggedAndStillPublished)
{
    CDataDirectory directory;
    std::ofstream("data/good.shader")
        << "#version 110\n#vertexshader\nvoid main()\n{ gl_Position = ftransform(); }\n"
           "#fragmentshader\nvoid main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n";
    std::ofstream("data/bad.shader")
        << "#vertexshader\nvoid main() { gl_Position = ftransform(); }\n"
           "#fragmentshader\nvoid main() { gl_FragColor = undeclared_colour; }\n";
    CLogCapture log;
    CGLShow show("shader {\n name s\n shaderfile \"good.shader\"\n}\nshader {\n name bad\n shaderfile "
                 "\"bad.shader\"\n}\n",
                 {0});
    EXPECT_TRUE(log.Contains("[OPENGL] Compiling shader 'data/good.shader'... ok\n")) << log.Text();
    EXPECT_TRUE(log.Contains("[OPENGL] Compiling shader 'data/bad.shader'... \ndata/bad.shader:\n"))
        << log.Text();
    EXPECT_TRUE(log.Contains("undeclared_colour")) << log.Text();
    show.Begin(0);
    EXPECT_NE(show.Resource("bad"), nullptr);
    auto* program = static_cast<SShaderProgram*>(show.Resource("s"));
    ASSERT_NE(program, nullptr);
    glUseProgramObjectARB(GLhandleARB(program->m_Program));
    glRectf(-1, -1, 1, 1);
    EXPECT_EQ(ReadPixel(300, 280), BLUE);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(GeneratedCubeMapGL, ChildrenFillEveryFaceAndTheDeviceStateIsRestored)
{
    CGLShow show("palette {\n sea (0.2 0.4 0.6 1)\n}\nrotate {\n name r\n position (1 2 3)\n}\n"
                 "generatedcubemap {\n name gen\n nearplane 0.5\n farplane 50\n transform \"r.transform\"\n"
                 " prio 200\n clear {\n color sea\n }\n nullobj {\n transform \"r.transform\"\n }\n}\n",
                 {0, 1, 2});
    show.m_System.UpdateAt(1);
    auto* gen = dynamic_cast<CEffect_GeneratedCubeMap*>(show.Effect("gen"));
    ASSERT_NE(gen, nullptr);
    std::vector<void*> seen;
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE("device " + std::to_string(i));
        COGLDevice* device = show.Begin(i);
        // Some state of the frame loop's kind, to be found again afterwards.
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(SMatrix::Frustum(0.01f, 100, 0.02f, -0.02f, 0.015f, -0.015f).m);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf((SMatrix::RotY(0.3f) * SMatrix::Translation(1, -2, 3)).m);
        glViewport(3, 4, 100, 90);
        const std::vector<float> before = MatrixState();
        gen->Render(gen->m_LocalTime, gen->m_Amount);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(MatrixState(), before);

        auto* cube = static_cast<CTexture*>(show.Resource("gen"));
        ASSERT_NE(cube, nullptr);
        seen.push_back(cube);
        device->BindTexture(0, cube);
        // Faces are as large as the frame buffer allows, 512 at most.
        const int size = i == 2 ? 200 : 512;
        for (int face = 0; face < 6; ++face)
        {
            const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
            ASSERT_EQ(LevelParameter(target, 0, GL_TEXTURE_WIDTH), size) << "face " << face;
            ASSERT_EQ(LevelParameter(target, 0, GL_TEXTURE_HEIGHT), size) << "face " << face;
            std::vector<SPixel> texels(size_t(size) * size_t(size));
            glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            const int wrong = CountPixels(texels, [](const SPixel& p)
                                          { return !Near(p, 0.2f, 0.4f, 0.6f, 1) || p.a != 255; });
            EXPECT_EQ(wrong > 0, face == 3) << "face " << face << ": only -y sees the axes below";
        }
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_NE(seen[1], seen[2]);
}
