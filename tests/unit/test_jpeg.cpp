#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "logcapture.h"
#include "reference.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
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

// Runs Load; a thrown text is returned in *error.
bool Decode(CJPEGFormat& format, const TBytes& data, CImage& image, std::string* error = nullptr)
{
    CMemoryReader in(data.data(), int32_t(data.size()));
    bool loaded = false;
    std::string text = ErrorOf([&] { loaded = format.Load(in, image); });
    if (!text.empty())
        Log("%s\n", text.c_str()); // as the program reports a refused image
    if (error)
        *error = text;
    return loaded;
}

int Sample(const CImage& image, int x, int y, int channel)
{
    return image.m_Data[y * image.m_Format.m_Pitch + x * image.m_Format.m_ChannelCount + channel];
}

} // namespace

#ifdef VORNSCR_REFERENCE_DECODERS
TEST(JpegCorpus, AcceptedFilesMatchTheReferenceDecoder)
{
    // One decoder for every file, as the image registry uses it.
    CJPEGFormat format;
    int checked = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        if (!file.m_Accept)
            continue;
        SCOPED_TRACE(file.m_Path);
        std::ifstream stream(file.m_Path, std::ios::binary);
        const TBytes bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        SReferenceImage reference;
        ASSERT_TRUE(ReferenceJpeg(bytes.data(), bytes.size(), reference));
        const int width = reference.m_Width, height = reference.m_Height;
        CImage image;
        std::string error;
        ASSERT_TRUE(Decode(format, bytes, image, &error)) << error;
        ASSERT_EQ(image.m_Format.m_Width, width);
        ASSERT_EQ(image.m_Format.m_Height, height);
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

TEST(JpegCorpus, RefusedFilesFailWithoutAnImage)
{
    CLogCapture log;
    CJPEGFormat format;
    int refused = 0;
    for (const SCorpusFile& file : CorpusFiles("jpeg/"))
    {
        if (file.m_Accept)
            continue;
        SCOPED_TRACE(file.m_Path);
        CFileReader in(file.m_Path.c_str());
        CImage image;
        log.Clear();
        try
        {
            EXPECT_FALSE(format.Load(in, image));
            EXPECT_TRUE(log.Contains("Err: ")) << log.Text();
        }
        catch (const CException& e)
        {
            EXPECT_STRNE(e.GetMessage(), "");
        }
        ++refused;
    }
    EXPECT_GT(refused, 50);
}

TEST(JpegFormat, IsFoundByExtensionThroughTheImageRegistry)
{
    for (const char* name : {"a.jpg", "dir/b.jpeg"})
    {
        CImageFormat* format = FindImageFormat(GetMimeTypeFromFileName(name));
        ASSERT_NE(format, nullptr) << name;
        EXPECT_NE(dynamic_cast<CJPEGFormat*>(format), nullptr) << name;
    }
    EXPECT_EQ(dynamic_cast<CJPEGFormat*>(FindImageFormat(GetMimeTypeFromFileName("c.JPG"))), nullptr);

    std::string path = std::string(CORPUS_DIR) + "/jpeg/debsrc_pillow-9.4.0/hopper_gray.jpg";
    CFileReader in(path.c_str());
    CImage image;
    ASSERT_TRUE(image.Load(in));
    EXPECT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_L8, 128, 128));
}

