// PNG decoding: hand-built files for the structural cases, and byte-exact agreement with libpng
// on the conformance corpus and the installed icon themes.
#include "keth/ext/loader/png/png.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"

#include "reference.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::vector<unsigned char> Bytes;

void Put32(Bytes& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back((unsigned char)(v >> s));
}

void Chunk(Bytes& out, const char* type, const Bytes& data, bool goodCrc = true)
{
    Put32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = uint32_t(crc32(0, out.data() + start, uInt(out.size() - start)));
    Put32(out, goodCrc ? crc : crc ^ 1);
}

Bytes Header(uint32_t width, uint32_t height, int depth, int colorType, int interlace = 0)
{
    Bytes ihdr;
    Put32(ihdr, width);
    Put32(ihdr, height);
    ihdr.push_back((unsigned char)depth);
    ihdr.push_back((unsigned char)colorType);
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back((unsigned char)interlace);
    return ihdr;
}

Bytes Zlib(const Bytes& raw, int strategy = Z_DEFAULT_STRATEGY)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, 9, Z_DEFLATED, 15, 8, strategy);
    Bytes out(deflateBound(&z, uLong(raw.size())) + 16);
    z.next_in = const_cast<unsigned char*>(raw.data());
    z.avail_in = uInt(raw.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct SPngLayout
{
    uint32_t width = 1, height = 1;
    int depth = 8, colorType = 2, interlace = 0;
    Bytes filtered;                 // filter bytes and rows, before compression
    std::vector<size_t> idatSplits; // sizes of the IDAT chunks but the last
    Bytes beforeData;               // chunks between IHDR and IDAT
    Bytes afterData;                // chunks between IDAT and IEND
    bool end = true;
};

Bytes MakePng(const SPngLayout& layout, const Bytes* zdata = nullptr)
{
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Chunk(out, "IHDR", Header(layout.width, layout.height, layout.depth, layout.colorType, layout.interlace));
    out.insert(out.end(), layout.beforeData.begin(), layout.beforeData.end());
    Bytes z = zdata ? *zdata : Zlib(layout.filtered);
    size_t at = 0;
    for (size_t part : layout.idatSplits)
    {
        Chunk(out, "IDAT", Bytes(z.begin() + long(at), z.begin() + long(at + part)));
        at += part;
    }
    Chunk(out, "IDAT", Bytes(z.begin() + long(at), z.end()));
    out.insert(out.end(), layout.afterData.begin(), layout.afterData.end());
    if (layout.end)
        Chunk(out, "IEND", Bytes());
    return out;
}

// Outcome of one decode: "ok", "false" or the error text.
std::string Decode(const Bytes& file, CImage& image)
{
    CMemoryReader in(file.data(), int32_t(file.size()));
    CPNGFormat format;
    bool loaded = false;
    std::string error = ErrorOf([&] { loaded = format.Load(in, image); });
    return !error.empty() ? error : loaded ? "ok" : "false";
}

std::string Decode(const Bytes& file)
{
    CImage image;
    return Decode(file, image);
}

int g_PixelComparisons = 0;

enum EExpectation
{
    MUST_ACCEPT,
    MUST_REFUSE,
    AS_REFERENCE // accept exactly what libpng decodes in a supported layout
};

// Checks one file against its expectation and libpng's samples; returns a description of a
// disagreement, or "".
std::string CompareWithReference(const std::string& path, EExpectation expectation)
{
    const std::string bytes = ReadBytes(path);
    const Bytes file(bytes.begin(), bytes.end());
    if (expectation == MUST_REFUSE)
        return Decode(file) == "ok" ? "accepted a file it must refuse" : "";
    SReferenceImage reference;
    bool referenceOk = ReferencePng(file.data(), file.size(), reference);
    const bool supported = reference.m_Supported;
    const Bytes& expected = reference.m_Samples;
    CImage image;
    std::string ours = Decode(file, image);
    if (expectation == MUST_ACCEPT && ours != "ok")
        return "refused: " + ours;
    if (!referenceOk || !supported)
        return ours == "ok" && expectation == AS_REFERENCE ? "accepted a file libpng refuses" : "";
    if (ours != "ok")
        return "refused: " + ours;
    ++g_PixelComparisons;
    if (size_t(image.m_Format.m_Size) != expected.size() ||
        memcmp(image.m_Data, expected.data(), expected.size()) != 0)
        return "pixels differ";
    return "";
}

} // namespace

