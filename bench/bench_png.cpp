// PNG decoding throughput (bytes of decoded pixels per second) of our decoder against libpng
// and stb_image on the same corpus files.
#include "keth/ext/loader/png/png.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include "reference.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{
const char* const FILES[] = {
    "png/debsrc_pillow-9.4.0/drawing_emf_ref.png",             // RGB, large flat areas
    "png/deb_debian-handbook/testkvm.png",                     // RGB screenshot
    "png/deb_openclipart-png/green_arrow_bradley_whit_01.png", // RGBA clip art
    "png/deb_openclipart-png/tamerlane_chess_jonadab_.png",    // grey with alpha
    "png/deb_lilypond-doc/bwv861-lilypond-large.png",          // grey
};

std::vector<unsigned char> Load(int index)
{
    std::ifstream f(std::string(CORPUS_DIR) + "/" + FILES[index], std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Ours(benchmark::State& state)
{
    std::vector<unsigned char> file = Load(int(state.range(0)));
    NKeth::CPNGFormat format;
    int64_t bytes = 0;
    for (auto _ : state)
    {
        NKeth::CMemoryReader in(file.data(), int32_t(file.size()));
        NKeth::CImage image;
        if (!format.Load(in, image))
        {
            state.SkipWithError("decode failed");
            return;
        }
        bytes += image.m_Format.m_Size;
        benchmark::DoNotOptimize(image.m_Data);
    }
    state.SetBytesProcessed(bytes);
    state.SetLabel(FILES[state.range(0)]);
}

void Libpng(benchmark::State& state)
{
    std::vector<unsigned char> file = Load(int(state.range(0)));
    int64_t bytes = 0;
    SReferenceImage image;
    for (auto _ : state)
    {
        if (!ReferencePng(file.data(), file.size(), image))
        {
            state.SkipWithError("libpng failed");
            return;
        }
        bytes += int64_t(image.m_Samples.size());
        benchmark::DoNotOptimize(image.m_Samples.data());
    }
    state.SetBytesProcessed(bytes);
    state.SetLabel(FILES[state.range(0)]);
}

void Stb(benchmark::State& state)
{
    std::vector<unsigned char> file = Load(int(state.range(0)));
    int64_t bytes = 0;
    for (auto _ : state)
    {
        int w, h, channels;
        unsigned char* pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 0);
        if (!pixels)
        {
            state.SkipWithError("stb_image failed");
            return;
        }
        bytes += int64_t(w) * h * channels;
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(bytes);
    state.SetLabel(FILES[state.range(0)]);
}
} // namespace

BENCHMARK(Ours)->Name("PNG/ours")->DenseRange(0, 4);
BENCHMARK(Libpng)->Name("PNG/libpng")->DenseRange(0, 4);
BENCHMARK(Stb)->Name("PNG/stb_image")->DenseRange(0, 4);
