#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "logcapture.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace NKeth;
typedef CImage::CFormat CFormat;

namespace
{
CFormat Layout(CFormat::EColorModel model, uint32_t depths, uint32_t components, int width, int height)
{
    CFormat format(model, depths, components);
    format.SetSize(width, height);
    return format;
}

void Fill(CImage& image, const std::vector<uint8_t>& bytes)
{
    ASSERT_EQ(size_t(image.m_Format.m_Size), bytes.size());
    memcpy(image.m_Data, bytes.data(), bytes.size());
}

std::vector<uint8_t> Bytes(const CImage& image)
{
    return std::vector<uint8_t>(image.m_Data, image.m_Data + image.m_Format.m_Size);
}

// The eight 8-bit layouts of the table, with where R, G, B (or Y, Cb, Cr, or L) and A sit.
struct SLayout
{
    const char* name;
    CFormat::EColorModel model;
    uint32_t depths, components;
    int size, c0, c1, c2, alpha;
};
const SLayout LAYOUTS[] = {
    {"RGB8", CFormat::MODEL_RGB, 0x08080800, 0x000102FF, 3, 0, 1, 2, -1},
    {"BGR8", CFormat::MODEL_RGB, 0x08080800, 0x020100FF, 3, 2, 1, 0, -1},
    {"RGBA8", CFormat::MODEL_RGB, 0x08080808, 0x00010203, 4, 0, 1, 2, 3},
    {"BGRA8", CFormat::MODEL_RGB, 0x08080808, 0x02010003, 4, 2, 1, 0, 3},
    {"YCbCr8", CFormat::MODEL_YCBCR, 0x08080800, 0x000102FF, 3, 0, 1, 2, -1},
    {"YCbCrA8", CFormat::MODEL_YCBCR, 0x08080808, 0x00010203, 4, 0, 1, 2, 3},
    {"L8", CFormat::MODEL_LUMINANCE, 0x08000000, 0x00FFFFFF, 1, 0, 0, 0, -1},
    {"LA8", CFormat::MODEL_LUMINANCE, 0x08080000, 0x0003FFFF, 2, 0, 0, 0, 1},
};
} // namespace

TEST(ImageFormat, DerivedSizes)
{
    // Block formats store whole blocks, partial ones at the edges included.
    const struct
    {
        CFormat::EPreset m_Preset;
        int m_Width, m_Height, m_Pitch, m_Size;
    } cases[] = {
        {CFormat::PRESET_RGB8, 3, 2, 9, 18},          {CFormat::PRESET_L8, 5, 3, 5, 15},
        {CFormat::PRESET_DXT1, 6, 6, -1, 32},         {CFormat::PRESET_DXT1, 8, 4, -1, 16},
        {CFormat::PRESET_DXT3, 1, 1, -1, 16},         {CFormat::PRESET_DXT5, 378, 378, -1, 95 * 95 * 16},
        {CFormat::PRESET_RGBA8, 65535, 65535, -1, -1}}; // too large for 32 bits: invalid
    for (const auto& c : cases)
    {
        CFormat format(c.m_Preset, c.m_Width, c.m_Height);
        EXPECT_EQ(format.m_Size, c.m_Size) << c.m_Width << " x " << c.m_Height;
        if (c.m_Pitch >= 0)
        {
            EXPECT_EQ(format.m_Pitch, c.m_Pitch);
        }
    }
    CImage image;
    CLogCapture log;
    EXPECT_FALSE(image.Create(CFormat(CFormat::PRESET_RGBA8, 65535, 65535)));
    EXPECT_EQ(image.m_Data, nullptr);
    EXPECT_TRUE(log.Contains("refused"));
}

