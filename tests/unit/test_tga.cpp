#include "keth/ext/loader/dds/dds.h"
#include "keth/ext/loader/tga/tga.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "logcapture.h"
#include "tempdir.h"
#include "testplatform.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace NKeth;
typedef CImage::CFormat CFormat;
typedef std::vector<uint8_t> TBytes;

namespace
{
TBytes Header(int type, int width, int height, int bits, int descriptor, int idLength = 0, int mapLength = 0,
              int mapBits = 0)
{
    return TBytes({uint8_t(idLength), uint8_t(mapLength ? 1 : 0), uint8_t(type), 0, 0, uint8_t(mapLength),
                   uint8_t(mapLength >> 8), uint8_t(mapBits), 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8),
                   uint8_t(height), uint8_t(height >> 8), uint8_t(bits), uint8_t(descriptor)});
}

TBytes Cat(TBytes a, const TBytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Loads through the format registry, as texture loading does.
bool LoadTGA(const TBytes& file, CImage& image)
{
    CMemoryReader in(file.data(), int32_t(file.size()));
    in.m_MimeType = GetMimeTypeFromFileName("picture.tga");
    return image.Load(in);
}

TBytes Bytes(const CImage& image)
{
    return TBytes(image.m_Data, image.m_Data + image.m_Format.m_Size);
}

} // namespace

// Plain layouts, origins and mirrored rows are in the corpus; these are the cases it lacks.
TEST(TGALoad, SkippedFieldsAndCutPackets)
{
    const struct
    {
        TBytes m_File;
        TBytes m_Pixels;
    } cases[] = {
        // The image ID and the colour map are skipped.
        {Cat(Header(3, 3, 1, 8, 0x20, 2, 2, 24), {'i', 'd', 0, 0, 0, 9, 9, 9, 40, 50, 60}), {40, 50, 60}},
        // Packets run across rows; raw and repeated packets mix.
        {Cat(Header(11, 3, 2, 8, 0), {0x01, 10, 20, 0x83, 30}), {30, 30, 30, 10, 20, 30}},
        // A last packet that runs past the image is cut at its end (rows are bottom-up).
        {Cat(Header(11, 2, 2, 8, 0), {0x87, 1}), {1, 1, 1, 1}},
        {Cat(Header(11, 2, 2, 8, 0), {0x02, 1, 2, 3, 0x84, 4}), {3, 4, 1, 2}},
        {Cat(Header(11, 2, 2, 8, 0), {0x05, 1, 2, 3, 4, 5, 6}), {3, 4, 1, 2}},
    };
    for (const auto& c : cases)
    {
        CImage image;
        ASSERT_TRUE(LoadTGA(c.m_File, image));
        EXPECT_EQ(Bytes(image), c.m_Pixels);
    }
}

TEST(TGALoad, Refusals)
{
    // Header faults are found before the image is made.
    const struct
    {
        TBytes m_File;
        const char* m_Error;
        bool m_Made;
    } cases[] = {
        {Cat(Header(2, 1, 1, 16, 0), {0, 0}), "tgaloader: bad format", false},
        {Cat(Header(3, 1, 1, 24, 0), {0, 0, 0}), "tgaloader: bad format", false},
        {{0, 0, 2, 0}, "tgaloader: unexpected end of file", false},
        {Header(2, 0, 5, 24, 0), "tgaloader: bad image size", false},
        {Header(2, 65535, 65535, 32, 0), "tgaloader: bad image size", false},
        {Cat(Header(1, 1, 1, 8, 0, 0, 1, 24), {1, 2, 3, 0}), "tgaloader: image type 1 is not supported",
         false},
        {Cat(Header(2, 2, 2, 24, 0), {1, 2, 3}), "tgaloader: unexpected end of file", true},
        // A stream that ends early is an error, not a silently black image.
        {Cat(Header(10, 4, 4, 24, 0), {0x81, 1, 2, 3}), "RLEDecoder: Error, Unexpected end of data", true},
    };
    for (const auto& c : cases)
    {
        CImage image;
        EXPECT_EQ(ErrorOf([&] { LoadTGA(c.m_File, image); }), c.m_Error);
        EXPECT_EQ(image.m_Data != nullptr, c.m_Made) << c.m_Error;
    }
    CTGAFormat tga;
    CFileReader closed;
    CImage image;
    EXPECT_FALSE(tga.Load(closed, image));
}

