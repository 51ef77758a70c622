#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "reference.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::vector<uint8_t> TBytes;
typedef std::array<int, 64> TBlock; // coefficients in file order

// --- A small baseline encoder, enough to build the cases the corpus lacks ---------------------

// AC symbols of the test tables: end of block, sixteen zeros, then every run/size pair.
std::vector<int> AcSymbols()
{
    std::vector<int> symbols = {0x00, 0xF0};
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size <= 10; ++size)
            symbols.push_back(run << 4 | size);
    return symbols;
}

// A table whose symbols all have one code length: the code of a symbol is its index.
TBytes HuffmanTable(int tableByte, const std::vector<int>& symbols, int length)
{
    TBytes t = {uint8_t(tableByte)};
    for (int i = 1; i <= 16; ++i)
        t.push_back(i == length ? uint8_t(symbols.size()) : 0);
    for (int s : symbols)
        t.push_back(uint8_t(s));
    return t;
}

class CBitWriter
{
public:
    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
        {
            m_Byte = m_Byte << 1 | ((value >> i) & 1);
            if (++m_Count == 8)
                Flush();
        }
    }
    TBytes Finish()
    {
        while (m_Count)
            Put(1, 1);
        return m_Out;
    }

private:
    void Flush()
    {
        m_Out.push_back(uint8_t(m_Byte));
        if (m_Byte == 0xFF)
            m_Out.push_back(0);
        m_Byte = 0;
        m_Count = 0;
    }

    TBytes m_Out;
    uint32_t m_Byte = 0;
    int m_Count = 0;
};

int Category(int v)
{
    int s = 0;
    for (v = v < 0 ? -v : v; v; v >>= 1)
        ++s;
    return s;
}

void PutValue(CBitWriter& bits, int v, int s)
{
    bits.Put(uint32_t(v < 0 ? v + (1 << s) - 1 : v), s);
}

void EncodeBlock(CBitWriter& bits, const TBlock& block, int& predictor)
{
    static const std::vector<int> ac = AcSymbols();
    int diff = block[0] - predictor;
    predictor = block[0];
    int s = Category(diff);
    bits.Put(uint32_t(s), 4);
    PutValue(bits, diff, s);
    int run = 0;
    for (int k = 1; k < 64; ++k)
    {
        if (!block[k])
        {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16)
            bits.Put(1, 8);
        s = Category(block[k]);
        int index = 0;
        while (ac[index] != (run << 4 | s))
            ++index;
        bits.Put(uint32_t(index), 8);
        PutValue(bits, block[k], s);
        run = 0;
    }
    if (run)
        bits.Put(0, 8);
}

struct SComponentSpec
{
    int m_Id;
    int m_Sampling;
};

// A baseline file with quantisation table 0 all ones, DC table 0 (sizes 0 ... 11, four bits
// each) and AC table 0 (eight bits each); blocks are given in stream order, one predictor per
// component in scan order.
struct SJpegLayout
{
    int m_Width = 8;
    int m_Height = 8;
    std::vector<SComponentSpec> m_Components = {{1, 0x11}};
    std::vector<std::vector<TBlock>> m_Blocks; // per MCU: blocks in scan order
    std::vector<int> m_BlockComponent;         // scan index of each block of an MCU
    bool m_Tables = true;
    int m_FrameMarker = 0xC0;
    int m_Precision = 8;
    int m_QuantByte = 0x00;
    int m_RestartInterval = -1;
    bool m_End = true;
};

void Segment(TBytes& out, int marker, const TBytes& payload)
{
    out.push_back(0xFF);
    out.push_back(uint8_t(marker));
    out.push_back(uint8_t((payload.size() + 2) >> 8));
    out.push_back(uint8_t(payload.size() + 2));
    out.insert(out.end(), payload.begin(), payload.end());
}

TBytes ScanData(const SJpegLayout& layout)
{
    CBitWriter bits;
    std::vector<int> predictors(layout.m_Components.size(), 0);
    for (const std::vector<TBlock>& mcu : layout.m_Blocks)
        for (size_t b = 0; b < mcu.size(); ++b)
            EncodeBlock(bits, mcu[b],
                        predictors[layout.m_BlockComponent.empty() ? 0 : layout.m_BlockComponent[b]]);
    return bits.Finish();
}

