// The transform, texture and shader effects drawn through real devices on a virtual display.
#include "demosystem.h"
#include "effect_texture.h"
#include "effect_transform.h"
#include "logcapture.h"
#include "gltest.h"
#include "platform.h"
#include "tempdir.h"
#include "../unit/scripttest.h"

#include "keth/func/image.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::array<int, 4> RGBA;

void WriteTGA(const std::string& path, RGBA c)
{
    WriteBytes(path, SolidTGA(2, 2, uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(c[3])));
}

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

    // Makes device i of the show current with identity matrices and the whole window as viewport.
    COGLDevice* Begin(int i)
    {
        COGLDevice* device = m_System.m_Devices[i];
        device->MakeCurrent();
        TVector2<int> size = device->GetSize();
        glViewport(0, 0, size.x, size.y);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        m_System.m_Root->PrepareDevice(i);
        return device;
    }
    // One device pass of the frame loop.
    void Draw(int i)
    {
        Begin(i);
        m_System.Render();
    }
    void* Resource(const char* key)
    {
        CVariant value;
        EXPECT_TRUE(m_System.FindOutput(key, &value)) << key;
        return value.ToPointer();
    }
};

RGBA Pixel(int x, int y)
{
    unsigned char p[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2], p[3]};
}

// Thin lines may fall on either side of a pixel boundary: look in a small box.
bool FoundNear(int x, int y, RGBA color)
{
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (Pixel(x + dx, y + dy) == color)
                return true;
    return false;
}

int CountNotBlack(int width, int height)
{
    std::vector<unsigned char> pixels(size_t(width) * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    int count = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        count += pixels[i] || pixels[i + 1] || pixels[i + 2];
    return count;
}

// Fills the viewport with the texture on unit 0, or with the current program.
void DrawFullScreenQuad()
{
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
}

const std::string BLACK_BACKGROUND = "palette {\n black (0 0 0 1)\n}\nclear {\n color black\n prio 1\n}\n";
const RGBA RED = {255, 0, 0, 255}, GREEN = {0, 255, 0, 255}, BLUE = {0, 0, 255, 255};
} // namespace