TEST(TGASave, HeadersAndRoundTrip)
{
    CTGAFormat tga;
    CImage grey;
    ASSERT_TRUE(grey.Create(CFormat(CFormat::PRESET_L8, 3, 2)));
    for (int i = 0; i < 6; ++i)
        grey.m_Data[i] = uint8_t(i * 40);
    TBytes written(64, 0xEE);
    CMemoryWriter out(written.data());
    ASSERT_TRUE(tga.Save(out, grey));
    ASSERT_EQ(out.m_Written, 18 + 6);
    written.resize(24);
    EXPECT_EQ(TBytes(written.begin(), written.begin() + 18), Header(3, 3, 2, 8, 0x20));
    CImage back;
    ASSERT_TRUE(LoadTGA(written, back));
    EXPECT_EQ(back.m_Format, grey.m_Format);
    EXPECT_EQ(Bytes(back), Bytes(grey));

    // 32-bit headers: the tool's test below.
    CImage packed;
    CFormat rgb565(CFormat::MODEL_RGB, 0x05060500, 0x000102FF);
    rgb565.SetSize(2, 2);
    ASSERT_TRUE(packed.Create(rgb565));
    CMemoryWriter out16(written.data());
    EXPECT_FALSE(tga.Save(out16, packed));
    EXPECT_EQ(out16.m_Written, 0);
}

// Every TGA of the corpus: accepted files equal ImageMagick's pixels (as RGBA, top row first),
// refused ones end with false or an error text.
TEST(TGACorpus, MatchesReferenceDecoder)
{
    std::string reference;
    if (!NTestPlatform::RunsShellCommands() || RunCommand("convert -version >/dev/null 2>&1", reference) != 0)
        GTEST_SKIP() << "needs the POSIX shell and ImageMagick";
    std::vector<SCorpusFile> files = CorpusFiles("tga/", ".tga");
    ASSERT_GT(files.size(), 100u);
    int compared = 0;
    CLogCapture log;
    for (const SCorpusFile& file : files)
    {
        SCOPED_TRACE(file.m_Path);
        CFileReader in(file.m_Path.c_str());
        ASSERT_TRUE(in.IsOpen());
        CImage image, rgba;
        bool loaded = false;
        std::string error = ErrorOf([&] { loaded = image.Load(in); });
        if (!file.m_Accept)
        {
            EXPECT_FALSE(loaded);
            continue;
        }
        ASSERT_TRUE(loaded) << error;
        ASSERT_TRUE(image.Convert(CFormat(CFormat::PRESET_RGBA8, 0, 0), rgba));
        ASSERT_EQ(RunCommand("convert '" + file.m_Path + "[0]' -auto-orient -depth 8 rgba:- 2>/dev/null",
                             reference),
                  0);
        EXPECT_TRUE(Bytes(rgba) == TBytes(reference.begin(), reference.end()))
            << "differs from the reference decoder";
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

#ifdef VORNSCR_TOOL
TEST(ImageTool, WritesTGAAndReportsFailures)
{
    if (!NTestPlatform::RunsShellCommands())
        GTEST_SKIP() << "needs the POSIX shell to run the tool";
    const std::string corpus = CORPUS_DIR;
    CTempDir dir;
    const std::string out = dir / "image.tga";
    const std::string image = "image ";
    std::string output;

    // A bottom-up 32-bit TGA comes out top-down with its bytes unchanged.
    const std::string input = corpus + "/tga/deb_gdk-pixbuf-tests/gtk-logo-32bpp-bottom-left.tga";
    ASSERT_EQ(RunTool(image + "'" + input + "' '" + out + "'", output), 0) << output;
    std::string written = ReadBytes(out);
    CFileReader original(input.c_str());
    CImage expected;
    ASSERT_TRUE(expected.Load(original));
    ASSERT_EQ(written.size(), 18u + size_t(expected.m_Format.m_Size));
    EXPECT_EQ(TBytes(written.begin(), written.begin() + 18), Header(2, 48, 48, 32, 0x28));
    EXPECT_TRUE(TBytes(written.begin() + 18, written.end()) == Bytes(expected));

    // DXT5 goes through the decompression into B, G, R, A.
    const std::string dds = corpus + "/dds/deb_openmw-data/omw_menu_scroll_center_h.dds";
    ASSERT_EQ(RunTool(image + "'" + dds + "' '" + out + "'", output), 0) << output;
    CFileReader ddsFile(dds.c_str());
    CImage compressed, pixels;
    ASSERT_TRUE(compressed.Load(ddsFile));
    ASSERT_TRUE(CDDSFormat::Decompress(compressed, pixels));
    written = ReadBytes(out);
    ASSERT_EQ(written.size(), 18u + 32u * 16u * 4u);
    EXPECT_TRUE(TBytes(written.begin() + 18, written.end()) == Bytes(pixels));

    EXPECT_EQ(
        RunTool(image + "'" + corpus + "/tga/deb_gdk-pixbuf-tests/gtk-logo-16bpp-top-left.tga' '" + out + "'",
                output),
        1);
    EXPECT_NE(output.find("tgaloader: bad format"), std::string::npos) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1);
    EXPECT_EQ(RunTool(image + "/nonexistent/file.tga '" + out + "'", output), 1);
    EXPECT_NE(output.find("cannot open"), std::string::npos) << output;
    EXPECT_NE(RunTool("", output), 0);
}
#endif