TEST(JpegDecoder, FlatBlocksAndLayouts)
{
    CJPEGFormat format;
    CImage image;
    // Grey: a block of zeros is mid-grey, a DC of 80 adds 10.
    SJpegLayout grey;
    grey.m_Width = 16;
    grey.m_Blocks = {{TBlock{}}, {Flat(138)}};
    ASSERT_TRUE(Decode(format, MakeJpeg(grey), image));
    EXPECT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_L8, 16, 8));
    EXPECT_EQ(Sample(image, 0, 0, 0), 128);
    EXPECT_EQ(Sample(image, 7, 7, 0), 128);
    EXPECT_EQ(Sample(image, 8, 0, 0), 138);
    EXPECT_EQ(Sample(image, 15, 7, 0), 138);

    // Colour 4:2:0: four luminance blocks and one of each chroma per 16 x 16 MCU.
    SJpegLayout colour;
    colour.m_Width = colour.m_Height = 16;
    colour.m_Components = {{1, 0x22}, {2, 0x11}, {3, 0x11}};
    colour.m_BlockComponent = {0, 0, 0, 0, 1, 2};
    colour.m_Blocks = {{Flat(10), Flat(20), Flat(30), Flat(40), Flat(100), Flat(200)}};
    ASSERT_TRUE(Decode(format, MakeJpeg(colour), image));
    EXPECT_EQ(image.m_Format, CImage::CFormat(CImage::CFormat::PRESET_YCBCR8, 16, 16));
    const int luma[4][2] = {{0, 0}, {8, 0}, {0, 8}, {8, 8}};
    for (int b = 0; b < 4; ++b)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
            {
                ASSERT_EQ(Sample(image, luma[b][0] + x, luma[b][1] + y, 0), 10 * (b + 1));
                ASSERT_EQ(Sample(image, luma[b][0] + x, luma[b][1] + y, 1), 100);
                ASSERT_EQ(Sample(image, luma[b][0] + x, luma[b][1] + y, 2), 200);
            }

    // 4:2:2: two luminance blocks side by side; a chroma block with a horizontal ramp shows that
    // each chroma sample covers two pixels across and one down.
    SJpegLayout wide;
    wide.m_Width = 16;
    wide.m_Components = {{1, 0x21}, {2, 0x11}, {3, 0x11}};
    wide.m_BlockComponent = {0, 0, 1, 2};
    TBlock ramp = Flat(128);
    ramp[1] = -200; // first horizontal frequency: samples rise from left to right
    wide.m_Blocks = {{Flat(50), Flat(60), ramp, Flat(70)}};
    ASSERT_TRUE(Decode(format, MakeJpeg(wide), image));
    EXPECT_EQ(Sample(image, 7, 3, 0), 50);
    EXPECT_EQ(Sample(image, 8, 3, 0), 60);
    for (int x = 0; x < 16; x += 2)
    {
        EXPECT_EQ(Sample(image, x, 0, 1), Sample(image, x + 1, 0, 1));
        EXPECT_EQ(Sample(image, x, 0, 1), Sample(image, x, 7, 1));
    }
    EXPECT_LT(Sample(image, 0, 0, 1), Sample(image, 2, 0, 1));
    EXPECT_LT(Sample(image, 12, 0, 1), Sample(image, 14, 0, 1));
    EXPECT_EQ(Sample(image, 5, 5, 2), 70);
}

TEST(JpegDecoder, PartialMcusAreDecodedAndClipped)
{
    // 9 x 17 in 4:2:0: a grid of 1 x 2 MCUs of 16 x 16, clipped at the right and bottom.
    SJpegLayout layout;
    layout.m_Width = 9;
    layout.m_Height = 17;
    layout.m_Components = {{1, 0x22}, {2, 0x11}, {3, 0x11}};
    layout.m_BlockComponent = {0, 0, 0, 0, 1, 2};
    layout.m_Blocks = {{Flat(10), Flat(20), Flat(30), Flat(40), Flat(50), Flat(60)},
                       {Flat(70), Flat(80), Flat(90), Flat(100), Flat(110), Flat(120)}};
    CJPEGFormat format;
    CImage image;
    ASSERT_TRUE(Decode(format, MakeJpeg(layout), image));
    EXPECT_EQ(image.m_Format.m_Size, 9 * 17 * 3);
    EXPECT_EQ(Sample(image, 7, 7, 0), 10);
    EXPECT_EQ(Sample(image, 8, 7, 0), 20);
    EXPECT_EQ(Sample(image, 8, 15, 0), 40);
    EXPECT_EQ(Sample(image, 0, 16, 0), 70);
    EXPECT_EQ(Sample(image, 8, 16, 0), 80);
    EXPECT_EQ(Sample(image, 8, 15, 1), 50);
    EXPECT_EQ(Sample(image, 8, 16, 2), 120);
}