TBytes MakeJpeg(const SJpegLayout& layout)
{
    TBytes out = {0xFF, 0xD8};
    Segment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (layout.m_Tables)
    {
        TBytes dqt = {uint8_t(layout.m_QuantByte)};
        dqt.insert(dqt.end(), 64 * ((layout.m_QuantByte >> 4) + 1), 1);
        Segment(out, 0xDB, dqt);
    }
    if (layout.m_RestartInterval >= 0)
        Segment(out, 0xDD, {uint8_t(layout.m_RestartInterval >> 8), uint8_t(layout.m_RestartInterval)});
    TBytes sof = {uint8_t(layout.m_Precision), uint8_t(layout.m_Height >> 8),
                  uint8_t(layout.m_Height),    uint8_t(layout.m_Width >> 8),
                  uint8_t(layout.m_Width),     uint8_t(layout.m_Components.size())};
    for (const SComponentSpec& c : layout.m_Components)
        sof.insert(sof.end(), {uint8_t(c.m_Id), uint8_t(c.m_Sampling), 0});
    Segment(out, layout.m_FrameMarker, sof);
    if (layout.m_Tables)
    {
        Segment(out, 0xC4, HuffmanTable(0x00, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 4));
        Segment(out, 0xC4, HuffmanTable(0x10, AcSymbols(), 8));
    }
    TBytes sos = {uint8_t(layout.m_Components.size())};
    for (const SComponentSpec& c : layout.m_Components)
        sos.insert(sos.end(), {uint8_t(c.m_Id), 0x00});
    sos.insert(sos.end(), {0, 63, 0});
    Segment(out, 0xDA, sos);
    TBytes data = ScanData(layout);
    out.insert(out.end(), data.begin(), data.end());
    if (layout.m_End)
        out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

// The coefficient list of a flat block of the given sample value (exact with unit quantisers).
TBlock Flat(int value)
{
    TBlock b = {};
    b[0] = 8 * (value - 128);
    return b;
}

size_t FindMarker(const TBytes& data, int marker)
{
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == marker)
            return i;
    return data.size();
}

// The text Load throws, "" when it decodes, "false" when it returns false without a reason.
std::string Decode(CJPEGFormat& format, const TBytes& data, CImage& image)
{
    CMemoryReader in(data.data(), int32_t(data.size()));
    bool loaded = false;
    std::string text = ErrorOf([&] { loaded = format.Load(in, image); });
    return !text.empty() || loaded ? text : "false";
}

std::string Decode(const TBytes& data)
{
    CJPEGFormat format;
    CImage image;
    return Decode(format, data, image);
}

int Sample(const CImage& image, int x, int y, int channel)
{
    return image.m_Data[y * image.m_Format.m_Pitch + x * image.m_Format.m_ChannelCount + channel];
}
} // namespace

#ifdef VORNSCR_REFERENCE_DECODERS
TEST(JpegCorpus, AcceptedFilesMatchTheReferenceDecoder)
{
    // One decoder for every file, as the image registry uses it: tables of one file must not
    // leak into the next.
    CJPEGFormat format;
    int checked = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        if (!file.m_Accept)
            continue;
        SCOPED_TRACE(file.m_Path);
        const std::string text = ReadBytes(file.m_Path);
        const TBytes bytes(text.begin(), text.end());
        SReferenceImage reference;
        ASSERT_TRUE(ReferenceJpeg(bytes.data(), bytes.size(), reference));
        const int width = reference.m_Width, height = reference.m_Height;
        CImage image;
        ASSERT_EQ(Decode(format, bytes, image), "");
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
        ++checked;
    }
    EXPECT_GT(checked, 100);
}
#endif

TEST(JpegCorpus, RefusedFilesFailWithAReason)
{
    CJPEGFormat format;
    int refused = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        if (file.m_Accept)
            continue;
        const std::string text = ReadBytes(file.m_Path);
        CImage image;
        const std::string error = Decode(format, TBytes(text.begin(), text.end()), image);
        EXPECT_NE(error, "") << file.m_Path;
        EXPECT_NE(error, "false") << file.m_Path;
        ++refused;
    }
    EXPECT_GT(refused, 50);
}

