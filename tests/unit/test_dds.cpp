#include "keth/ext/loader/dds/dds.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "logcapture.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace NKeth;
typedef CImage::CFormat CFormat;
typedef std::vector<uint8_t> TBytes;

namespace
{
void Put32(TBytes& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = uint8_t(value >> (8 * i));
}

// A minimal DDS writer: magic, header with the four fields the loader reads, then the blocks.
TBytes MakeDDS(const char* fourCC, uint32_t width, uint32_t height, const TBytes& blocks,
               uint32_t linearSize = ~0u)
{
    TBytes file(128 + blocks.size(), 0);
    memcpy(file.data(), "DDS ", 4);
    Put32(file, 4, 124);
    Put32(file, 4 + 8, height);
    Put32(file, 4 + 12, width);
    Put32(file, 4 + 16, linearSize == ~0u ? uint32_t(blocks.size()) : linearSize);
    memcpy(file.data() + 4 + 80, fourCC, 4);
    std::copy(blocks.begin(), blocks.end(), file.begin() + 128);
    return file;
}

TBytes RandomBlocks(int width, int height)
{
    TBytes blocks(size_t((width + 3) / 4) * ((height + 3) / 4) * 16);
    for (uint8_t& b : blocks)
        b = uint8_t(rand());
    return blocks;
}

// Reference texel in B, G, R, A, written straight from the block layout.
void ReferenceTexel(const uint8_t* data, int width, bool dxt5, int x, int y, uint8_t out[4])
{
    const uint8_t* block = data + 16 * ((y / 4) * ((width + 3) / 4) + x / 4);
    const int i = 4 * (y % 4) + x % 4;
    int alpha;
    if (dxt5)
    {
        int a0 = block[0], a1 = block[1];
        uint64_t bits = 0;
        for (int k = 0; k < 6; ++k)
            bits |= uint64_t(block[2 + k]) << (8 * k);
        int index = int(bits >> (3 * i)) & 7;
        if (index == 0)
            alpha = a0;
        else if (index == 1)
            alpha = a1;
        else if (a0 > a1)
            alpha = ((8 - index) * a0 + (index - 1) * a1) / 7;
        else if (index <= 5)
            alpha = ((6 - index) * a0 + (index - 1) * a1) / 5;
        else
            alpha = index == 6 ? 0 : 255;
    }
    else
    {
        int word = block[2 * (i / 4)] | block[2 * (i / 4) + 1] << 8;
        alpha = ((word >> (4 * (i % 4))) & 15) * 17;
    }
    const uint8_t* colour = block + 8;
    int c[2] = {colour[0] | colour[1] << 8, colour[2] | colour[3] << 8};
    int index = int((uint32_t(colour[4]) | uint32_t(colour[5]) << 8 | uint32_t(colour[6]) << 16 |
                     uint32_t(colour[7]) << 24) >>
                    (2 * i)) &
                3;
    for (int channel = 0; channel < 3; ++channel) // B, G, R
    {
        int shift = channel == 0 ? 0 : (channel == 1 ? 5 : 11);
        int bits = channel == 1 ? 6 : 5;
        int e0 = ((c[0] >> shift) & ((1 << bits) - 1)) << (8 - bits);
        int e1 = ((c[1] >> shift) & ((1 << bits) - 1)) << (8 - bits);
        int palette[4] = {e0, e1, (2 * e0 + e1 + 1) / 3, (e0 + 2 * e1 + 1) / 3};
        out[channel] = uint8_t(palette[index]);
    }
    out[3] = uint8_t(alpha);
}

void ExpectMatchesReference(const CImage& compressed)
{
    CImage pixels;
    ASSERT_TRUE(CDDSFormat::Decompress(compressed, pixels));
    const int width = compressed.m_Format.m_Width, height = compressed.m_Format.m_Height;
    ASSERT_EQ(pixels.m_Format, CFormat(CFormat::PRESET_RGBA8, width, height));
    ASSERT_EQ(pixels.m_Format.m_Size, width * height * 4);
    const bool dxt5 = compressed.m_Format.m_ChannelCount == CFormat::KIND_DXT5;
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            uint8_t expected[4];
            ReferenceTexel(compressed.m_Data, width, dxt5, x, y, expected);
            mismatches += memcmp(expected, pixels.m_Data + 4 * (y * width + x), 4) != 0;
        }
    EXPECT_EQ(mismatches, 0) << width << " x " << height;
}

