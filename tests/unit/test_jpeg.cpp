#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "reference.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef VORNSCR_REFERENCE_DECODERS
#include "sample_encoders.h"
#endif

using namespace NKeth;

namespace
{
typedef std::vector<uint8_t> TBytes;

// The text Load throws, "" when it decodes, "false" when it returns false without a reason.
std::string Decode(CJPEGFormat& format, const TBytes& data, CImage& image)
{
    CMemoryReader in(data.data(), int32_t(data.size()));
    bool loaded = false;
    std::string text = ErrorOf([&] { loaded = format.Load(in, image); });
    return !text.empty() || loaded ? text : "false";
}

TBytes ReadFile(const std::string& path)
{
    const std::string text = ReadBytes(path);
    return TBytes(text.begin(), text.end());
}
} // namespace

// Refused files fail with a reason. Accepted ones get the same bytes from the decoder's vector
// transform and row-wise storing as from its plain sample-by-sample path, and match the
// reference decoder. One decoder serves every file, as the image registry uses it: tables of
// one file must not leak into the next.
TEST(JpegCorpus, RefusedWithAReasonOrDecodedAlikeByBothPathsAndTheReference)
{
    CJPEGFormat format, plain;
    plain.m_Plain = true;
    int refused = 0, compared = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        SCOPED_TRACE(file.m_Path);
        const TBytes bytes = ReadFile(file.m_Path);
        CImage image, plainImage;
        const std::string error = Decode(format, bytes, image);
        if (!file.m_Accept)
        {
            EXPECT_NE(error, "");
            EXPECT_NE(error, "false");
            ++refused;
            continue;
        }
        ASSERT_EQ(error, "");
        ASSERT_EQ(Decode(plain, bytes, plainImage), "");
        ASSERT_EQ(image.m_Format.m_Size, plainImage.m_Format.m_Size);
        ASSERT_EQ(memcmp(image.m_Data, plainImage.m_Data, size_t(image.m_Format.m_Size)), 0);
        ++compared;
#ifdef VORNSCR_REFERENCE_DECODERS
        SReferenceImage reference;
        ASSERT_TRUE(ReferenceJpeg(bytes.data(), bytes.size(), reference));
        const int width = reference.m_Width, height = reference.m_Height;
        CImage rgb;
        const CImage* ours = &image;
        if (reference.m_Channels == 3)
        {
            ASSERT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_YCBCR8, width, height));
            ASSERT_TRUE(image.Convert(CImage::CFormat(CImage::CFormat::PRESET_RGB8, width, height), rgb));
            ours = &rgb;
        }
        else
            ASSERT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_L8, width, height));
        int largest = 0;
        for (size_t i = 0; i < reference.m_Samples.size(); ++i)
            largest = std::max(largest, std::abs(int(ours->m_Data[i]) - int(reference.m_Samples[i])));
        EXPECT_LE(largest, 4);
#endif
    }
    EXPECT_GT(refused, 50);
    EXPECT_GT(compared, 100);
}

#ifdef VORNSCR_REFERENCE_DECODERS
// Files the corpus lacks, made by the system's encoder and then patched.
namespace
{
std::string Decode(const TBytes& data)
{
    CJPEGFormat format;
    CImage image;
    return Decode(format, data, image);
}

// A baseline file of 4:4:4 colour: standard Huffman tables, one quantisation table per
// segment, a JFIF header, no restart intervals.
TBytes Encode(int width, int height, unsigned seed)
{
    NContent::SPixels pixels(width, height);
    srand(seed);
    for (uint8_t& v : pixels.m_Data)
        v = seed ? uint8_t(rand()) : 0;
    if (!seed) // flat blocks: white on the left, black on the right
        for (int y = 0; y < height; ++y)
            memset(pixels.At(0, y), 255, 4 * 8);
    const NContent::TBytes file = NSample::EncodeJPEG(pixels, false);
    return TBytes(file.begin(), file.end());
}

size_t Find(const TBytes& data, int marker)
{
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == marker)
            return i;
    return data.size();
}

