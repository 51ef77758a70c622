// Inflate, zlib and run-length streams, checked against zlib's own compressor and hand-made
// bit streams for the cases zlib never writes.
#include "keth/ext/compr/deflate.h"
#include "tempdir.h"
#include "testsupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::vector<unsigned char> Bytes;

const char* const END_TEXT = "Unexpected end of compressed data";
const char* const LENGTHS_TEXT = "Invalid Huffman code lengths";

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
Bytes ReadAll(CInputStream& in, int32_t step)
{
    Bytes out, chunk(static_cast<size_t>(step));
    for (int32_t got; (got = in.Read(chunk.data(), step)) > 0;)
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
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
    return ErrorOf([&] { ReadAll(reader, request); });
}

} // namespace

TEST(HuffmanAlphabet, RefusesInvalidCodeSets)
{
    const struct
    {
        std::vector<int> m_Lengths;
        bool m_AllowIncomplete;
        const char* m_Error;
    } cases[] = {
        {{1, 1, 1}, true, LENGTHS_TEXT},   // over-subscribed
        {{1, 2}, false, LENGTHS_TEXT},     // incomplete
        {{1, 2}, true, ""},                // allowed on request
        {{1, 17, 17}, true, LENGTHS_TEXT}, // too long
        {{2, 2, 2, 2}, false, ""},
    };
    for (const auto& c : cases)
    {
        CHuffmanAlphabet alphabet;
        for (size_t i = 0; i < c.m_Lengths.size(); ++i)
            alphabet.AddEntry(int(i), c.m_Lengths[i], ~0u);
        EXPECT_EQ(ErrorOf([&] { alphabet.Build(c.m_AllowIncomplete); }), c.m_Error);
    }
    // A code that the set does not hold ends decoding instead of restarting at the root.
    CHuffmanAlphabet alphabet;
    alphabet.AddEntry(7, 1, ~0u);
    alphabet.Build(true);
    unsigned char ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    CMemoryReader source(ones, 4);
    CBitReader bits(&source);
    EXPECT_EQ(ErrorOf([&] { alphabet.Decode(bits); }), "Invalid Huffman code");
}

TEST(ZReader, HeaderVerdicts)
{
    const struct
    {
        unsigned char m_Cmf, m_Flg;
        const char* m_Error;
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
        unsigned char data[] = {c.m_Cmf, c.m_Flg, 0x03, 0x00};
        CMemoryReader source(data, 4);
        CZReader reader(&source);
        EXPECT_STREQ(reader.m_Error, c.m_Error);
        EXPECT_EQ(reader.IsOpen(), c.m_Error == nullptr);
    }
}