TEST(JpegDecoder, LoneComponentIsCodedBlockByBlockWhateverItsFactors)
{
    // A grey image marked 2 x 2: its blocks still come in raster order, three to a row.
    SJpegLayout layout;
    layout.m_Width = 24;
    layout.m_Height = 16;
    layout.m_Components = {{1, 0x22}};
    for (int b = 0; b < 6; ++b)
        layout.m_Blocks.push_back({Flat(20 + 10 * b)});
    CJPEGFormat format;
    CImage image;
    ASSERT_TRUE(Decode(format, MakeJpeg(layout), image));
    for (int b = 0; b < 6; ++b)
        EXPECT_EQ(Sample(image, (b % 3) * 8 + 4, (b / 3) * 8 + 4, 0), 20 + 10 * b) << b;
}

TEST(JpegDecoder, TablesStayInTheDecoderForTheNextFile)
{
    CJPEGFormat format;
    CImage image;
    SJpegLayout first;
    first.m_Blocks = {{Flat(90)}};
    ASSERT_TRUE(Decode(format, MakeJpeg(first), image));

    // Without DQT and DHT the second file decodes with the first file's tables.
    SJpegLayout second;
    second.m_Tables = false;
    TBlock detail = Flat(160);
    detail[1] = 33;
    detail[2] = -17;
    detail[40] = 5;
    second.m_Blocks = {{detail}};
    ASSERT_TRUE(Decode(format, MakeJpeg(second), image));
    CImage expected;
    second.m_Tables = true;
    CJPEGFormat fresh;
    ASSERT_TRUE(Decode(fresh, MakeJpeg(second), expected));
    EXPECT_EQ(0, memcmp(image.m_Data, expected.m_Data, 64));

    // A decoder that never saw tables refuses such a file.
    second.m_Tables = false;
    CLogCapture log;
    CJPEGFormat empty;
    EXPECT_FALSE(Decode(empty, MakeJpeg(second), image));
    EXPECT_TRUE(log.Contains("Err: "));

    // Real files with different tables, one after the other and back, on the same object.
    const std::string root = std::string(CORPUS_DIR) + "/jpeg/";
    const char* names[] = {"debsrc_pillow-9.4.0/hopper.jpg", "deb_gdk-pixbuf-tests/cat.jpg",
                           "debsrc_pillow-9.4.0/hopper.jpg"};
    std::vector<std::vector<uint8_t>> results;
    for (const char* name : names)
    {
        CFileReader in((root + name).c_str());
        CImage decoded;
        ASSERT_TRUE(format.Load(in, decoded)) << name;
        results.emplace_back(decoded.m_Data, decoded.m_Data + decoded.m_Format.m_Size);
    }
    CJPEGFormat other;
    CFileReader in((root + names[1]).c_str());
    CImage alone;
    ASSERT_TRUE(other.Load(in, alone));
    EXPECT_EQ(results[0], results[2]);
    EXPECT_EQ(results[1], std::vector<uint8_t>(alone.m_Data, alone.m_Data + alone.m_Format.m_Size));
}