TBytes Segment(int marker, const TBytes& payload)
{
    TBytes out = {0xFF, uint8_t(marker), uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The bytes with `count` bytes from the first `marker` on replaced by `insert`.
TBytes Splice(TBytes data, int marker, size_t count, const TBytes& insert, size_t offset = 0)
{
    const size_t at = Find(data, marker) + offset;
    data.erase(data.begin() + long(at), data.begin() + long(std::min(at + count, data.size())));
    data.insert(data.begin() + long(at), insert.begin(), insert.end());
    return data;
}

// The first segment of this marker with a new payload.
TBytes Replace(const TBytes& data, int marker, void (*change)(TBytes&))
{
    const size_t at = Find(data, marker), length = size_t(data[at + 2] << 8 | data[at + 3]);
    TBytes payload(data.begin() + long(at) + 4, data.begin() + long(at + 2 + length));
    change(payload);
    return Splice(data, marker, length + 2, Segment(marker, payload));
}

// Scan data from a string of bits, padded with ones and stuffed.
TBytes Scan(const std::string& bits)
{
    TBytes out;
    for (size_t i = 0; i < bits.size(); i += 8)
    {
        const std::string byte = (bits.substr(i, 8) + "1111111").substr(0, 8);
        out.push_back(uint8_t(std::stoi(byte, nullptr, 2)));
        if (out.back() == 0xFF)
            out.push_back(0);
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

int Sample(const CImage& image, int x, int y, int channel)
{
    return image.m_Data[y * image.m_Format.m_Pitch + x * image.m_Format.m_ChannelCount + channel];
}
} // namespace

TEST(JpegDecoder, FlatBlocksAreExact)
{
    // The corpus is compared with a tolerance; a flat block of the extremes must come out exact.
    CJPEGFormat format;
    CImage image;
    ASSERT_EQ(Decode(format, Encode(16, 8, 0), image), "");
    for (int y : {0, 7})
        for (int x : {0, 7, 8, 15})
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(Sample(image, x, y, c), c ? 128 : (x < 8 ? 255 : 0)) << x << " " << y << " " << c;
}

TEST(JpegDecoder, TablesStayInTheDecoderForTheNextFile)
{
    CJPEGFormat format, fresh;
    CImage image, expected;
    ASSERT_EQ(Decode(format, Encode(8, 8, 1), image), "");
    // Without DQT and DHT the second file decodes with the first file's tables, which the
    // encoder writes the same for every file.
    const TBytes second = Encode(8, 8, 2);
    ASSERT_EQ(Decode(fresh, second, expected), "");
    TBytes bare = second;
    for (int marker : {0xDB, 0xC4})
        for (size_t at; (at = Find(bare, marker)) < Find(bare, 0xDA);)
            bare.erase(bare.begin() + long(at),
                       bare.begin() + long(at + 2 + (bare[at + 2] << 8 | bare[at + 3])));
    ASSERT_EQ(Decode(format, bare, image), "");
    EXPECT_EQ(0, memcmp(image.m_Data, expected.m_Data, size_t(expected.m_Format.m_Size)));
    // A decoder that never saw tables refuses such a file.
    EXPECT_NE(Decode(bare), "");
}

TEST(JpegDecoder, RefusesWhatItDoesNotDecodeWithItsReason)
{
    const TBytes good = Encode(16, 16, 3);
    const size_t sos = Find(good, 0xDA);
    auto sof = [&](int marker) { return Splice(good, 0xC0, 2, {0xFF, uint8_t(marker)}); };
    auto at = [&](int marker, size_t offset, uint8_t value)
    {
        TBytes data = good;
        data[Find(good, marker) + offset] = value;
        return data;
    };
    // Scan data by hand, in the codes of the standard tables or, with short codes that the
    // decoder's lookup takes in one step, of a luminance AC table {00: end, 01: sixteen zeros,
    // 10: fifteen zeros and a value of one bit}.
    auto scan = [&](const std::string& bits, bool shortCodes = false)
    {
        TBytes data = good;
        if (shortCodes)
            data = Splice(good, 0xDA, 0, Segment(0xC4, {0x10, 0, 3, 0, 0, 0, 0, 0,    0,    0,
                                                        0,    0, 0, 0, 0, 0, 0, 0x00, 0xF0, 0xF1}));
        data.resize(Find(data, 0xDA) + 14);
        const TBytes body = Scan(bits);
        data.insert(data.end(), body.begin(), body.end());
        return data;
    };
    // DC 0, then four runs of sixteen zeros, or three and a value after fifteen more zeros.
    const std::string zeros16 = "11111111001", dc0 = "00";
    const char* const pastTheEnd = "AC run past the end of a jpeg block";
    const std::pair<TBytes, std::string> cases[] = {
        {Splice(good, 0xC0, 0, Segment(0xDD, {0, 0})), ""},
        {sof(0xC1), "Err: jpeg frame type 0xC1 is not supported"},
        {sof(0xC2), "Err: jpeg frame type 0xC2 is not supported"},
        {sof(0xC3), "Err: jpeg frame type 0xC3 is not supported"},
        {sof(0xC9), "Err: jpeg frame type 0xC9 is not supported"},
        {at(0xC0, 4, 12), "Err: jpeg sample precision 12 is not supported"},
        {Splice(good, 0xC0, 0, Segment(0xDD, {0, 1})), "Err: jpeg restart intervals are not supported"},
        {at(0xDB, 4, 0x10), "Err: jpeg 16-bit quantisation tables are not supported"},
        {at(0xDB, 4, 0x04), "Err: jpeg quantisation table number 4 is above 3"},
        {Replace(good, 0xC0,
                 [](TBytes& p)
                 {
                     p[5] = 4;
                     p.insert(p.end(), {4, 0x11, 0});
                 }),
         "Err: jpeg with 4 components is not supported"},
        {Replace(good, 0xC0,
                 [](TBytes& p)
                 {
                     p[5] = 2;
                     p.resize(12);
                 }),
         "Err: jpeg with 2 components is not supported"},
        {Replace(good, 0xC0,
                 [](TBytes& p)
                 {
                     p[7] = 0x31;
                     p[10] = 0x21;
                 }),
         "Err: jpeg sampling factors 0x21 are not supported"},
        // A colour frame coded as separate scans, one per component.
        {Replace(good, 0xDA,
                 [](TBytes& p)
                 {
                     p[0] = 1;
                     p.erase(p.begin() + 3, p.begin() + 7);
                 }),
         "Err: jpeg with more than one scan is not supported"},
        {at(0xDA, 12, 1), "Err: jpeg scan is not sequential"},
        {at(0xC4, 4, 0x14), "HT Error!"},
        {at(0xDA, 4, 2), "Invalid number of scans"},
        // The luminance DC table has no code of nine ones.
        {scan("111111111"), "Coudn't find huffman entry"},
        {Splice(good, 0xDA, good.size(), {0xFF, 0xD9}, (good.size() - sos) / 2),
         "Unexpected end of jpeg data"},
        {scan(dc0 + zeros16 + zeros16 + zeros16 + zeros16), pastTheEnd},
        {scan(dc0 + zeros16 + zeros16 + zeros16 + "11111111111101011"), pastTheEnd},
        {scan(dc0 + "01010101", true), pastTheEnd},
        {scan(dc0 + "010101101", true), pastTheEnd},
        {{0xFF, 0xD9}, "Err: not a jpeg"},
        {Splice(good, 0xDB, 0, {0x42}), "Err: not a segment, 20"},
        {Splice(good, 0xDA, good.size(), {0xFF, 0xD9}), "Err: jpeg without image data"},
        {Splice(good, 0xC4, good.size(), {}, 10), "Err: jpeg ends before its image data"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.first), c.second) << &c - cases;
}

TEST(JpegDecoder, SegmentsAfterTheImageDataAreReadFromItsEndMarker)
{
    CJPEGFormat format;
    CImage image;
    // Cut right after the image data: the image is whole.
    TBytes flat = Encode(16, 8, 0);
    flat.resize(flat.size() - 2);
    EXPECT_EQ(Decode(format, flat, image), "");
    EXPECT_EQ(Sample(image, 3, 3, 0), 255);
    // However far the bit reader had read ahead: scans of many lengths put the marker at every
    // point of a refill.
    for (int width = 1; width <= 24; ++width)
    {
        TBytes data = Encode(width, 3, unsigned(width));
        data = Splice(data, 0xD9, 0, Segment(0xFE, TBytes(40, 0x11)));
        EXPECT_EQ(Decode(format, data, image), "") << width;
    }
}
#endif