TEST(PNGFormat, StructuralOutcomes)
{
    SPngLayout layout;
    layout.filtered = {0, 1, 2, 3};
    Bytes good = MakePng(layout);
    EXPECT_EQ(Decode(good), "ok");

    Bytes badSignature = good;
    badSignature[0] = 0x88;
    EXPECT_EQ(Decode(badSignature), "false");

    SPngLayout noEnd = layout;
    noEnd.end = false;
    EXPECT_EQ(Decode(MakePng(noEnd)), "false");
    EXPECT_EQ(Decode(Bytes(good.begin(), good.begin() + 40)), "false");

    SPngLayout text = layout;
    Chunk(text.beforeData, "tEXt", Bytes{'k', 0, 'v'});
    EXPECT_EQ(Decode(MakePng(text)), "ok");

    // A colour image may suggest a palette; a grey one may not.
    SPngLayout palette = layout;
    Chunk(palette.beforeData, "PLTE", Bytes{1, 2, 3});
    EXPECT_EQ(Decode(MakePng(palette)), "ok");
    palette.colorType = 0;
    palette.filtered = {0, 7};
    EXPECT_EQ(Decode(MakePng(palette)), "Unable to load. Found a critical chunk that I don't understand.");
    SPngLayout unknown = layout;
    Chunk(unknown.beforeData, "QUUX", Bytes{1});
    EXPECT_EQ(Decode(MakePng(unknown)), "Unable to load. Found a critical chunk that I don't understand.");

    SPngLayout grey16 = layout;
    grey16.colorType = 0;
    grey16.depth = 16;
    EXPECT_EQ(Decode(MakePng(grey16)), "Unable to load. Can't handle this colortype and bitdepth");
    SPngLayout indexed = layout;
    indexed.colorType = 3;
    EXPECT_EQ(Decode(MakePng(indexed)), "Unable to load. Can't handle this colortype and bitdepth");
    SPngLayout interlaced = layout;
    interlaced.interlace = 1;
    EXPECT_EQ(Decode(MakePng(interlaced)), "Unable to load. Can't handle interlaced images");

    Bytes noHeader = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Chunk(noHeader, "IDAT", Zlib(layout.filtered));
    EXPECT_EQ(Decode(noHeader), "Unable to load. IDAT chunk before IHDR chunk");

    Bytes badMethod = good;
    badMethod[8 + 8 + 10] = 1;
    // The header CRC is checked before its fields.
    EXPECT_EQ(Decode(badMethod), "Invalid PNG file. CRC check failed");
    Bytes methods = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr = Header(1, 1, 8, 2);
    ihdr[10] = 1;
    Chunk(methods, "IHDR", ihdr);
    Chunk(methods, "IDAT", Zlib(layout.filtered));
    EXPECT_EQ(Decode(methods), "Unable to load. Unknown compression method");

    SPngLayout badFilter = layout;
    badFilter.filtered[0] = 5;
    EXPECT_EQ(Decode(MakePng(badFilter)), "Unable to load. Unknown filter type");

    SPngLayout tooLittle = layout;
    tooLittle.filtered.pop_back();
    EXPECT_EQ(Decode(MakePng(tooLittle)), "Unable to load. Not enough image data");

    Bytes badAdler = Zlib(layout.filtered);
    badAdler.back() ^= 1;
    EXPECT_EQ(Decode(MakePng(layout, &badAdler)), "Unable to load. zlib data check failed");
    Bytes badZlibHeader = Zlib(layout.filtered);
    badZlibHeader[1] ^= 1;
    EXPECT_EQ(Decode(MakePng(layout, &badZlibHeader)), "Unable to load. zlib header check failed");
}

// Image data split across chunks is in the corpus; these are the splits it must refuse.
TEST(PNGFormat, ImageDataChunksRunWithoutOthersBetween)
{
    std::mt19937 random(5);
    Bytes filtered(1 + 37 * 29 * 4);
    for (auto& b : filtered)
        b = (unsigned char)(random() % 7);
    for (size_t row = 0; row < 29; ++row)
        filtered[row * (1 + 37 * 4)] = 0;
    const Bytes z = Zlib(filtered);
    ASSERT_GT(z.size(), 500u);
    for (bool between : {true, false})
    {
        Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        Chunk(file, "IHDR", Header(37, 29, 8, 6));
        Chunk(file, "IDAT", Bytes(z.begin(), z.begin() + 500), between);
        if (between)
            Chunk(file, "tEXt", Bytes{'a', 0, 'b'});
        Chunk(file, "IDAT", Bytes(z.begin() + 500, z.end()));
        Chunk(file, "IEND", Bytes());
        EXPECT_EQ(Decode(file),
                  between ? "Invalid PNG file. IDAT chunks must" : "Invalid PNG file. CRC check failed");
    }
}

// Every filter in every layout, ties of the Paeth predictor included, is in the conformance
// suite and the icons.
TEST(PNGFormat, AgreesWithLibpngOnTheCorpus)
{
    int accepted = 0, rejected = 0;
    g_PixelComparisons = 0;
    for (const SCorpusFile& file : CorpusFiles("", ".png"))
    {
        EXPECT_EQ(CompareWithReference(file.m_Path, file.m_Accept ? MUST_ACCEPT : MUST_REFUSE), "")
            << file.m_Path;
        (file.m_Accept ? accepted : rejected)++;
    }
    EXPECT_GT(accepted, 300);
    EXPECT_GT(rejected, 300);
    EXPECT_EQ(g_PixelComparisons, accepted);
}

TEST(PNGFormat, AgreesWithLibpngOnIconThemes)
{
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it("/usr/share/icons", error), end;
         !error && it != end; it.increment(error))
        if (it->is_regular_file() && !it->is_symlink() && it->path().extension() == ".png")
            files.push_back(it->path().string());
    if (files.size() < 100)
        GTEST_SKIP() << "no icon theme installed";
    int differences = 0;
    g_PixelComparisons = 0;
    for (const std::string& path : files)
    {
        std::string problem = CompareWithReference(path, AS_REFERENCE);
        if (!problem.empty() && ++differences <= 20)
            ADD_FAILURE() << path << ": " << problem;
    }
    EXPECT_EQ(differences, 0) << "of " << files.size() << " files";
    EXPECT_GT(g_PixelComparisons, 100);
}
