// Inflating reads ahead where the source holds its bytes in memory; whoever reads the source
// after the compressed stream must still find it just behind the stream's last byte.
#include "keth/ext/compr/deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

using namespace NKeth;

namespace
{
typedef std::vector<unsigned char> Bytes;

// A source without Peek, read one request at a time as a file or socket would be.
class CPlainReader : public CInputStream
{
public:
    CPlainReader(const Bytes& data) : m_Memory(data.data(), int32_t(data.size())) {}
    bool IsOpen() override { return true; }
    bool IsEOF() override { return m_Memory.IsEOF(); }
    int32_t Read(void* buffer, int32_t size) override { return m_Memory.Read(buffer, size); }

    CMemoryReader m_Memory;
};

Bytes Compress(const Bytes& data, int level, int strategy)
{
    uLongf size = compressBound(uLong(data.size())) + 64;
    Bytes out(size);
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
    z.next_in = const_cast<unsigned char*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes Data(size_t size)
{
    std::mt19937 random(5);
    Bytes data;
    while (data.size() < size)
    {
        unsigned kind = random() % 4;
        if (kind == 0)
            data.insert(data.end(), random() % 40, (unsigned char)random());
        else
            for (unsigned i = random() % 30; i > 0; --i)
                data.push_back((unsigned char)("abcdefgh"[random() % (kind == 1 ? 8 : 3)]));
    }
    data.resize(size);
    return data;
}

const char TAIL[] = "next chunk";

// The source under the stream: plain memory, memory behind block readers of awkward sizes, or a
// source that cannot be read ahead.
struct SSource
{
    explicit SSource(const Bytes& bytes, int kind)
        : m_Memory(bytes.data(), int32_t(bytes.size())), m_Plain(bytes)
    {
        m_Stream = &m_Memory;
        if (kind == 1 || kind == 2)
        {
            m_Blocks.reset(new CBlockReader(&m_Memory, kind == 1 ? 7 : 4096));
            m_Stream = m_Blocks.get();
        }
        else if (kind == 3)
            m_Stream = &m_Plain;
    }
    std::string Rest()
    {
        std::string rest(64, '\0');
        rest.resize(size_t(m_Stream->Read(&rest[0], 64)));
        return rest;
    }

    CMemoryReader m_Memory;
    CPlainReader m_Plain;
    std::unique_ptr<CBlockReader> m_Blocks;
    CInputStream* m_Stream;
};
} // namespace

TEST(InflatePosition, SourceEndsBehindTheStreamForEverySourceAndRequestSize)
{
    const Bytes data = Data(200000);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY})
        for (int level : {0, 1, 9})
        {
            Bytes z = Compress(data, level, strategy);
            Bytes withTail = z;
            withTail.insert(withTail.end(), TAIL, TAIL + sizeof TAIL - 1);
            // The raw stream alone, followed by the zlib trailer and the tail.
            Bytes raw(withTail.begin() + 2, withTail.end());
            std::string afterRaw(withTail.end() - long(sizeof TAIL - 1) - 4, withTail.end());
            for (int kind = 0; kind < 4; ++kind)
                for (int32_t step : {1, 1000, 1 << 20})
                {
                    SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy
                                                    << " source " << kind << " step " << step);
                    SSource zSource(withTail, kind);
                    CZReader zlib(zSource.m_Stream);
                    Bytes out;
                    Bytes chunk(static_cast<size_t>(step));
                    for (int32_t got; (got = zlib.Read(chunk.data(), step)) > 0;)
                        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
                    ASSERT_EQ(out, data);
                    EXPECT_EQ(zSource.Rest(), TAIL);

                    SSource rawSource(raw, kind);
                    CDeflateReader inflater(rawSource.m_Stream, 32768);
                    size_t total = 0;
                    for (int32_t got; (got = inflater.Read(chunk.data(), step)) > 0;)
                        total += size_t(got);
                    EXPECT_EQ(total, data.size());
                    EXPECT_EQ(rawSource.Rest(), afterRaw);
                }
        }
}