TEST(JpegDecoder, RefusesWhatItDoesNotDecodeWithALogLine)
{
    SJpegLayout base;
    base.m_Width = base.m_Height = 16;
    base.m_Components = {{1, 0x11}, {2, 0x11}, {3, 0x11}};
    base.m_BlockComponent = {0, 1, 2};
    for (int m = 0; m < 4; ++m)
        base.m_Blocks.push_back({Flat(100), Flat(120), Flat(140)});
    {
        CJPEGFormat format;
        CImage image;
        ASSERT_TRUE(Decode(format, MakeJpeg(base), image));
        SJpegLayout zeroInterval = base;
        zeroInterval.m_RestartInterval = 0;
        EXPECT_TRUE(Decode(format, MakeJpeg(zeroInterval), image));
    }

    struct SCase
    {
        const char* m_Name;
        TBytes m_Data;
    };
    std::vector<SCase> cases;
    for (int marker : {0xC1, 0xC2, 0xC3, 0xC9})
    {
        SJpegLayout s = base;
        s.m_FrameMarker = marker;
        cases.push_back({"frame kind", MakeJpeg(s)});
    }
    SJpegLayout s = base;
    s.m_Precision = 12;
    cases.push_back({"12-bit", MakeJpeg(s)});
    s = base;
    s.m_RestartInterval = 1;
    cases.push_back({"restart interval", MakeJpeg(s)});
    s = base;
    s.m_QuantByte = 0x10;
    cases.push_back({"16-bit quantisation", MakeJpeg(s)});
    s = base;
    s.m_QuantByte = 0x04;
    cases.push_back({"quantisation table 4", MakeJpeg(s)});
    s = base;
    s.m_Components.push_back({4, 0x11});
    cases.push_back({"four components", MakeJpeg(s)});
    s = base;
    s.m_Components = {{1, 0x11}, {2, 0x11}};
    cases.push_back({"two components", MakeJpeg(s)});
    s = base;
    s.m_Components = {{1, 0x31}, {2, 0x21}, {3, 0x11}};
    cases.push_back({"sampling 3:2", MakeJpeg(s)});
    {
        // A colour frame coded as separate scans, one per component.
        TBytes data = MakeJpeg(base);
        size_t sos = FindMarker(data, 0xDA);
        data[sos + 3] = 8;
        data[sos + 4] = 1;
        data.erase(data.begin() + long(sos) + 7, data.begin() + long(sos) + 11);
        cases.push_back({"component scans", data});
    }
    {
        TBytes data = MakeJpeg(base);
        data[FindMarker(data, 0xDA) + 4 + 1 + 6 + 1] = 1; // spectral end 1: a progressive scan
        cases.push_back({"spectral selection", data});
    }

    CLogCapture log;
    for (const SCase& c : cases)
    {
        CJPEGFormat format;
        CImage image;
        log.Clear();
        std::string error;
        EXPECT_FALSE(Decode(format, c.m_Data, image, &error)) << c.m_Name;
        EXPECT_TRUE(log.Contains("Err: ")) << c.m_Name << ": " << log.Text();
    }
}

TEST(JpegDecoder, CorruptDataThrowsItsText)
{
    SJpegLayout base;
    base.m_Width = 16;
    base.m_Blocks = {{Flat(100)}, {Flat(110)}};
    CJPEGFormat format;
    CImage image;
    std::string error;

    TBytes data = MakeJpeg(base);
    size_t dht = FindMarker(data, 0xC4);
    data[dht + 4] = 0x14; // AC table 4
    EXPECT_FALSE(Decode(format, data, image, &error));
    EXPECT_EQ(error, "HT Error!");

    data = MakeJpeg(base);
    data[FindMarker(data, 0xDA) + 4] = 2;
    EXPECT_FALSE(Decode(format, data, image, &error));
    EXPECT_EQ(error, "Invalid number of scans");

    // DC sizes 12 ... 15 have no code: the bits 1111 match nothing.
    data = MakeJpeg(base);
    size_t scan = FindMarker(data, 0xDA) + 2 + 8;
    data[scan] = 0xF0;
    EXPECT_FALSE(Decode(format, data, image, &error));
    EXPECT_EQ(error, "Coudn't find huffman entry");

    // Runs that reach past coefficient 63: four runs of sixteen zeros, or three and then a
    // value after fifteen more zeros.
    const std::vector<std::vector<int>> overruns = {{1, 1, 1, 1}, {1, 1, 1, 2 + 15 * 10}};
    for (const std::vector<int>& symbols : overruns)
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
        TBytes body = bits.Finish();
        data = MakeJpeg(base);
        data.resize(FindMarker(data, 0xDA) + 10);
        data.insert(data.end(), body.begin(), body.end());
        data.insert(data.end(), {0xFF, 0xD9});
        EXPECT_FALSE(Decode(format, data, image, &error));
        EXPECT_EQ(error, "AC run past the end of a jpeg block");
    }

    // Scan data cut short: the second block's bits are missing.
    data = MakeJpeg(base);
    size_t end = FindMarker(data, 0xD9);
    data.erase(data.begin() + long(end) - 1, data.end());
    data.insert(data.end(), {0xFF, 0xD9});
    EXPECT_FALSE(Decode(format, data, image, &error));
    EXPECT_EQ(error, "Unexpected end of jpeg data");
}

