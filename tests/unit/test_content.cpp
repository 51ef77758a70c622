// The content writers of the tools, read back by the system's own readers.
#include "content.h"
#include "keth/ext/loader/dds/dds.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "tempdir.h"
#include "testsupport.h"

#include "testplatform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace NKeth;
using namespace NContent;

namespace
{
SPixels Pattern(int size)
{
    SPixels pixels(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            // Flat runs on the left half, a ramp on the right.
            const bool flat = x < size / 2;
            const uint8_t texel[4] = {uint8_t(flat ? 200 : x * 7), uint8_t(y * 11),
                                      uint8_t(flat ? 40 : 255 - x * 5), uint8_t(y < size / 2 ? 255 : 60)};
            memcpy(pixels.At(x, y), texel, 4);
        }
    return pixels;
}

// Decodes a file through the image format registry into RGBA8 rows from the top.
bool Decode(const std::string& path, CImage& rgba)
{
    CFileReader in(path.c_str());
    CImage image;
    if (!in.IsOpen() || !image.Load(in))
        return false;
    // Decompressed pixels come in the byte order of the TGA writer: B, G, R, A.
    if (image.m_Format.m_Type == CImage::CFormat::TYPE_COMPRESSED)
    {
        if (!CDDSFormat::Decompress(image, rgba))
            return false;
        for (int i = 0; i + 3 < rgba.m_Format.m_Size; i += 4)
            std::swap(rgba.m_Data[i], rgba.m_Data[i + 2]);
        return true;
    }
    return image.Convert(CImage::CFormat(CImage::CFormat::PRESET_RGBA8, 0, 0), rgba);
}

// The largest difference of a channel between the decoded image and the source.
int MaxError(const CImage& image, const SPixels& pixels, int channels)
{
    int worst = 0;
    for (int y = 0; y < pixels.m_Height; ++y)
        for (int x = 0; x < pixels.m_Width; ++x)
            for (int c = 0; c < channels; ++c)
            {
                const int decoded =
                    image.m_Data[(size_t(y) * size_t(pixels.m_Width) + size_t(x)) * 4 + size_t(c)];
                worst = std::max(worst, std::abs(decoded - int(pixels.At(x, y)[c])));
            }
    return worst;
}
} // namespace

TEST(ContentWriters, TGARawAndRunLengthDecodeToTheSourcePixels)
{
    CTempDir dir;
    const SPixels pixels = Pattern(16);
    for (bool runLength : {false, true})
        for (bool alpha : {false, true})
        {
            const TBytes file = WriteTGA(pixels, runLength, alpha);
            CImage image;
            ASSERT_TRUE(WriteBytes(dir / "t.tga", file) && Decode(dir / "t.tga", image))
                << runLength << alpha;
            EXPECT_EQ(MaxError(image, pixels, alpha ? 4 : 3), 0) << runLength << alpha;
            if (runLength) // the flat half of each row goes into one packet
            {
                EXPECT_LT(file.size(), WriteTGA(pixels, false, alpha).size());
            }
        }
}

TEST(ContentWriters, DXT3AndDXT5StayCloseToTheSource)
{
    CTempDir dir;
    const SPixels pixels = Pattern(16);
    for (bool dxt5 : {false, true})
    {
        const TBytes file = WriteDDS(pixels, dxt5);
        EXPECT_EQ(file.size(), 128u + 16 * 16);
        CImage image;
        ASSERT_TRUE(WriteBytes(dir / "t.dds", file) && Decode(dir / "t.dds", image)) << dxt5;
        // Colours through 5:6:5 endpoints and four steps; alpha through 4 bits or eight steps.
        EXPECT_LE(MaxError(image, pixels, 4), 24) << dxt5;
    }
    // A block of one colour comes back as near as the decoder's expansion of 5:6:5 allows.
    SPixels flat(4, 4);
    for (size_t i = 0; i < flat.m_Data.size(); i += 4)
        memcpy(&flat.m_Data[i], "\xFF\0\xFF\xFF", 4);
    CImage image;
    ASSERT_TRUE(WriteBytes(dir / "f.dds", WriteDDS(flat, true)) && Decode(dir / "f.dds", image));
    EXPECT_LE(MaxError(image, flat, 4), 7);
}

#ifdef VORNSCR_TOOL
TEST(SampleShow, WrittenOnlyBelowItsDirectoryAndTheSameEveryTime)
{
    if (!NTestPlatform::RunsShellCommands())
        GTEST_SKIP() << "the tool is started through the POSIX shell";
    CTempDir dir;
    std::string output;
    auto run = [&](const std::string& where) { return RunTool("sample " + where, output); };
    // The tool makes only the directory named, never its parents.
    ASSERT_NE(run(dir / "one/show"), 0);
    ASSERT_TRUE(std::filesystem::create_directory(dir / "one") &&
                std::filesystem::create_directory(dir / "two"));
    ASSERT_EQ(run(dir / "one/show"), 0);
    ASSERT_EQ(run(dir / "two/show"), 0);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "one"))
        if (entry.is_regular_file())
        {
            const std::string relative = std::filesystem::relative(entry.path(), dir / "one").string();
            names.push_back(relative);
            EXPECT_EQ(ReadBytes(dir / "one/" + relative), ReadBytes(dir / "two/" + relative)) << relative;
        }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
    // Every kind of file the system reads.
    for (const char* name :
         {"show/vornscr/script.txt", "show/data/sample.stuff", "show/data/crystal.lwo", "show/data/knot.lwo",
          "show/data/rings.png", "show/data/stripes.png", "show/data/waves.jpg", "show/data/tiles.jpg",
          "show/data/grid.tga", "show/data/bands.tga", "show/data/sky_nz.tga", "show/data/surface.shader"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "one/show/vornscr/cache"));

    // Every image decodes with the system's own codecs.
    for (const std::string& name : names)
        if (name.find(".png") != std::string::npos || name.find(".jpg") != std::string::npos ||
            name.find(".tga") != std::string::npos || name.find(".dds") != std::string::npos)
        {
            CImage image;
            EXPECT_TRUE(Decode(dir / "one/" + name, image)) << name;
        }
}
#endif