bool LoadDDS(const TBytes& file, CImage& image, int32_t* position = nullptr)
{
    CMemoryReader in(file.data(), int32_t(file.size()));
    in.m_MimeType = GetMimeTypeFromFileName("texture.dds");
    const bool ok = image.Load(in);
    if (position)
        *position = in.m_Position;
    return ok;
}

} // namespace

TEST(DDSLoad, HeaderAndLimits)
{
    CImage image;
    TBytes blocks = RandomBlocks(256, 256);
    ASSERT_TRUE(LoadDDS(MakeDDS("DXT5", 256, 256, blocks), image));
    EXPECT_EQ(image.m_Format.m_Size, 65536);
    EXPECT_EQ(TBytes(image.m_Data, image.m_Data + 65536), blocks);

    // A linear size beyond the top level reads the top level only.
    TBytes withMips = blocks;
    withMips.resize(blocks.size() + 4096, 0xEE);
    int32_t position = 0;
    ASSERT_TRUE(LoadDDS(MakeDDS("DXT3", 256, 256, withMips, 0x7FFFFFFF), image, &position));
    EXPECT_EQ(position, 128 + 65536);

    // Files refused by their header leave the image as it was.
    TBytes unsigned_ = MakeDDS("DXT5", 4, 4, TBytes(16));
    unsigned_[0] = 'X';
    const std::pair<TBytes, const char*> refusals[] = {
        {MakeDDS("DXT1", 4, 4, TBytes(8)), "ddsloader: only DXT3 and DXT5 images are supported"},
        {unsigned_, "ddsloader: not a DDS file"},
        {MakeDDS("DXT5", 0, 8, TBytes()), "ddsloader: bad image size"},
        {MakeDDS("DXT5", 100000, 8, TBytes()), "ddsloader: bad image size"},
        {MakeDDS("DXT5", 8, 8, TBytes(48)), "ddsloader: unexpected end of file"},
        {TBytes(40, 0), "ddsloader: unexpected end of file"},
    };
    unsigned char* before = image.m_Data;
    for (const auto& r : refusals)
    {
        EXPECT_EQ(ErrorOf([&] { LoadDDS(r.first, image); }), r.second);
        if (&r - refusals < 4)
        {
            EXPECT_EQ(image.m_Data, before);
            EXPECT_EQ(image.m_Format.m_Width, 256);
        }
    }

    // Only block formats with alpha decompress.
    CImage pixels;
    for (CFormat::EPreset preset : {CFormat::PRESET_RGB8, CFormat::PRESET_DXT1})
    {
        ASSERT_TRUE(image.Create(CFormat(preset, 4, 4)));
        EXPECT_FALSE(CDDSFormat::Decompress(image, pixels));
    }
    CDDSFormat dds;
    CFileReader closed;
    EXPECT_FALSE(dds.Load(closed, image));
}

// The corpus: accepted DXT3/DXT5 files (sizes with partial edge blocks among them) decompress
// exactly as the reference; others are refused.
TEST(DDSCorpus, DecompressesAcceptedFiles)
{
    int compared = 0;
    CLogCapture log;
    for (const SCorpusFile& file : CorpusFiles("dds/"))
    {
        SCOPED_TRACE(file.m_Path);
        CFileReader in(file.m_Path.c_str());
        ASSERT_TRUE(in.IsOpen());
        CImage image;
        bool loaded = false;
        ErrorOf([&] { loaded = image.Load(in); });
        ASSERT_EQ(loaded, file.m_Accept);
        if (!loaded)
            continue;
        ExpectMatchesReference(image);
        ++compared;
    }
    EXPECT_GT(compared, 20);
}