// Hand-made streams for what zlib never writes. Fixed blocks that go on with twelve literals
// and the end of the block are long enough for the decoder's fast loop to meet the fault.
TEST(DeflateReader, RefusesMalformedBlocks)
{
    const char* const far = "Invalid distance, too far back";
    const struct
    {
        Bytes m_Data;
        const char* m_Error;
    } cases[] = {
        {{0x07}, "ROARRRRRRR! Can't handle this blocktype"}, // final block of type 3
        {{0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'}, "Invalid stored block length"},
        {{0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b'}, END_TEXT},
        // Fixed blocks: a match of distance 1 before any byte; 'a', then a match two back.
        {{0x03, 0x02, 0x00}, far},
        {{0x4B, 0x04, 0xC2, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0xA4, 0x24, 0x00},
         far},
        // 'a', then the unused length symbol 286, or the unused distance code 30.
        {{0x4B, 0x1C, 0x03, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x49, 0x00},
         "Invalid Huffman code"},
        {{0x4B, 0x04, 0x3E}, "Invalid Huffman code"},
        // Dynamic blocks: three one-bit code-length codes; a first length that repeats the one
        // before it (code-length code {16: 1 bit, 0: 1 bit}); 287 literal/length codes; 31
        // distance codes.
        {{0x05, 0x00, 0x92, 0x00}, LENGTHS_TEXT},
        {{0x05, 0x00, 0x02, 0x24}, LENGTHS_TEXT},
        {{0xF5, 0x00, 0x00}, LENGTHS_TEXT},
        {{0x05, 0x1E, 0x00}, LENGTHS_TEXT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InflateError(c.m_Data), c.m_Error) << &c - cases;
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
    for (const Bytes& data : inputs)
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
                ASSERT_EQ(Inflate(Compress(data, level, strategy), 1 << 20), data)
                    << "level " << level << " strategy " << strategy;
    // Small windows and memory levels change how the encoder splits blocks.
    for (int windowBits = 9; windowBits <= 15; windowBits += 3)
        for (int memLevel : {1, 9})
            ASSERT_EQ(Inflate(Compress(inputs[3], 9, Z_DEFAULT_STRATEGY, windowBits, memLevel), 257),
                      inputs[3]);

    // Skipping with a null buffer keeps the stream in step.
    Bytes z = Compress(inputs[3], 9, Z_DEFAULT_STRATEGY);
    CMemoryReader source(z.data(), int32_t(z.size()));
    CZReader reader(&source);
    EXPECT_EQ(reader.Read(nullptr, 12345), 12345);
    EXPECT_EQ(ReadAll(reader, 999), Bytes(inputs[3].begin() + 12345, inputs[3].end()));
}

TEST(DeflateReader, CorpusStreamsMatchTheirRawData)
{
    int checked = 0, refused = 0;
    for (const SCorpusFile& file : CorpusFiles("zlib/", ".zlib"))
    {
        const std::string z = ReadBytes(file.m_Path);
        CMemoryReader source(z.data(), int32_t(z.size()));
        CZReader reader(&source);
        if (!file.m_Accept)
        {
            // Only preset dictionaries are refused, by the header check.
            EXPECT_FALSE(reader.IsOpen()) << file.m_Path;
            ++refused;
            continue;
        }
        const std::string raw = ReadBytes(file.m_Path.substr(0, file.m_Path.size() - 5) + ".raw");
        EXPECT_EQ(ReadAll(reader, 4096), Bytes(raw.begin(), raw.end())) << file.m_Path;
        ++checked;
    }
    EXPECT_EQ(checked, 18);
    EXPECT_EQ(refused, 2);
}

TEST(RLEDecoder, PacketsBoundsAndEnds)
{
    const struct
    {
        Bytes m_Data;
        int m_ElementSize;
        int32_t m_Request;
        const char* m_Error;
        Bytes m_Out;
    } cases[] = {
        {{0x82, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}, 3, 15, "", {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {{0x83, 9}, 1, 4, "", {9, 9, 9, 9}},
        {{0x84, 9}, 1, 4, "RLEDecoder: Error, Out of bounds", {}},
        {{0x03, 1, 2, 3, 4, 5}, 1, 3, "RLEDecoder: Error, Out of bounds", {}},
        {{0x83, 9, 0x00}, 2, 10, "RLEDecoder: Error, Unexpected end of data", {}},
        {{0x05, 1, 2}, 1, 6, "RLEDecoder: Error, Unexpected end of data", {}},
    };
    for (const auto& c : cases)
    {
        CMemoryReader source(c.m_Data.data(), int32_t(c.m_Data.size()));
        CRLEDecoder rle(&source, c.m_ElementSize);
        Bytes out(size_t(c.m_Request));
        EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(rle.Read(out.data(), c.m_Request), c.m_Request); }), c.m_Error);
        if (!*c.m_Error)
        {
            EXPECT_EQ(out, c.m_Out);
        }
    }

    // A skip consumes exactly the packets a real read would; a size that is not a whole
    // number of elements counts only the bytes written.
    unsigned char data[] = {0x81, 1, 2, 0x00, 3, 4, 0x80, 5, 6};
    CMemoryReader source(data, sizeof data);
    CRLEDecoder rle(&source, 2);
    EXPECT_FALSE(CRLEDecoder(&source, 0).IsOpen());
    EXPECT_EQ(rle.Read(nullptr, 6), 6);
    unsigned char out[3] = {0, 0, 0xEE};
    EXPECT_EQ(rle.Read(out, 3), 2);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{5, 6, 0xEE}));
}

// Inflating reads ahead where the source holds its bytes in memory; whoever reads the source
// after the compressed stream must still find it just behind the stream's last byte.
namespace
{
// A source without Peek, read one request at a time as a file or socket would be.
class CPlainReader : public CMemoryReader
{
public:
    using CMemoryReader::CMemoryReader;
    int32_t Peek(const unsigned char** data) override { return CInputStream::Peek(data); }
};

// What the source under a stream has left, from a plain memory source, from memory behind
// block readers of awkward sizes, or from a source that cannot be read ahead.
template <class F> std::string RestAfter(const Bytes& bytes, int kind, F read)
{
    CMemoryReader memory(bytes.data(), int32_t(bytes.size()));
    CPlainReader plain(bytes.data(), int32_t(bytes.size()));
    CBlockReader blocks(&memory, kind == 1 ? 7 : 4096);
    CInputStream* const sources[] = {&memory, &blocks, &blocks, &plain};
    CInputStream* source = sources[kind];
    read(source);
    std::string rest(64, '\0');
    rest.resize(size_t(source->Read(&rest[0], 64)));
    return rest;
}
} // namespace

TEST(InflatePosition, SourceEndsBehindTheStreamForEverySourceAndRequestSize)
{
    const Bytes data = MakeData(200000, 5);
    const std::string tail = "next chunk";
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY})
        for (int level : {0, 1, 9})
        {
            Bytes withTail = Compress(data, level, strategy);
            // Truncated: everything before the Adler-32 trailer is needed.
            for (size_t cut = 2; cut + 4 < withTail.size(); cut += 1 + cut / 8)
                EXPECT_EQ(InflateError(Bytes(withTail.begin() + 2, withTail.begin() + long(cut)), 4096),
                          END_TEXT)
                    << cut;
            withTail.insert(withTail.end(), tail.begin(), tail.end());
            // The raw stream alone, followed by the zlib trailer and the tail.
            const Bytes raw(withTail.begin() + 2, withTail.end());
            const std::string afterRaw(withTail.end() - long(tail.size()) - 4, withTail.end());
            for (int kind = 0; kind < 4; ++kind)
                for (int32_t step : {1, 1000, 1 << 20})
                {
                    SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy
                                                    << " source " << kind << " step " << step);
                    EXPECT_EQ(RestAfter(withTail, kind,
                                        [&](CInputStream* source)
                                        {
                                            CZReader zlib(source);
                                            ASSERT_EQ(ReadAll(zlib, step), data);
                                        }),
                              tail);
                    EXPECT_EQ(RestAfter(raw, kind,
                                        [&](CInputStream* source)
                                        {
                                            CDeflateReader inflater(source, 32768);
                                            EXPECT_EQ(ReadAll(inflater, step).size(), data.size());
                                        }),
                              afterRaw);
                }
        }
}
