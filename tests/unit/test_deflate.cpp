// Inflate, zlib and run-length streams, checked against zlib's own compressor and hand-made
// bit streams for the cases zlib never writes.
#include "keth/ext/compr/deflate.h"
#include "keth/func/exception.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::vector<unsigned char> Bytes;

const char* const END_TEXT = "Unexpected end of compressed data";

Bytes Compress(const Bytes& data, int level, int strategy, int windowBits = 15, int memLevel = 8)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, memLevel, strategy), Z_OK);
    Bytes out(deflateBound(&z, uLong(data.size())) + 64);
    z.next_in = const_cast<unsigned char*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Text-like data with long and overlapping repeats, runs, and incompressible stretches.
Bytes MakeData(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    const char* words[] = {"vorn ",    "screen ", "saver ",   "model ",
                           "texture ", "\n",      "aaaaaaaa", "0123456789"};
    Bytes data;
    while (data.size() < size)
    {
        unsigned kind = random() % 10;
        if (kind < 6)
        {
            const char* w = words[random() % 8];
            data.insert(data.end(), w, w + strlen(w));
        }
        else if (kind < 8)
            data.insert(data.end(), random() % 300, (unsigned char)(random()));
        else
            for (unsigned i = random() % 200; i > 0; --i)
                data.push_back((unsigned char)random());
    }
    data.resize(size);
    return data;
}

// Reads a stream to its end in requests of `step` bytes.
Bytes ReadAll(CInputStream& in, int32_t step, size_t limit = 1 << 24)
{
    Bytes out;
    std::vector<unsigned char> chunk(static_cast<size_t>(step));
    for (;;)
    {
        int32_t got = in.Read(chunk.data(), step);
        EXPECT_GE(got, 0);
        if (got <= 0)
            break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
        if (out.size() > limit)
            break;
    }
    return out;
}

Bytes Inflate(const Bytes& zlibStream, int32_t step)
{
    CMemoryReader source(zlibStream.data(), int32_t(zlibStream.size()));
    CZReader reader(&source);
    EXPECT_TRUE(reader.IsOpen()) << (reader.m_Error ? reader.m_Error : "");
    return ReadAll(reader, step);
}

std::string InflateError(const Bytes& deflateData, int32_t request = 1 << 20)
{
    CMemoryReader source(deflateData.data(), int32_t(deflateData.size()));
    CDeflateReader reader(&source, 32768);
    Bytes out(static_cast<size_t>(request));
    return ErrorOf(
        [&]
        {
            while (reader.Read(out.data(), request) > 0)
            {
            }
        });
}

// Writes DEFLATE bit fields: plain values least significant bit first, Huffman codes most
// significant bit first.
class CBitWriter
{
public:
    void Bits(unsigned value, int n)
    {
        for (int i = 0; i < n; ++i)
            Bit((value >> i) & 1);
    }
    void Code(unsigned code, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    // Fixed-code symbols of RFC 1951.
    void Fixed(int symbol)
    {
        if (symbol < 144)
            Code(0x30 + symbol, 8);
        else if (symbol < 256)
            Code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            Code(symbol - 256, 7);
        else
            Code(0xC0 + symbol - 280, 8);
    }
    void Bit(unsigned bit)
    {
        if (m_Used == 0)
            m_Data.push_back(0);
        m_Data.back() |= (unsigned char)(bit << m_Used);
        m_Used = (m_Used + 1) & 7;
    }
    Bytes m_Data;
    int m_Used = 0;
};

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
} // namespace

TEST(HuffmanAlphabet, BuildsCanonicalCodesAndDecodesThem)
{
    // The example of RFC 1951 3.2.2: lengths (3, 3, 3, 3, 3, 2, 4, 4) for A ... H.
    CHuffmanAlphabet alphabet;
    const int lengths[] = {3, 3, 3, 3, 3, 2, 4, 4};
    for (int i = 0; i < 8; ++i)
        alphabet.AddEntry('A' + i, lengths[i], ~0u);
    alphabet.Build();
    ASSERT_EQ(alphabet.m_Entries.GetCount(), 8);
    EXPECT_EQ(alphabet.m_Entries[0].symbol, 'F');
    EXPECT_EQ(alphabet.m_Entries[7].symbol, 'H');
    // F = 00, A = 010, ..., H = 1111, stored reversed.
    EXPECT_EQ(alphabet.m_Entries[0].code, 0u);
    EXPECT_EQ(alphabet.m_Entries[1].code, 0x2u);
    EXPECT_EQ(alphabet.m_Entries[7].code, 0xFu);

    CBitWriter w;
    const char* message = "HEADFACEG";
    const unsigned codes[] = {2, 3, 4, 5, 6, 0, 14, 15};
    for (const char* c = message; *c; ++c)
        w.Code(codes[*c - 'A'], lengths[*c - 'A']);
    CMemoryReader source(w.m_Data.data(), int32_t(w.m_Data.size()));
    CBitReader bits(&source);
    std::string decoded;
    for (size_t i = 0; i < strlen(message); ++i)
        decoded += char(alphabet.Decode(bits));
    EXPECT_EQ(decoded, message);
    EXPECT_LT(bits.m_Count, 8);
}