TEST(ImageFormat, ChannelsAndDepths)
{
    CFormat format;
    format.SetType(CFormat::TYPE_CHANNELS);
    format.SetSize(4, 1);
    format.SetChannelDepths(5, 6, 5, 0);
    EXPECT_EQ(format.m_ChannelCount, 3);
    EXPECT_EQ(format.m_BitsPerPixel, 16);
    EXPECT_EQ(format.m_Pitch, 8);
    format.SetChannels(CFormat::MODEL_RGB, 2, 1, 255, 255);
    EXPECT_EQ(format.m_ChannelCount, 2);
    // Channels beyond the count are cleared.
    EXPECT_EQ(format.GetDepths(), 0x05060000u);
    EXPECT_EQ(format.GetComponents(), 0x0201FFFFu);
    EXPECT_EQ(format.m_BitsPerPixel, 11);
    EXPECT_EQ(format.m_Pitch, 6);

    EXPECT_EQ(ErrorOf(
                  []
                  {
                      CFormat f(CFormat::PRESET_DXT3, 4, 4);
                      f.SetChannels(CFormat::MODEL_RGB, 0, 1, 2, 255);
                  }),
              "CImage::CFormat::SetChannels: Wrong type.");
    EXPECT_EQ(ErrorOf(
                  []
                  {
                      CFormat f;
                      f.SetChannelDepths(8, 8, 8, 0);
                  }),
              "CImage::CFormat::SetChannelDepths: Wrong type.");
}

TEST(ImageFormat, Equality)
{
    CFormat rgb(CFormat::PRESET_RGB8, 3, 2);
    EXPECT_EQ(rgb, CFormat(CFormat::PRESET_RGB8, 100, 7)); // sizes do not count
    EXPECT_NE(rgb, Layout(CFormat::MODEL_RGB, 0x08080800, 0x020100FF, 3, 2));
    EXPECT_NE(rgb, CFormat(CFormat::PRESET_YCBCR8, 3, 2));
    EXPECT_NE(rgb, CFormat(CFormat::PRESET_RGBA8, 3, 2));
    CFormat dxt(CFormat::PRESET_DXT1, 4, 4);
    EXPECT_NE(dxt, dxt);
}