TEST(JpegDecoder, SamplesAreExactAndClampedAtBothEnds)
{
    // The corpus (odd sizes, every sampling, lone components with any factors) is compared
    // with a tolerance; flat blocks must come out exact.
    SJpegLayout grey;
    grey.m_Width = 40;
    grey.m_Blocks = {{Flat(0)}, {TBlock{}}, {Flat(300)}, {Flat(255)}, {Flat(138)}};
    CJPEGFormat format;
    CImage image;
    ASSERT_EQ(Decode(format, MakeJpeg(grey), image), "");
    EXPECT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_L8, 40, 8));
    const int expected[] = {0, 128, 255, 255, 138};
    for (int b = 0; b < 5; ++b)
        for (int y : {0, 7})
            for (int x : {0, 7})
                EXPECT_EQ(Sample(image, 8 * b + x, y, 0), expected[b]) << b;
}

TEST(JpegDecoder, TablesStayInTheDecoderForTheNextFile)
{
    CJPEGFormat format;
    CImage image;
    SJpegLayout first;
    first.m_Blocks = {{Flat(90)}};
    ASSERT_EQ(Decode(format, MakeJpeg(first), image), "");

    // Without DQT and DHT the second file decodes with the first file's tables.
    SJpegLayout second;
    TBlock detail = Flat(160);
    detail[1] = 33;
    detail[2] = -17;
    detail[40] = 5;
    second.m_Blocks = {{detail}};
    CImage expected;
    ASSERT_EQ(Decode(MakeJpeg(second)), "");
    CJPEGFormat fresh;
    ASSERT_EQ(Decode(fresh, MakeJpeg(second), expected), "");
    second.m_Tables = false;
    ASSERT_EQ(Decode(format, MakeJpeg(second), image), "");
    EXPECT_EQ(0, memcmp(image.m_Data, expected.m_Data, 64));
    // A decoder that never saw tables refuses such a file.
    EXPECT_NE(Decode(MakeJpeg(second)), "");
}

