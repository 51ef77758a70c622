// Texture and cube-map creation from every pixel layout, and texture binding per unit.
#include "gltest.h"
#include "logcapture.h"
#include "tempdir.h"

#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <cstring>
#include <memory>

using namespace NKeth;
using CFormat = CImage::CFormat;

namespace
{
const char* const WARNING = "Performance Warning: Convertion during texture creation\n";

// An image of the layout with every pixel holding the given bytes.
void Fill(CImage& image, const CFormat& format, std::vector<uint8_t> pixel)
{
    ASSERT_TRUE(image.Create(format));
    for (int i = 0; i + int(pixel.size()) <= format.m_Size; i += int(pixel.size()))
        memcpy(image.m_Data + i, pixel.data(), pixel.size());
}

struct SLayoutCase
{
    const char* m_Name;
    CFormat m_Format;
    std::vector<uint8_t> m_Pixel;
    std::vector<uint8_t> m_Texel; // RGBA as read back
    bool m_Converted;
};
} // namespace

TEST(Texture, EveryLayoutUploadsWithMipmapsAndWarnsOnlyWhenConverted)
{
    REQUIRE_DEVICE();
    const bool bgra = GLEW_EXT_bgra;
    CFormat bgr(CFormat::MODEL_RGB, 0x08080800, 0x020100FF),
        bgra8(CFormat::MODEL_RGB, 0x08080808, 0x02010003);
    bgr.SetSize(8, 8);
    bgra8.SetSize(8, 8);
    const CFormat dxt1(CFormat::PRESET_DXT1, 4, 4);
    // Luminance reads back in the red channel; Y 128 without chroma is mid grey. The DXT1 block has
    // colour 0 pure red, colour 1 pure blue, every index 0: the decoder expands by shifting, alpha 0.
    std::vector<SLayoutCase> cases = {
        {"RGB8", CFormat(CFormat::PRESET_RGB8, 8, 8), {30, 20, 10}, {30, 20, 10, 255}, false},
        {"RGBA8", CFormat(CFormat::PRESET_RGBA8, 8, 8), {30, 20, 10, 40}, {30, 20, 10, 40}, false},
        {"BGR8", bgr, {10, 20, 30}, {30, 20, 10, 255}, !bgra},
        {"BGRA8", bgra8, {10, 20, 30, 40}, {30, 20, 10, 40}, !bgra},
        {"L8", CFormat(CFormat::PRESET_L8, 8, 8), {77}, {77, 0, 0, 255}, false},
        {"LA8", CFormat(CFormat::PRESET_LA8, 8, 8), {77, 99}, {77, 0, 0, 99}, false},
        {"YCbCr8", CFormat(CFormat::PRESET_YCBCR8, 8, 8), {128, 128, 128}, {128, 128, 128, 255}, true},
        {"DXT1", dxt1, {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0}, {248, 0, 0, 0}, true},
    };
    for (SLayoutCase& c : cases)
    {
        SCOPED_TRACE(c.m_Name);
        CImage image;
        Fill(image, c.m_Format, c.m_Pixel);
        CLogCapture log;
        CTexture* texture = device->CreateTexture(image);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(log.Contains(WARNING), c.m_Converted) << log.Text();
        EXPECT_FALSE(log.Contains("OpenGL:")) << log.Text();

        EXPECT_EQ(std::vector<int>({int(texture->m_Target), texture->m_Width, texture->m_Height}),
                  std::vector<int>({GL_TEXTURE_2D, c.m_Format.m_Width, c.m_Format.m_Height}));
        EXPECT_EQ(GLuint(Integer(GL_TEXTURE_BINDING_2D)), texture->m_Id);
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

        // Components: one for luminance, two with alpha, else colour.
        const bool luminance = c.m_Format.m_ColorModel == CFormat::MODEL_LUMINANCE && !c.m_Converted;
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_LUMINANCE_SIZE) > 0, luminance);
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE) > 0, !luminance);
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE) > 0,
                  c.m_Texel[3] != 255 || c.m_Converted);

        // The whole mipmap chain down to 1 x 1.
        const int last = c.m_Format.m_Width == 8 ? 3 : 2;
        EXPECT_EQ(LevelParameter(GL_TEXTURE_2D, last, GL_TEXTURE_WIDTH), 1);
        for (int level : {0, last})
        {
            const std::vector<uint8_t> texel = Texel(GL_TEXTURE_2D, level);
            for (int i = 0; i < 4; ++i)
                EXPECT_NEAR(texel[i], c.m_Texel[i], 3) << "level " << level << ", channel " << i;
        }
        delete texture;
    }
}

TEST(Texture, StreamAndFileFormsFailWithoutAnImage)
{
    REQUIRE_DEVICE();
    CLogCapture log;
    EXPECT_EQ(device->CreateTexture("/nonexistent/texture.tga"), nullptr);
    const char garbage[] = "not an image at all";
    CMemoryReader reader(garbage, sizeof garbage);
    EXPECT_EQ(device->CreateTexture(reader), nullptr);
    EXPECT_FALSE(log.Contains(WARNING));
}

