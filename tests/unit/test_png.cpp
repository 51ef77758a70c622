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
    Bytes betweenData;             // chunks between the two halves of the image data
    bool goodDataCrc = true;       // of the first half
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
    // Image data split across chunks is in the corpus; what may come between them is not.
    const size_t half = layout.betweenData.empty() && layout.goodDataCrc ? 0 : z.size() / 2;
    if (half)
        Chunk(out, "IDAT", Bytes(z.begin(), z.begin() + long(half)), layout.goodDataCrc);
    out.insert(out.end(), layout.betweenData.begin(), layout.betweenData.end());
    Chunk(out, "IDAT", Bytes(z.begin() + long(half), z.end()));
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

// One file against libpng: "" when they agree, else what differs. The verdict is the corpus's
// (1: accept, 0: refuse); without one (-1) a file must be accepted exactly when libpng decodes it
// in a layout our decoder takes.
std::string CompareWithReference(const std::string& path, int verdict)
{
    const std::string bytes = ReadBytes(path);
    const Bytes file(bytes.begin(), bytes.end());
    SReferenceImage reference;
    const bool decodable = ReferencePng(file.data(), file.size(), reference) && reference.m_Supported;
    CImage image;
    const std::string ours = Decode(file, image);
    if ((ours == "ok") != (verdict < 0 ? decodable : verdict == 1))
        return "wrong outcome: " + ours;
    if (ours != "ok" || !decodable)
        return "";
    ++g_PixelComparisons;
    return Bytes(image.m_Data, image.m_Data + image.m_Format.m_Size) == reference.m_Samples ? ""
                                                                                            : "pixels differ";
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
        {[](SPngLayout& l) {
             Chunk(l.betweenData, "tEXt", Bytes{'a', 0, 'b'});
         },
         nullptr, "Invalid PNG file. IDAT chunks must"},
        {[](SPngLayout& l) { l.goodDataCrc = false; }, nullptr, "Invalid PNG file. CRC check failed"},
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

// Every filter in every layout, ties of the Paeth predictor included, is in the conformance
// suite and the icons.
TEST(PNGFormat, AgreesWithLibpngOnTheCorpus)
{
    int accepted = 0, rejected = 0;
    g_PixelComparisons = 0;
    for (const SCorpusFile& file : CorpusFiles("", ".png"))
    {
        EXPECT_EQ(CompareWithReference(file.m_Path, file.m_Accept), "") << file.m_Path;
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
        std::string problem = CompareWithReference(path, -1);
        if (!problem.empty() && ++differences <= 20)
            ADD_FAILURE() << path << ": " << problem;
    }
    EXPECT_EQ(differences, 0) << "of " << files.size() << " files";
    EXPECT_GT(g_PixelComparisons, 100);
}