TEST(JpegDecoder, RefusesWhatItDoesNotDecodeWithItsReason)
{
    SJpegLayout base;
    base.m_Width = base.m_Height = 16;
    base.m_Components = {{1, 0x11}, {2, 0x11}, {3, 0x11}};
    base.m_BlockComponent = {0, 1, 2};
    for (int m = 0; m < 4; ++m)
        base.m_Blocks.push_back({Flat(100), Flat(120), Flat(140)});
    auto with = [&](void (*change)(SJpegLayout&))
    {
        SJpegLayout s = base;
        change(s);
        return MakeJpeg(s);
    };
    const TBytes good = MakeJpeg(base);
    const size_t sos = FindMarker(good, 0xDA);
    TBytes componentScans = good; // a colour frame coded as separate scans, one per component
    componentScans[sos + 3] = 8;
    componentScans[sos + 4] = 1;
    componentScans.erase(componentScans.begin() + long(sos) + 7, componentScans.begin() + long(sos) + 11);
    TBytes spectral = good;
    spectral[sos + 4 + 1 + 6 + 1] = 1; // spectral end 1: a progressive scan
    TBytes acTable4 = good;
    acTable4[FindMarker(good, 0xC4) + 4] = 0x14;
    TBytes twoScans = good;
    twoScans[sos + 4] = 2;
    TBytes noDcCode = good; // DC sizes 12 ... 15 have no code: the bits 1111 match nothing
    noDcCode[sos + 2 + 12] = 0xF0;
    TBytes cut = good; // the last block's bits are missing
    cut.erase(cut.begin() + long(FindMarker(cut, 0xD9)) - 1, cut.end());
    cut.insert(cut.end(), {0xFF, 0xD9});
    TBytes stray = good;
    stray.insert(stray.begin() + long(FindMarker(stray, 0xDB)), 0x42);
    TBytes noScan = good;
    noScan.resize(sos);
    noScan.insert(noScan.end(), {0xFF, 0xD9});
    TBytes inTables = good;
    inTables.resize(FindMarker(good, 0xC4) + 10);

    const std::pair<TBytes, std::string> cases[] = {
        {with([](SJpegLayout& s) { s.m_RestartInterval = 0; }), ""},
        {with([](SJpegLayout& s) { s.m_FrameMarker = 0xC1; }), "Err: jpeg frame type 0xC1 is not supported"},
        {with([](SJpegLayout& s) { s.m_FrameMarker = 0xC2; }), "Err: jpeg frame type 0xC2 is not supported"},
        {with([](SJpegLayout& s) { s.m_FrameMarker = 0xC3; }), "Err: jpeg frame type 0xC3 is not supported"},
        {with([](SJpegLayout& s) { s.m_FrameMarker = 0xC9; }), "Err: jpeg frame type 0xC9 is not supported"},
        {with([](SJpegLayout& s) { s.m_Precision = 12; }), "Err: jpeg sample precision 12 is not supported"},
        {with([](SJpegLayout& s) { s.m_RestartInterval = 1; }),
         "Err: jpeg restart intervals are not supported"},
        {with([](SJpegLayout& s) { s.m_QuantByte = 0x10; }),
         "Err: jpeg 16-bit quantisation tables are not supported"},
        {with([](SJpegLayout& s) { s.m_QuantByte = 0x04; }),
         "Err: jpeg quantisation table number 4 is above 3"},
        {with(
             [](SJpegLayout& s) {
                 s.m_Components.push_back({4, 0x11});
             }),
         "Err: jpeg with 4 components is not supported"},
        {with([](SJpegLayout& s) { s.m_Components.pop_back(); }),
         "Err: jpeg with 2 components is not supported"},
        {with(
             [](SJpegLayout& s) {
                 s.m_Components = {{1, 0x31}, {2, 0x21}, {3, 0x11}};
             }),
         "Err: jpeg sampling factors 0x21 are not supported"},
        {componentScans, "Err: jpeg with more than one scan is not supported"},
        {spectral, "Err: jpeg scan is not sequential"},
        {acTable4, "HT Error!"},
        {twoScans, "Invalid number of scans"},
        {noDcCode, "Coudn't find huffman entry"},
        {cut, "Unexpected end of jpeg data"},
        {{0xFF, 0xD9}, "Err: not a jpeg"},
        {stray, "Err: not a segment, 20"},
        {noScan, "Err: jpeg without image data"},
        {inTables, "Err: jpeg ends before its image data"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decode(c.first), c.second);

    // Runs that reach past coefficient 63: four runs of sixteen zeros, or three and then a
    // value after fifteen more zeros.
    SJpegLayout grey;
    grey.m_Blocks = {{Flat(100)}};
    for (const std::vector<int>& symbols :
         std::vector<std::vector<int>>{{1, 1, 1, 1}, {1, 1, 1, 2 + 15 * 10}})
    {
        CBitWriter bits;
        bits.Put(0, 4); // DC size 0
        for (int index : symbols)
        {
            bits.Put(uint32_t(index), 8);
            if (index > 1)
                bits.Put(1, 1);
        }
        bits.Put(0, 8);
        const TBytes body = bits.Finish();
        TBytes data = MakeJpeg(grey);
        data.resize(FindMarker(data, 0xDA) + 10);
        data.insert(data.end(), body.begin(), body.end());
        data.insert(data.end(), {0xFF, 0xD9});
        EXPECT_EQ(Decode(data), "AC run past the end of a jpeg block");
    }
}

TEST(JpegDecoder, SegmentsAfterTheImageDataAreReadFromItsEndMarker)
{
    // Cut right after the image data: the image is whole.
    SJpegLayout layout;
    layout.m_Blocks = {{Flat(60)}};
    layout.m_End = false;
    CJPEGFormat format;
    CImage image;
    EXPECT_EQ(Decode(format, MakeJpeg(layout), image), "");
    EXPECT_EQ(Sample(image, 3, 3, 0), 60);

    // However far the bit reader had read ahead: scans of several lengths put the marker at
    // every point of a refill.
    for (int blocks = 1; blocks <= 4; ++blocks)
        for (int size = 1; size <= 8; ++size)
        {
            SJpegLayout longer;
            longer.m_Width = 8 * blocks;
            longer.m_End = false;
            for (int b = 0; b < blocks; ++b)
            {
                TBlock block = Flat(60 + 7 * b);
                block[1] = (1 << size) - 1;
                longer.m_Blocks.push_back({block});
            }
            TBytes data = MakeJpeg(longer);
            Segment(data, 0xFE, TBytes(40, 0x11));
            data.insert(data.end(), {0xFF, 0xD9});
            EXPECT_EQ(Decode(format, data, image), "") << blocks << " " << size;
        }
}