namespace
{
class CCountingReader : public CFileReader
{
public:
    explicit CCountingReader(const std::string& name) : CFileReader(name.c_str()) {}
    int32_t Read(void* buffer, int32_t size) override
    {
        ++m_Reads;
        return CFileReader::Read(buffer, size);
    }
    int m_Reads = 0;
};

// Which of the six files were read while the cube map was refused.
std::vector<bool> ReadWhileRefused(COGLDevice* device, const std::vector<std::string>& names)
{
    std::vector<std::unique_ptr<CCountingReader>> r;
    for (const std::string& name : names)
        r.push_back(std::make_unique<CCountingReader>(name));
    EXPECT_EQ(device->CreateCubeMap(*r[0], *r[1], *r[2], *r[3], *r[4], *r[5]), nullptr);
    std::vector<bool> read;
    for (const auto& reader : r)
        read.push_back(reader->m_Reads > 0);
    return read;
}
} // namespace

// The face order of the file form is checked through the cube map effect.
TEST(CubeMapFiles, ThirdFaceFailingGivesNoneAndLaterFacesAreNeverRead)
{
    REQUIRE_DEVICE();
    CTempDir dir;
    const std::string good = dir / "good.tga", broken = dir / "broken.tga", missing = dir / "missing.tga";
    ASSERT_TRUE(WriteBytes(good, SolidTGA(2, 2, 255, 0, 0)));
    ASSERT_TRUE(WriteBytes(broken, std::string(18, '\x7f') + "garbage"));
    CLogCapture log;
    EXPECT_EQ(ReadWhileRefused(device, {good, good, broken, good, good, good}),
              (std::vector<bool>{true, true, true, false, false, false}));
    // The decoder's reason is followed by the name of the file it came from.
    EXPECT_TRUE(log.Contains("Image not loaded: " + broken + "\n")) << log.Text();
    // A stream that is not open refuses the cube map before anything is read.
    EXPECT_EQ(ReadWhileRefused(device, {good, good, good, missing, good, good}), std::vector<bool>(6, false));
}

TEST(CubeMap, FaceRejectedByGLEndsCreationBeforeLaterFaces)
{
    REQUIRE_DEVICE();
    CImage square, tall;
    Fill(square, CFormat(CFormat::PRESET_RGBA8, 4, 4), {1, 2, 3, 4});
    // Cube faces must be square: this one is refused even as RGBA8.
    Fill(tall, CFormat(CFormat::PRESET_RGBA8, 4, 8), {1, 2, 3, 4});
    CLogCapture log;
    CTexture* cube = device->CreateCubeMap(square, square, tall, square, square, square);
    EXPECT_EQ(cube, nullptr);
    EXPECT_TRUE(log.Contains("OpenGL: Couldn't handle the texture format. Reverting to RGBAi8\n"))
        << log.Text();
    EXPECT_TRUE(log.Contains("OpenGL: Well, that didn't work. Bailing\n")) << log.Text();
    // The name stays bound and holds the first two faces only.
    EXPECT_EQ(LevelParameter(GL_TEXTURE_CUBE_MAP_NEGATIVE_X, 0, GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(LevelParameter(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, 0, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(LevelParameter(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_TEXTURE_WIDTH), 0);
}

namespace
{
bool Enabled(int unit, GLenum target)
{
    glActiveTextureARB(GL_TEXTURE0_ARB + unit);
    return glIsEnabled(target);
}
} // namespace

TEST(BindTexture, OnlyTheBoundTargetIsEnabledOnItsUnit)
{
    REQUIRE_DEVICE();
    CImage image;
    Fill(image, CFormat(CFormat::PRESET_RGBA8, 4, 4), {9, 9, 9, 9});
    CTexture* flat = device->CreateTexture(image);
    CTexture* cube = device->CreateCubeMap(image, image, image, image, image, image);
    ASSERT_NE(flat, nullptr);
    ASSERT_NE(cube, nullptr);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP)) << "creating a cube map does not enable cube texturing";
    device->ResetState();
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_1D);

    device->BindTexture(2, flat);
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE2_ARB);
    EXPECT_EQ(GLuint(Integer(GL_TEXTURE_BINDING_2D)), flat->m_Id);
    device->BindTexture(2, cube);
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE2_ARB);
    EXPECT_EQ(GLuint(Integer(GL_TEXTURE_BINDING_CUBE_MAP)), cube->m_Id);
    EXPECT_FALSE(Enabled(2, GL_TEXTURE_1D));
    EXPECT_FALSE(Enabled(2, GL_TEXTURE_2D));
    EXPECT_TRUE(Enabled(2, GL_TEXTURE_CUBE_MAP));
    EXPECT_TRUE(Enabled(0, GL_TEXTURE_1D)) << "other units are left alone";

    device->BindTexture(2, nullptr);
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE2_ARB);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D) || glIsEnabled(GL_TEXTURE_2D) ||
                 glIsEnabled(GL_TEXTURE_CUBE_MAP));

    // The record's sampling state is applied at every bind.
    flat->m_MinFilter = GL_NEAREST;
    flat->m_MagFilter = GL_NEAREST;
    flat->m_WrapS = GL_CLAMP_TO_EDGE;
    device->BindTexture(1, flat);
    auto parameter = [](GLenum name)
    {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    };
    EXPECT_EQ((std::vector<GLint>{parameter(GL_TEXTURE_MIN_FILTER), parameter(GL_TEXTURE_MAG_FILTER),
                                  parameter(GL_TEXTURE_WRAP_S), parameter(GL_TEXTURE_WRAP_T)}),
              (std::vector<GLint>{GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_REPEAT}));
    EXPECT_TRUE(Enabled(1, GL_TEXTURE_2D));
    device->ResetState();
    delete flat;
    delete cube;
}