TEST(JpegDecoder, MarkerLoopFailuresAreLogged)
{
    CLogCapture log;
    CJPEGFormat format;
    CImage image;
    EXPECT_FALSE(Decode(format, {0xFF, 0xD9}, image));
    EXPECT_EQ(log.Text(), "Err: not a jpeg\n");

    SJpegLayout layout;
    layout.m_Blocks = {{Flat(60)}};
    TBytes data = MakeJpeg(layout);
    data.insert(data.begin() + long(FindMarker(data, 0xDB)), 0x42);
    log.Clear();
    EXPECT_FALSE(Decode(format, data, image));
    EXPECT_EQ(log.Text(), "Err: not a segment, 20\n");

    // Cut inside the tables: no image, and the loop stops at the end of the stream.
    data = MakeJpeg(layout);
    data.resize(FindMarker(data, 0xC4) + 10);
    log.Clear();
    EXPECT_FALSE(Decode(format, data, image));
    EXPECT_TRUE(log.Contains("Err: "));

    // Cut right after the image data: the image is whole.
    layout.m_End = false;
    log.Clear();
    EXPECT_TRUE(Decode(format, MakeJpeg(layout), image));
    EXPECT_EQ(Sample(image, 3, 3, 0), 60);

    // Segments after the image data are read from the marker that ended it, however far the
    // bit reader had read ahead (scans of several lengths put the marker at every point of a
    // refill).
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
            data = MakeJpeg(longer);
            Segment(data, 0xFE, TBytes(40, 0x11));
            data.insert(data.end(), {0xFF, 0xD9});
            log.Clear();
            EXPECT_TRUE(Decode(format, data, image)) << blocks << " " << size;
            EXPECT_EQ(log.Text(), "") << blocks << " " << size;
        }

    // An end marker before any scan is no image.
    data = MakeJpeg(layout);
    data.resize(FindMarker(data, 0xDA));
    data.insert(data.end(), {0xFF, 0xD9});
    log.Clear();
    EXPECT_FALSE(Decode(format, data, image));
    EXPECT_TRUE(log.Contains("Err: "));
}

TEST(JpegScanReader, RemovesStuffingAndStopsAtTheNextMarker)
{
    const uint8_t bytes[] = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xD9, 0x56};
    CMemoryReader source(bytes, sizeof bytes);
    CJPEGScanReader reader(&source);
    reader.BeginScan();
    uint8_t out[8] = {};
    EXPECT_EQ(reader.Read(out, 8), 3);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0x34);
    EXPECT_EQ(reader.m_Marker, 0xD9);
    EXPECT_TRUE(reader.IsEOF());
    // Past the marker the scan reads as zeros, which are counted.
    EXPECT_EQ(reader.NextScanByte(), 0u);
    EXPECT_EQ(reader.m_Padding, 1);
    EXPECT_EQ(reader.ReadRawByte(), 0x56);
    EXPECT_EQ(reader.ReadRawByte(), -1);
}
