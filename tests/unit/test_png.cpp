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

#include <algorithm>
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

Bytes Zlib(const Bytes& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

const Bytes SIGNATURE = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct SPngLayout
{
    // IHDR: 1 x 1, 8 bits, colour type 2 (RGB), compression, filter and interlace methods 0.
    Bytes header = {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
    Bytes filtered = {0, 1, 2, 3}; // filter bytes and rows, before compression
    Bytes beforeData;              // chunks between IHDR and IDAT
    bool headerChunk = true, end = true;
    int damageZlib = -1; // the index of a byte of the compressed data to change
};

Bytes MakePng(const SPngLayout& layout)
{
    Bytes out = SIGNATURE;
    if (layout.headerChunk)
        Chunk(out, "IHDR", layout.header);
    out.insert(out.end(), layout.beforeData.begin(), layout.beforeData.end());
    Bytes z = Zlib(layout.filtered);
    if (layout.damageZlib >= 0)
        z[std::min(size_t(layout.damageZlib), z.size() - 1)] ^= 1;
    Chunk(out, "IDAT", z);
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
    const char* const critical = "Unable to load. Found a critical chunk that I don't understand.";
    const char* const layouts = "Unable to load. Can't handle this colortype and bitdepth";
    const struct
    {
        void (*m_Change)(SPngLayout&);
        void (*m_Patch)(Bytes&);
        const char* m_Outcome;
    } cases[] = {
        {[](SPngLayout&) {}, nullptr, "ok"},
        {[](SPngLayout&) {}, [](Bytes& file) { file[0] = 0x88; }, "false"},
        {[](SPngLayout& l) { l.end = false; }, nullptr, "false"},
        {[](SPngLayout&) {}, [](Bytes& file) { file.resize(40); }, "false"},
        {[](SPngLayout& l) {
             Chunk(l.beforeData, "tEXt", Bytes{'k', 0, 'v'});
         },
         nullptr, "ok"},
        // A colour image may suggest a palette; a grey one may not.
        {[](SPngLayout& l) {
             Chunk(l.beforeData, "PLTE", Bytes{1, 2, 3});
         },
         nullptr, "ok"},
        {[](SPngLayout& l)
         {
             Chunk(l.beforeData, "PLTE", Bytes{1, 2, 3});
             l.header[9] = 0;
             l.filtered = {0, 7};
         },
         nullptr, critical},
        {[](SPngLayout& l) { Chunk(l.beforeData, "QUUX", Bytes{1}); }, nullptr, critical},
        {[](SPngLayout& l)
         {
             l.header[8] = 16;
             l.header[9] = 0;
         },
         nullptr, layouts},
        {[](SPngLayout& l) { l.header[9] = 3; }, nullptr, layouts},
        {[](SPngLayout& l) { l.header[12] = 1; }, nullptr, "Unable to load. Can't handle interlaced images"},
        {[](SPngLayout& l) { l.headerChunk = false; }, nullptr,
         "Unable to load. IDAT chunk before IHDR chunk"},
        // The header CRC is checked before its fields.
        {[](SPngLayout&) {}, [](Bytes& file) { file[8 + 8 + 10] = 1; }, "Invalid PNG file. CRC check failed"},
        {[](SPngLayout& l) { l.header[10] = 1; }, nullptr, "Unable to load. Unknown compression method"},
        {[](SPngLayout& l) { l.filtered[0] = 5; }, nullptr, "Unable to load. Unknown filter type"},
        {[](SPngLayout& l) { l.filtered.pop_back(); }, nullptr, "Unable to load. Not enough image data"},
        {[](SPngLayout& l) { l.damageZlib = 1000; }, nullptr, "Unable to load. zlib data check failed"},
        {[](SPngLayout& l) { l.damageZlib = 1; }, nullptr, "Unable to load. zlib header check failed"},
    };
    for (const auto& c : cases)
    {
        SPngLayout layout;
        c.m_Change(layout);
        Bytes file = MakePng(layout);
        if (c.m_Patch)
            c.m_Patch(file);
        EXPECT_EQ(Decode(file), c.m_Outcome) << &c - cases;
    }
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
        Bytes file = SIGNATURE;
        Chunk(file, "IHDR", Bytes{0, 0, 0, 37, 0, 0, 0, 29, 8, 6, 0, 0, 0});
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