TEST(HuffmanAlphabet, RejectsInvalidCodeSets)
{
    auto build = [](std::vector<int> lengths, bool allowIncomplete)
    {
        CHuffmanAlphabet alphabet;
        for (size_t i = 0; i < lengths.size(); ++i)
            alphabet.AddEntry(int(i), lengths[i], ~0u);
        return ErrorOf([&] { alphabet.Build(allowIncomplete); });
    };
    EXPECT_EQ(build({1, 1, 1}, true), "Invalid Huffman code lengths");   // over-subscribed
    EXPECT_EQ(build({1, 2}, false), "Invalid Huffman code lengths");     // incomplete
    EXPECT_EQ(build({1, 2}, true), "");                                  // allowed on request
    EXPECT_EQ(build({1, 17, 17}, true), "Invalid Huffman code lengths"); // too long
    EXPECT_EQ(build({2, 2, 2, 2}, false), "");

    // A code that the set does not hold ends decoding instead of restarting at the root.
    CHuffmanAlphabet alphabet;
    alphabet.AddEntry(7, 1, ~0u);
    alphabet.Build(true);
    unsigned char ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    CMemoryReader source(ones, 4);
    CBitReader bits(&source);
    EXPECT_EQ(ErrorOf([&] { alphabet.Decode(bits); }), "Invalid Huffman code");
}

TEST(BitReader, ReadsLeastSignificantBitFirstAndStopsAtTheEnd)
{
    unsigned char data[] = {0xB5, 0x01};
    CMemoryReader source(data, 2);
    CBitReader bits(&source);
    EXPECT_EQ(bits.GetBits(0), 0u);
    EXPECT_EQ(bits.GetBits(1), 1u);
    EXPECT_EQ(bits.GetBits(3), 0x2u);
    EXPECT_EQ(bits.GetBits(6), 0x1Bu);
    EXPECT_EQ(bits.GetBits(6), 0u);
    EXPECT_EQ(ErrorOf([&] { bits.GetBits(1); }), END_TEXT);
}

TEST(ZReader, HeaderVerdicts)
{
    struct
    {
        unsigned char cmf, flg;
        const char* error;
    } cases[] = {
        {0x78, 0x9C, nullptr},
        {0x78, 0x9D, "Unable to load. zlib header check failed"},
        {0x78, 0xBB, "Unable to load. Don't know how to unpack when the dict flag is set"},
        {0x79, 0x18, "Unable to load. Unknown zlib compression method"},
        // Several faults: the last test's text stays.
        {0x77, 0xBF, "Unable to load. Unknown zlib compression method"},
    };
    for (const auto& c : cases)
    {
        unsigned char data[] = {c.cmf, c.flg, 0x03, 0x00};
        CMemoryReader source(data, 4);
        CZReader reader(&source);
        if (c.error)
        {
            ASSERT_NE(reader.m_Error, nullptr);
            EXPECT_STREQ(reader.m_Error, c.error);
            EXPECT_FALSE(reader.IsOpen());
        }
        else
        {
            EXPECT_EQ(reader.m_Error, nullptr);
            EXPECT_TRUE(reader.IsOpen());
        }
    }
}

