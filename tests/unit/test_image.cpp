#include "keth/ext/loader/dds/dds.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "logcapture.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
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

std::string TGA(int type, int bits, const std::string& pixels)
{
    std::string header(18, '\0');
    header[2] = char(type);
    header[12] = header[14] = 1; // 1 x 1
    header[16] = char(bits);
    header[17] = 0x20;
    return header + pixels;
}

std::string DDS(const char* fourCC)
{
    std::string file = "DDS " + std::string(124, '\0');
    file[4 + 8] = file[4 + 12] = 4; // 4 x 4
    file.replace(4 + 80, 4, fourCC);
    return file + std::string(16, '\x55');
}
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

    CFormat dxt3(CFormat::PRESET_DXT3, 4, 4), untyped;
    EXPECT_EQ(ErrorOf([&] { dxt3.SetChannels(CFormat::MODEL_RGB, 0, 1, 2, 255); }),
              "CImage::CFormat::SetChannels: Wrong type.");
    EXPECT_EQ(ErrorOf([&] { untyped.SetChannelDepths(8, 8, 8, 0); }),
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
            const bool fromYcc = from.model == CFormat::MODEL_YCBCR, toYcc = to.model == CFormat::MODEL_YCBCR;
            const bool toGrey = to.model == CFormat::MODEL_LUMINANCE;
            if (from.model == CFormat::MODEL_LUMINANCE || &from == &to || (fromYcc && toGrey))
                continue;
            SCOPED_TRACE(std::string(from.name) + " -> " + to.name);
            const int n = 7 * 3;
            CImage source, out;
            ASSERT_TRUE(source.Create(Layout(from.model, from.depths, from.components, 7, 3)));
            for (int i = 0; i < source.m_Format.m_Size; ++i)
                source.m_Data[i] = uint8_t(rand());
            log.Clear();
            ASSERT_TRUE(source.Convert(Layout(to.model, to.depths, to.components, 0, 0), out));
            ASSERT_EQ(out.m_Format.m_Size, n * to.size);
            tablePairs += !log.Contains("Performace Warning");
            for (int p = 0; p < n; ++p)
            {
                const uint8_t *s = source.m_Data + p * from.size, *d = out.m_Data + p * to.size;
                const double a = s[from.c0], b = s[from.c1], c = s[from.c2];
                // Moves and averages are exact; between the models within two levels.
                double e[3] = {a, b, c};
                if (toGrey)
                    e[0] = e[1] = e[2] = int(s[from.c0] + s[from.c1] + s[from.c2]) / 3;
                else if (fromYcc && !toYcc)
                {
                    e[0] = a + 1.402 * (c - 128);
                    e[1] = a - 0.344136 * (b - 128) - 0.714136 * (c - 128);
                    e[2] = a + 1.772 * (b - 128);
                    for (double& v : e)
                        v = v < 0 ? 0.0 : (v > 255 ? 255.0 : v);
                }
                else if (toYcc && !fromYcc)
                {
                    e[0] = 0.299 * a + 0.587 * b + 0.114 * c;
                    e[1] = -0.168736 * a - 0.331264 * b + 0.5 * c + 128;
                    e[2] = 0.5 * a - 0.418688 * b - 0.081312 * c + 128;
                }
                const double tolerance = (fromYcc != toYcc ? 2 : 0) + 0.5;
                // Saturated YCbCr from RGB wraps instead of clamping; only in-range values count.
                if (!(toYcc && (e[1] > 255 || e[2] > 255)))
                {
                    EXPECT_TRUE(std::abs(d[to.c0] - e[0]) <= tolerance &&
                                std::abs(d[to.c1] - e[1]) <= tolerance &&
                                std::abs(d[to.c2] - e[2]) <= tolerance)
                        << "pixel " << p << ": " << int(d[to.c0]) << " " << int(d[to.c1]) << " "
                        << int(d[to.c2]) << " expected " << e[0] << " " << e[1] << " " << e[2];
                }
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
    CImage dxt3;
    ASSERT_TRUE(dxt3.Create(CFormat(CFormat::PRESET_DXT3, 4, 4)));
    EXPECT_EQ(ErrorOf([&] { dxt3.Convert(CFormat(CFormat::PRESET_RGBA8, 0, 0), out); }),
              "CImage::Convert: Type convertion isn't implementeded");
}

// The table converter for the decoder's YCbCr layouts against the arithmetic path, which the
// layout with alpha still takes: every possible pixel into every target layout.

TEST(YCbCrTables, GiveTheArithmeticPixelsForEveryValue)
{
    // One 256 x 256 slice of (Cb, Cr) per luminance, into the four RGB layouts.
    CImage slice, ycca;
    ASSERT_TRUE(slice.Create(CFormat(CFormat::PRESET_YCBCR8, 256, 256)));
    for (int y = 0; y < 256; ++y)
    {
        for (int i = 0; i < 65536; ++i)
        {
            slice.m_Data[3 * i] = (unsigned char)y;
            slice.m_Data[3 * i + 1] = (unsigned char)i;
            slice.m_Data[3 * i + 2] = (unsigned char)(i >> 8);
        }
        ASSERT_TRUE(slice.Convert(CFormat(CFormat::MODEL_YCBCR, 0x08080808, 0x00010203), ycca));
        for (const SLayout& to : {LAYOUTS[0], LAYOUTS[1], LAYOUTS[2], LAYOUTS[3]})
        {
            CImage byTables, byArithmetic;
            ASSERT_TRUE(slice.Convert(Layout(to.model, to.depths, to.components, 0, 0), byTables));
            ASSERT_TRUE(ycca.Convert(Layout(to.model, to.depths, to.components, 0, 0), byArithmetic));
            ASSERT_EQ(byTables.m_Format.m_Size, byArithmetic.m_Format.m_Size);
            ASSERT_EQ(0, memcmp(byTables.m_Data, byArithmetic.m_Data, size_t(byTables.m_Format.m_Size)))
                << "Y " << y << " into " << to.name;
        }
    }
}

// Loading an image with its reason: every decoder's refusal arrives the same way.

TEST(TryLoadImage, GivesEachDecodersReason)
{
    struct SCase
    {
        const char* m_Name;
        std::string m_Bytes;
        bool m_Loaded;
        const char* m_Reason;
    } cases[] = {
        {"a.tga", TGA(2, 24, "abc"), true, ""},
        {"a.tga", TGA(1, 8, "a"), false, "tgaloader: image type 1 is not supported"},
        {"a.dds", DDS("DXT5"), true, ""},
        {"a.dds", DDS("DXT1"), false, "ddsloader: only DXT3 and DXT5 images are supported"},
        {"a.jpg", "\xFF\xD9", false, "Err: not a jpeg"},
        {"a.png", "not a png", false, ""},
        {"a.unknown", TGA(2, 24, "abc"), false, ""},
        {"A.TGA", TGA(2, 24, "abc"), false, ""}, // types are named in lower case
    };
    for (const SCase& c : cases)
    {
        CMemoryReader in(c.m_Bytes.data(), int32_t(c.m_Bytes.size()));
        in.m_MimeType = GetMimeTypeFromFileName(c.m_Name);
        CImage image;
        CString reason("stale");
        EXPECT_EQ(TryLoadImage(in, image, reason), c.m_Loaded) << c.m_Name << " " << c.m_Reason;
        EXPECT_STREQ(reason.GetText(), c.m_Reason) << c.m_Name;
        EXPECT_EQ(image.m_Data != nullptr, c.m_Loaded) << c.m_Name << " " << c.m_Reason;
    }

    // A format given by the caller is used whatever the stream's name says.
    const std::string dds = DDS("DXT3");
    CMemoryReader in(dds.data(), int32_t(dds.size()));
    in.m_MimeType = GetMimeTypeFromFileName("a.dds.bak");
    CDDSFormat format;
    CImage image;
    CString reason;
    EXPECT_TRUE(TryLoadImage(in, image, reason, &format));
    EXPECT_EQ(image.m_Format.m_Size, 16);
}

TEST(LoadImageOrLog, LogsTheReasonOnceAndNamesTheFile)
{
    CTempDir dir;
    const std::string jpeg = dir / "bad.jpg", png = dir / "bad.png";
    std::ofstream(jpeg, std::ios::binary) << "\xFF\xD9";
    std::ofstream(png, std::ios::binary) << "not a png";

    CLogCapture log;
    CImage image;
    CFileReader jpegIn(jpeg.c_str());
    EXPECT_FALSE(LoadImageOrLog(jpegIn, image));
    EXPECT_EQ(log.Text(), "Err: not a jpeg\nImage not loaded: " + jpeg + "\n");

    // A decoder with nothing to say leaves only the file's line.
    log.Clear();
    CFileReader pngIn(png.c_str());
    EXPECT_FALSE(LoadImageOrLog(pngIn, image));
    EXPECT_EQ(log.Text(), "Image not loaded: " + png + "\n");
}
