// Inflate throughput (bytes of output per second) of our zlib stream against zlib itself, on
// text-like data and on the image data of a real PNG, with dynamic and fixed Huffman blocks;
// libdeflate is the second mark.
#include "keth/ext/compr/deflate.h"
#include "keth/func/stream.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{
typedef std::vector<unsigned char> Bytes;

Bytes TextLike()
{
    std::mt19937 random(1);
    const char* words[] = {"vorn ", "screen ", "saver ", "model ", "texture ", "\n", "effect ", "chain "};
    Bytes data;
    while (data.size() < (4u << 20))
    {
        const char* w = words[random() % 8];
        data.insert(data.end(), w, w + strlen(w));
        if (random() % 16 == 0)
            data.push_back((unsigned char)random());
    }
    return data;
}

// The joined IDAT data of a corpus PNG, inflated: real filtered image rows.
Bytes ImageRows()
{
    std::ifstream f(std::string(CORPUS_DIR) + "/png/deb_debian-handbook/testkvm.png", std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Bytes z;
    for (size_t at = 8; at + 12 <= file.size();)
    {
        size_t length = (size_t(file[at]) << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        if (memcmp(&file[at + 4], "IDAT", 4) == 0)
            z.insert(z.end(), file.begin() + long(at + 8), file.begin() + long(at + 8 + length));
        at += 12 + length;
    }
    Bytes rows(64u << 20);
    uLongf size = uLongf(rows.size());
    if (uncompress(rows.data(), &size, z.data(), uLong(z.size())) != Z_OK)
        return Bytes();
    rows.resize(size);
    return rows;
}

struct SCase
{
    Bytes raw, compressed;
};

const SCase& Case(int index)
{
    static SCase cases[4];
    SCase& c = cases[index];
    if (c.raw.empty())
    {
        c.raw = index < 2 ? TextLike() : ImageRows();
        z_stream z;
        memset(&z, 0, sizeof z);
        deflateInit2(&z, 6, Z_DEFLATED, 15, 8, index % 2 ? Z_FIXED : Z_DEFAULT_STRATEGY);
        c.compressed.resize(deflateBound(&z, uLong(c.raw.size())));
        z.next_in = c.raw.data();
        z.avail_in = uInt(c.raw.size());
        z.next_out = c.compressed.data();
        z.avail_out = uInt(c.compressed.size());
        deflate(&z, Z_FINISH);
        c.compressed.resize(z.total_out);
        deflateEnd(&z);
    }
    return c;
}

const char* const LABELS[] = {"text, dynamic", "text, fixed", "image rows, dynamic", "image rows, fixed"};

void Ours(benchmark::State& state)
{
    const SCase& c = Case(int(state.range(0)));
    Bytes out(c.raw.size());
    for (auto _ : state)
    {
        NKeth::CMemoryReader source(c.compressed.data(), int32_t(c.compressed.size()));
        NKeth::CZReader reader(&source);
        int32_t got = reader.Read(out.data(), int32_t(out.size()));
        if (size_t(got) != c.raw.size())
            state.SkipWithError("short output");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != c.raw)
        state.SkipWithError("output differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.raw.size()));
    state.SetLabel(LABELS[state.range(0)]);
}

// Through a block reader over the source, in row-sized requests, as the PNG decoder reads.
void OursRows(benchmark::State& state)
{
    const SCase& c = Case(int(state.range(0)));
    Bytes out(c.raw.size());
    for (auto _ : state)
    {
        NKeth::CMemoryReader source(c.compressed.data(), int32_t(c.compressed.size()));
        NKeth::CBlockReader blocks(&source, 32768);
        NKeth::CZReader reader(&blocks);
        for (size_t at = 0; at < out.size(); at += 3073)
            reader.Read(out.data() + at, int32_t(std::min<size_t>(3073, out.size() - at)));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.raw.size()));
    state.SetLabel(LABELS[state.range(0)]);
}

void Zlib(benchmark::State& state)
{
    const SCase& c = Case(int(state.range(0)));
    Bytes out(c.raw.size());
    for (auto _ : state)
    {
        uLongf size = uLongf(out.size());
        uncompress(out.data(), &size, c.compressed.data(), uLong(c.compressed.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.raw.size()));
    state.SetLabel(LABELS[state.range(0)]);
}
void Libdeflate(benchmark::State& state)
{
    const SCase& c = Case(int(state.range(0)));
    Bytes out(c.raw.size());
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    for (auto _ : state)
    {
        size_t size = 0;
        if (libdeflate_zlib_decompress(decompressor, c.compressed.data(), c.compressed.size(), out.data(),
                                       out.size(), &size) != LIBDEFLATE_SUCCESS)
            state.SkipWithError("libdeflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(decompressor);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.raw.size()));
    state.SetLabel(LABELS[state.range(0)]);
}
} // namespace

BENCHMARK(Ours)->Name("Inflate/ours")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(OursRows)->Name("Inflate/ours_block_reader_rows")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(Zlib)->Name("Inflate/zlib")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(Libdeflate)->Name("Inflate/libdeflate")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