TEST(DeflateReader, StoredBlocks)
{
    // An empty stored block, then a final one holding "abc".
    Bytes data = {0x78, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x03, 0x00,
                  0xFC, 0xFF, 'a',  'b',  'c',  0x02, 0x4D, 0x01, 0x27};
    EXPECT_EQ(Inflate(data, 100), (Bytes{'a', 'b', 'c'}));
    data.back() ^= 1;
    EXPECT_EQ(ErrorOf([&] { Inflate(data, 100); }), "Unable to load. zlib data check failed");

    Bytes badLength = {0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'};
    EXPECT_EQ(InflateError(badLength), "Invalid stored block length");
    Bytes shortData = {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'};
    EXPECT_EQ(InflateError(shortData), END_TEXT);
}

TEST(DeflateReader, OverlappingMatchAndEndOfData)
{
    // Fixed block: literal 'x', then length 10 at distance 1.
    CBitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.Fixed('x');
    w.Fixed(264);
    w.Code(0, 5);
    w.Fixed(256);
    CMemoryReader source(w.m_Data.data(), int32_t(w.m_Data.size()));
    CDeflateReader reader(&source, 32768);
    unsigned char out[32];
    EXPECT_EQ(reader.Read(out, 4), 4);
    EXPECT_FALSE(reader.IsEOF());
    EXPECT_EQ(reader.Read(out + 4, 32), 7);
    EXPECT_EQ(std::string((char*)out, 11), std::string(11, 'x'));
    EXPECT_TRUE(reader.IsEOF());
    EXPECT_EQ(reader.Read(out, 32), 0);
}

TEST(DeflateReader, RejectsMalformedBlocks)
{
    // A final fixed block of these symbols; a pair is a symbol and the five bits of a distance.
    auto fixed = [](std::vector<std::pair<int, int>> symbols)
    {
        CBitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        for (const auto& s : symbols)
        {
            w.Fixed(s.first);
            if (s.second >= 0)
                w.Code(unsigned(s.second), 5);
        }
        return w.m_Data;
    };
    // The header of a final dynamic block with these counts, then code-length code lengths.
    auto dynamic = [](int literals, std::vector<int> codeLengths)
    {
        CBitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(unsigned(literals), 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        for (int length : codeLengths)
            w.Bits(unsigned(length), 3);
        return w;
    };
    CBitWriter reserved;
    reserved.Bits(1, 1);
    reserved.Bits(3, 2);
    // The first length is a repeat: code-length code {16: 1 bit, 0: 1 bit}, sorting as 0, 16.
    CBitWriter repeatFirst = dynamic(0, {1, 0, 0, 1});
    repeatFirst.Code(1, 1);
    repeatFirst.Bits(0, 2);
    const struct
    {
        Bytes m_Data;
        const char* m_Error;
    } cases[] = {
        {reserved.m_Data, "ROARRRRRRR! Can't handle this blocktype"},
        {fixed({{257, 0}, {256, -1}}), "Invalid distance, too far back"}, // before any byte
        {fixed({{'a', -1}, {286, 0}}), "Invalid Huffman code"},
        {fixed({{'a', -1}, {257, 30}}), "Invalid Huffman code"},
        {dynamic(0, {1, 1, 1, 0}).m_Data, "Invalid Huffman code lengths"}, // three one-bit codes
        {repeatFirst.m_Data, "Invalid Huffman code lengths"},
        {dynamic(30, {}).m_Data, "Invalid Huffman code lengths"}, // 287 literal/length codes
    };
    for (const auto& c : cases)
        EXPECT_EQ(InflateError(c.m_Data), c.m_Error);
}

TEST(DeflateReader, TruncatedStreamsFailInsteadOfInventingBytes)
{
    Bytes data = MakeData(20000, 7);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED})
    {
        Bytes z = Compress(data, 6, strategy);
        // Everything before the Adler-32 trailer is needed.
        for (size_t cut = 2; cut + 4 < z.size(); cut += 1 + cut / 8)
        {
            Bytes prefix(z.begin() + 2, z.begin() + long(cut));
            EXPECT_EQ(InflateError(prefix, 4096), END_TEXT) << "cut at " << cut;
        }
    }
}

TEST(DeflateReader, MatchesZlibAtEveryLevelAndStrategy)
{
    std::vector<Bytes> inputs = {Bytes(), Bytes(1, 'q'), MakeData(300, 1), MakeData(100000, 2),
                                 Bytes(70000, 0)};
    std::mt19937 random(3);
    Bytes noise(40000);
    for (auto& b : noise)
        b = (unsigned char)random();
    inputs.push_back(noise);

    int streams = 0;
    for (const Bytes& data : inputs)
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
            {
                Bytes z = Compress(data, level, strategy);
                ASSERT_EQ(Inflate(z, 1 << 20), data) << "level " << level << " strategy " << strategy;
                ++streams;
            }
    // Small windows and memory levels change how the encoder splits blocks.
    for (int windowBits = 9; windowBits <= 15; windowBits += 3)
        for (int memLevel : {1, 9})
            ASSERT_EQ(Inflate(Compress(inputs[3], 9, Z_DEFAULT_STRATEGY, windowBits, memLevel), 65536),
                      inputs[3]);
    EXPECT_EQ(streams, 300);
}

TEST(DeflateReader, StateSurvivesAnyRequestSize)
{
    Bytes data = MakeData(50000, 11);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED})
        for (int level : {0, 1, 9})
        {
            Bytes z = Compress(data, level, strategy);
            for (int32_t step : {1, 2, 3, 257, 65535})
                ASSERT_EQ(Inflate(z, step), data) << "step " << step << " level " << level;

            // Skipping with a null buffer keeps the stream in step.
            CMemoryReader source(z.data(), int32_t(z.size()));
            CZReader reader(&source);
            EXPECT_EQ(reader.Read(nullptr, 12345), 12345);
            Bytes rest = ReadAll(reader, 999);
            EXPECT_EQ(rest, Bytes(data.begin() + 12345, data.end()));
        }
}