TEST(Image, CreateCopyAndFlip)
{
    CImage image;
    EXPECT_EQ(image.m_Data, nullptr);
    ASSERT_TRUE(image.Create(CFormat(CFormat::PRESET_RGB8, 2, 3)));
    Fill(image, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
    unsigned char* data = image.m_Data;

    // Same byte size: the block and its pixels stay, only the layout changes.
    ASSERT_TRUE(image.Create(CFormat(CFormat::PRESET_L8, 6, 3)));
    EXPECT_EQ(image.m_Data, data);
    EXPECT_EQ(image.m_Data[17], 18);
    EXPECT_EQ(image.m_Format.m_ColorModel, CFormat::MODEL_LUMINANCE);

    // An odd height keeps its middle row.
    image.FlipVertical();
    EXPECT_EQ(Bytes(image),
              std::vector<uint8_t>({13, 14, 15, 16, 17, 18, 7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

    CImage copy;
    ASSERT_TRUE(copy.CopyFrom(image));
    EXPECT_NE(copy.m_Data, image.m_Data);
    EXPECT_EQ(Bytes(copy), Bytes(image));
    EXPECT_EQ(copy.m_Format, image.m_Format);

    // A new size gets new, zeroed data.
    ASSERT_TRUE(image.Create(CFormat(CFormat::PRESET_RGBA8, 2, 2)));
    EXPECT_EQ(Bytes(image), std::vector<uint8_t>(16, 0));
}

// Every table entry agrees with the colour model it claims, on random pixels: channel moves and
// averages exactly, YCbCr within two levels of the floating-point definition.
TEST(ImageConvert, TableAgreesWithColourModels)
{
    srand(7);
    CLogCapture log;
    int tablePairs = 0;
    for (const SLayout& from : LAYOUTS)
        for (const SLayout& to : LAYOUTS)
        {
            if (from.model == CFormat::MODEL_LUMINANCE || &from == &to ||
                (from.model == CFormat::MODEL_YCBCR && to.model == CFormat::MODEL_LUMINANCE))
                continue;
            SCOPED_TRACE(std::string(from.name) + " -> " + to.name);
            const int width = 7, height = 3, n = width * height;
            CImage source, out;
            ASSERT_TRUE(source.Create(Layout(from.model, from.depths, from.components, width, height)));
            for (int i = 0; i < source.m_Format.m_Size; ++i)
                source.m_Data[i] = uint8_t(rand());
            log.Clear();
            ASSERT_TRUE(source.Convert(Layout(to.model, to.depths, to.components, 0, 0), out));
            ASSERT_EQ(out.m_Format.m_Size, n * to.size);
            tablePairs += !log.Contains("Performace Warning");
            for (int p = 0; p < n; ++p)
            {
                const uint8_t* s = source.m_Data + p * from.size;
                const uint8_t* d = out.m_Data + p * to.size;
                double r = s[from.c0], g = s[from.c1], b = s[from.c2];
                if (from.model == CFormat::MODEL_YCBCR)
                {
                    double y = r, cb = g - 128, cr = b - 128;
                    r = y + 1.402 * cr;
                    g = y - 0.344136 * cb - 0.714136 * cr;
                    b = y + 1.772 * cb;
                }
                double e0 = r, e1 = g, e2 = b;
                int tolerance = from.model == to.model ? 0 : 2;
                if (to.model == CFormat::MODEL_YCBCR)
                {
                    if (from.model != CFormat::MODEL_YCBCR)
                    {
                        e0 = 0.299 * r + 0.587 * g + 0.114 * b;
                        e1 = -0.168736 * r - 0.331264 * g + 0.5 * b + 128;
                        e2 = 0.5 * r - 0.418688 * g - 0.081312 * b + 128;
                    }
                    else
                        e0 = s[from.c0], e1 = s[from.c1], e2 = s[from.c2];
                }
                else if (to.model == CFormat::MODEL_LUMINANCE)
                {
                    e0 = e1 = e2 = int(s[from.c0] + s[from.c1] + s[from.c2]) / 3;
                    tolerance = 0;
                }
                auto clamp = [](double v) { return v < 0 ? 0.0 : (v > 255 ? 255.0 : v); };
                if (from.model == CFormat::MODEL_YCBCR && to.model == CFormat::MODEL_RGB)
                    e0 = clamp(e0), e1 = clamp(e1), e2 = clamp(e2);
                bool colourOk = std::abs(d[to.c0] - e0) <= tolerance + 0.5 &&
                                std::abs(d[to.c1] - e1) <= tolerance + 0.5 &&
                                std::abs(d[to.c2] - e2) <= tolerance + 0.5;
                // Saturated YCbCr from RGB wraps instead of clamping; only check in-range values.
                if (to.model == CFormat::MODEL_YCBCR && (e1 > 255 || e2 > 255))
                    colourOk = true;
                EXPECT_TRUE(colourOk) << "pixel " << p << ": " << int(d[to.c0]) << " " << int(d[to.c1]) << " "
                                      << int(d[to.c2]) << " expected " << e0 << " " << e1 << " " << e2;
                if (to.alpha >= 0)
                {
                    EXPECT_EQ(d[to.alpha], from.alpha >= 0 ? s[from.alpha] : 255);
                }
            }
        }
    EXPECT_EQ(tablePairs, 38); // the 39th entry is BGRA8 to itself
}

// Conversions without a table entry take the generic path; they keep grey exact, expand and
// pack odd bit widths (rows start on whole bytes), and keep or add alpha.
TEST(ImageConvert, GenericPath)
{
    const CFormat ycc8(CFormat::PRESET_YCBCR8, 0, 0), l8(CFormat::PRESET_L8, 0, 0),
        la8(CFormat::PRESET_LA8, 0, 0), rgb8(CFormat::PRESET_RGB8, 0, 0), rgba8(CFormat::PRESET_RGBA8, 0, 0);
    const CFormat rgb16 = Layout(CFormat::MODEL_RGB, 0x10101000, 0x000102FF, 0, 0);
    const CFormat rgb565 = Layout(CFormat::MODEL_RGB, 0x05060500, 0x000102FF, 0, 0);
    const CFormat grey4 = Layout(CFormat::MODEL_LUMINANCE, 0x04000000, 0x00FFFFFF, 0, 0);
    const struct
    {
        CFormat m_From;
        int m_Width, m_Height;
        std::vector<uint8_t> m_In;
        CFormat m_To;
        std::vector<uint8_t> m_Out;
    } cases[] = {
        {ycc8, 1, 1, {128, 128, 128}, l8, {128}},
        {ycc8, 1, 1, {128, 128, 128}, rgb16, {128, 128, 128, 128, 128, 128}},
        {l8, 2, 1, {7, 200}, rgba8, {7, 7, 7, 255, 200, 200, 200, 255}},
        {la8, 1, 1, {90, 33}, rgba8, {90, 90, 90, 33}},
        // Same colour model, different channel count: converted, not left empty.
        {l8, 2, 1, {7, 200}, la8, {7, 255, 200, 255}},
        // Identical layouts are copied.
        {rgba8, 1, 1, {1, 2, 3, 4}, rgba8, {1, 2, 3, 4}},
        // 5-6-5 pixels, packed least significant bit first: (31, 0, 31) and (0, 63, 16).
        {rgb565, 2, 1, {0x1F, 0xF8, 0xE0, 0x87}, rgb8, {255, 0, 255, 0, 255, 131}},
        {grey4, 3, 2, {0x21, 0x03, 0x54, 0x06}, l8, {17, 34, 51, 68, 85, 102}},
        {l8, 3, 2, {17, 34, 51, 68, 85, 102}, grey4, {0x21, 0x03, 0x54, 0x06}},
    };
    CLogCapture log;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(&c - cases);
        CImage source, out;
        CFormat from = c.m_From;
        from.SetSize(c.m_Width, c.m_Height);
        ASSERT_TRUE(source.Create(from));
        Fill(source, c.m_In);
        ASSERT_TRUE(source.Convert(c.m_To, out));
        EXPECT_EQ(Bytes(out), c.m_Out);
    }
    EXPECT_TRUE(
        log.Contains("Performace Warning: CImage::Convert used generic rutine for convertion. Lost "));
}

TEST(ImageConvert, DXT1)
{
    // 6 x 6: four blocks, the edge ones clipped. Alpha is 0, and there are four colours even
    // when c0 <= c1: index 3 is two thirds of the way, not transparent black.
    CImage dxt, out;
    ASSERT_TRUE(dxt.Create(CFormat(CFormat::PRESET_DXT1, 6, 6)));
    Fill(dxt, {0xFF, 0xFF, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
               0x1F, 0x00, 0,    0,    0,    0,    0,    0,    0xFF, 0xFF, 0,    0,    0,    0,    0,    0});
    ASSERT_TRUE(dxt.Convert(CFormat(CFormat::PRESET_RGBA8, 0, 0), out));
    ASSERT_EQ(out.m_Format.m_Size, 6 * 6 * 4);
    const struct
    {
        int m_X, m_Y;
        std::vector<uint8_t> m_Pixel;
    } pixels[] = {{0, 0, {166, 168, 166, 0}}, {3, 3, {166, 168, 166, 0}}, {4, 0, {165, 168, 165, 0}},
                  {5, 3, {165, 168, 165, 0}}, {0, 5, {0, 0, 248, 0}},     {5, 5, {248, 252, 248, 0}}};
    for (const auto& p : pixels)
    {
        const uint8_t* at = out.m_Data + 4 * (6 * p.m_Y + p.m_X);
        EXPECT_EQ(std::vector<uint8_t>(at, at + 4), p.m_Pixel) << p.m_X << " " << p.m_Y;
    }
    EXPECT_EQ(ErrorOf(
                  []
                  {
                      CImage dxt3, target;
                      dxt3.Create(CFormat(CFormat::PRESET_DXT3, 4, 4));
                      dxt3.Convert(CFormat(CFormat::PRESET_RGBA8, 0, 0), target);
                  }),
              "CImage::Convert: Type convertion isn't implementeded");
}