TEST(NullObjGL, DrawsTheAxesOfItsSourceInRedGreenAndBlue)
{
    // A turn of 2 radians points the x axis left and back, the z axis right and back.
    CGLShow show(BLACK_BACKGROUND + "rotate {\n name r\n timeoffset 2\n}\n"
                                    "nullobj {\n transform \"r.transform\"\n}\n",
                 {0});
    show.m_System.UpdateAt(0);
    show.Draw(0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // Identity projection: x = (1 + X) * 300, y = (1 + Y) * 280.
    EXPECT_TRUE(FoundNear(240, 280, RED));
    EXPECT_TRUE(FoundNear(450, 280, BLUE));
    EXPECT_TRUE(FoundNear(300, 420, GREEN));
    EXPECT_FALSE(FoundNear(360, 280, RED)); // no red on the right
}

TEST(NullObjGL, AMissingSourceDrawsNothingAndAValueOfAnotherKindDrawsUnitAxes)
{
    {
        CGLShow show(BLACK_BACKGROUND + "nullobj {\n transform \"none.transform\"\n}\n", {0});
        show.m_System.UpdateAt(0);
        show.Draw(0);
        EXPECT_EQ(CountNotBlack(600, 560), 0);
    }
    CGLShow show(BLACK_BACKGROUND + "rotate {\n name r\n}\nnullobj {\n transform \"r.localtime\"\n}\n", {0});
    show.m_System.UpdateAt(0);
    show.Draw(0);
    EXPECT_TRUE(FoundNear(450, 280, RED));
    EXPECT_TRUE(FoundNear(300, 420, GREEN));
    EXPECT_GT(CountNotBlack(600, 560), 0);
}

TEST(TextureGL, EachDeviceBindsTheTexturePublishedForIt)
{
    CDataDirectory directory;
    WriteTGA("data/tex.tga", {200, 40, 90, 255});
    CGLShow show("texture {\n name tex\n texturefile \"data/tex.tga\"\n}\n", {0, 1});
    std::vector<void*> seen;
    for (int i = 0; i < 2; ++i)
    {
        COGLDevice* device = show.Begin(i);
        auto* texture = static_cast<CTexture*>(show.Resource("tex"));
        ASSERT_NE(texture, nullptr);
        seen.push_back(texture);
        EXPECT_EQ(texture->m_Target, GLenum(GL_TEXTURE_2D));
        EXPECT_EQ(texture->m_Width, 2);
        device->ResetState();
        device->BindTexture(0, texture);
        DrawFullScreenQuad();
        EXPECT_EQ(Pixel(300, 280), (RGBA{200, 40, 90, 255})) << "device " << i;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    EXPECT_NE(seen[0], seen[1]);
}

TEST(TextureGL, BrelTextureSamplesNearestKeepsItsImageAndServesEveryDevice)
{
    CDataDirectory directory;
    WriteTGA("data/brel.tga", {10, 220, 30, 255});
    CGLShow show("breltexture {\n name b\n texturefile \"data/brel.tga\"\n}\n", {0, 1});
    std::vector<void*> seen;
    for (int i = 0; i < 2; ++i)
    {
        COGLDevice* device = show.Begin(i);
        auto* texture = static_cast<CTexture*>(show.Resource("b"));
        ASSERT_NE(texture, nullptr);
        seen.push_back(texture);
        EXPECT_EQ(texture->m_MinFilter, GLenum(GL_NEAREST));
        auto* image = static_cast<CImage*>(show.Resource("b.image"));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image, &static_cast<CEffect_BrelTexture*>(show.Effect("b"))->m_Image);
        ASSERT_NE(image->m_Data, nullptr);
        device->ResetState();
        device->BindTexture(0, texture);
        GLint filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
        EXPECT_EQ(filter, GL_NEAREST);
        DrawFullScreenQuad();
        EXPECT_EQ(Pixel(10, 10), (RGBA{10, 220, 30, 255})) << "device " << i;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    EXPECT_NE(seen[0], seen[1]);
}

TEST(TextureGL, CubeMapFacesComeFromTheDataDirectoryOnEveryDevice)
{
    CDataDirectory directory;
    const char* names[6] = {"px.tga", "nx.tga", "py.tga", "ny.tga", "pz.tga", "nz.tga"};
    for (int i = 0; i < 6; ++i)
        WriteTGA(std::string("data/") + names[i], {40 * i, 255 - 40 * i, 7, 255});
    CGLShow show(
        "cubemap {\n name c\n posx \"px.tga\"\n negx \"nx.tga\"\n posy \"py.tga\"\n negy \"ny.tga\"\n"
        " posz \"pz.tga\"\n negz \"nz.tga\"\n}\n",
        {0, 1});
    std::vector<void*> seen;
    for (int d = 0; d < 2; ++d)
    {
        COGLDevice* device = show.Begin(d);
        auto* cube = static_cast<CTexture*>(show.Resource("c"));
        ASSERT_NE(cube, nullptr);
        seen.push_back(cube);
        EXPECT_EQ(cube->m_Target, GLenum(GL_TEXTURE_CUBE_MAP));
        device->BindTexture(0, cube);
        for (int i = 0; i < 6; ++i)
        {
            unsigned char pixels[2 * 2 * 4];
            glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
            EXPECT_EQ((RGBA{pixels[0], pixels[1], pixels[2], pixels[3]}),
                      (RGBA{40 * i, 255 - 40 * i, 7, 255}))
                << names[i] << " on device " << d;
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    EXPECT_NE(seen[0], seen[1]);
}

TEST(ShaderGL, AProgramWithPrologueVertexAndFragmentSectionsCompilesAndDraws)
{
    CDataDirectory directory;
    std::ofstream("data/good.shader") << "#version 110\n"
                                         "#vertexshader\n"
                                         "void main()\n"
                                         "{ gl_Position = ftransform(); }\n"
                                         "#fragmentshader\n"
                                         "void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n";
    CLogCapture log;
    CGLShow show("shader {\n name s\n shaderfile \"good.shader\"\n}\n", {0});
    EXPECT_TRUE(log.Contains("[OPENGL] Compiling shader 'data/good.shader'... ok\n")) << log.Text();
    COGLDevice* device = show.Begin(0);
    auto* program = static_cast<SShaderProgram*>(show.Resource("s"));
    ASSERT_NE(program, nullptr);
    GLint linked = 0;
    glGetObjectParameterivARB(GLhandleARB(program->m_Program), GL_OBJECT_LINK_STATUS_ARB, &linked);
    EXPECT_EQ(linked, 1);
    device->ResetState();
    glUseProgramObjectARB(GLhandleARB(program->m_Program));
    DrawFullScreenQuad();
    EXPECT_EQ(Pixel(300, 280), BLUE);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ShaderGL, ABrokenProgramLogsItsInfoLogAndIsStillPublished)
{
    CDataDirectory directory;
    std::ofstream("data/bad.shader") << "#vertexshader\n"
                                        "void main() { gl_Position = ftransform(); }\n"
                                        "#fragmentshader\n"
                                        "void main() { gl_FragColor = undeclared_colour; }\n";
    CLogCapture log;
    CGLShow show("shader {\n name s\n shaderfile \"bad.shader\"\n}\n", {0});
    EXPECT_TRUE(log.Contains("\ndata/bad.shader:\n")) << log.Text();
    EXPECT_TRUE(log.Contains("undeclared_colour")) << log.Text();
    EXPECT_FALSE(log.Contains("ok\n")) << log.Text();
    show.Begin(0);
    EXPECT_NE(show.Resource("s"), nullptr);
}

TEST(GeneratedCubeMapGL, ChildrenFillEveryFaceAndTheDeviceStateIsRestored)
{
    CGLShow show("palette {\n sea (0.2 0.4 0.6 1)\n}\n"
                 "rotate {\n name r\n position (1 2 3)\n}\n"
                 "generatedcubemap {\n name gen\n nearplane 0.5\n farplane 50\n transform \"r.transform\"\n"
                 " prio 200\n clear {\n color sea\n }\n}\n",
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
        const SMatrix projection = SMatrix::Frustum(0.01f, 100, 0.02f, -0.02f, 0.015f, -0.015f);
        const SMatrix view = SMatrix::RotY(0.3f) * SMatrix::Translation(1, -2, 3);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection.m);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(view.m);
        glViewport(3, 4, 100, 90);
        GLint depths[2], depthsAfter[2], viewport[4], mode = 0;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depths[0]);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depths[1]);

        gen->Render(gen->m_LocalTime, gen->m_Amount);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(std::vector<int>(viewport, viewport + 4), (std::vector<int>{3, 4, 100, 90}));
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depthsAfter[0]);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthsAfter[1]);
        EXPECT_EQ(depthsAfter[0], depths[0]);
        EXPECT_EQ(depthsAfter[1], depths[1]);
        float p[16], m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, p);
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        for (int k = 0; k < 16; ++k)
        {
            EXPECT_FLOAT_EQ(p[k], projection[k]) << k;
            EXPECT_FLOAT_EQ(m[k], view[k]) << k;
        }

        auto* cube = static_cast<CTexture*>(show.Resource("gen"));
        ASSERT_NE(cube, nullptr);
        seen.push_back(cube);
        device->BindTexture(0, cube);
        // Faces are as large as the frame buffer allows, 512 at most.
        const int size = i == 2 ? 200 : 512;
        for (int face = 0; face < 6; ++face)
        {
            const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
            GLint width = 0, height = 0;
            glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &width);
            glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &height);
            ASSERT_EQ(width, size) << "face " << face;
            ASSERT_EQ(height, size) << "face " << face;
            std::vector<unsigned char> pixels(size_t(size) * size * 4);
            glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            int wrong = 0;
            for (size_t k = 0; k < pixels.size(); k += 4)
                wrong += std::abs(pixels[k] - 51) > 1 || std::abs(pixels[k + 1] - 102) > 1 ||
                         std::abs(pixels[k + 2] - 153) > 1 || pixels[k + 3] != 255;
            EXPECT_EQ(wrong, 0) << "face " << face;
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    EXPECT_NE(seen[0], seen[1]);
    EXPECT_NE(seen[1], seen[2]);
}