TEST(DeflateReader, CorpusStreamsMatchTheirRawData)
{
    const std::string dir = std::string(CORPUS_DIR) + "/synthetic/zlib";
    int checked = 0, refused = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
    {
        const std::string name = entry.path().filename().string();
        if (name.size() < 5 || name.substr(name.size() - 5) != ".zlib")
            continue;
        Bytes z = ReadFile(dir + "/" + name);
        Bytes raw = ReadFile(dir + "/" + name.substr(0, name.size() - 5) + ".raw");
        CMemoryReader source(z.data(), int32_t(z.size()));
        CZReader reader(&source);
        if (name.find("_dict") != std::string::npos)
        {
            // A preset dictionary is refused by the header check.
            EXPECT_FALSE(reader.IsOpen()) << name;
            EXPECT_STREQ(reader.m_Error,
                         "Unable to load. Don't know how to unpack when the dict flag is set");
            ++refused;
            continue;
        }
        EXPECT_TRUE(reader.IsOpen()) << name;
        EXPECT_EQ(ReadAll(reader, 4096), raw) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 18);
    EXPECT_EQ(refused, 2);
}

TEST(RLEDecoder, RunAndRawPackets)
{
    unsigned char data[] = {0x82, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9};
    CMemoryReader source(data, sizeof data);
    CRLEDecoder rle(&source, 3);
    EXPECT_TRUE(rle.IsOpen());
    unsigned char out[15];
    EXPECT_EQ(rle.Read(out, 15), 15);
    const unsigned char expected[] = {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(memcmp(out, expected, 15), 0);
    EXPECT_FALSE(CRLEDecoder(&source, 0).IsOpen());
}

TEST(RLEDecoder, BoundsEndsAndSkipping)
{
    auto errorOf = [](const Bytes& data, int elementSize, int32_t size)
    {
        CMemoryReader source(data.data(), int32_t(data.size()));
        CRLEDecoder rle(&source, elementSize);
        std::vector<unsigned char> out(size_t(size) + 1);
        return ErrorOf([&] { rle.Read(out.data(), size); });
    };
    EXPECT_EQ(errorOf({0x84, 9}, 1, 4), "RLEDecoder: Error, Out of bounds");
    EXPECT_EQ(errorOf({0x03, 1, 2, 3, 4, 5}, 1, 3), "RLEDecoder: Error, Out of bounds");
    EXPECT_EQ(errorOf({0x83, 9}, 1, 4), "");
    EXPECT_EQ(errorOf({0x83, 9, 0x00}, 2, 10), "RLEDecoder: Error, Unexpected end of data");
    EXPECT_EQ(errorOf({0x05, 1, 2}, 1, 6), "RLEDecoder: Error, Unexpected end of data");

    // A skip consumes exactly the packets a real read would.
    unsigned char data[] = {0x81, 1, 2, 0x00, 3, 4, 0x80, 5, 6};
    CMemoryReader source(data, sizeof data);
    CRLEDecoder rle(&source, 2);
    EXPECT_EQ(rle.Read(nullptr, 6), 6);
    unsigned char out[3] = {0, 0, 0xEE};
    // A size that is not a whole number of elements counts only the bytes written.
    EXPECT_EQ(rle.Read(out, 3), 2);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(out[2], 0xEE);
}
