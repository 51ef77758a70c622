// TGA decoding throughput in bytes of decoded pixels, ours against stb_image on the same files
// held in memory. Files come from the conformance corpus beside the source tree.
#include "keth/ext/loader/tga/tga.h"

#include <benchmark/benchmark.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#include <stb/stb_image.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{
std::string CorpusPath(const char* name)
{
    if (const char* dir = getenv("VORNSCR_CORPUS"))
        return std::string(dir) + "/" + name;
#ifdef CORPUS_DIR
    return std::string(CORPUS_DIR) + "/" + name;
#else
    std::string source = __FILE__;
    return source.substr(0, source.rfind("/bench/")) + "/../shared/testdata/corpus/" + name;
#endif
}

std::vector<unsigned char> ReadCorpusFile(const char* name)
{
    std::ifstream file(CorpusPath(name), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void BM_TGA_Ours(benchmark::State& state, const char* name)
{
    std::vector<unsigned char> file = ReadCorpusFile(name);
    if (file.empty())
    {
        state.SkipWithError("corpus file missing");
        return;
    }
    NKeth::CTGAFormat tga;
    int64_t bytes = 0;
    for (auto _ : state)
    {
        NKeth::CMemoryReader in(file.data(), int32_t(file.size()));
        NKeth::CImage image;
        if (!tga.Load(in, image))
        {
            state.SkipWithError("not decoded");
            return;
        }
        benchmark::DoNotOptimize(image.m_Data);
        bytes += image.m_Format.m_Size;
    }
    state.SetBytesProcessed(bytes);
}

void BM_TGA_Stb(benchmark::State& state, const char* name)
{
    std::vector<unsigned char> file = ReadCorpusFile(name);
    if (file.empty())
    {
        state.SkipWithError("corpus file missing");
        return;
    }
    int64_t bytes = 0;
    for (auto _ : state)
    {
        int width, height, channels;
        unsigned char* pixels =
            stbi_load_from_memory(file.data(), int(file.size()), &width, &height, &channels, 0);
        if (!pixels)
        {
            state.SkipWithError("not decoded");
            return;
        }
        benchmark::DoNotOptimize(pixels);
        bytes += int64_t(width) * height * channels;
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(bytes);
}

#define TGA_BENCH(label, file)                                                                               \
    BENCHMARK_CAPTURE(BM_TGA_Ours, label, file);                                                             \
    BENCHMARK_CAPTURE(BM_TGA_Stb, label, file)

TGA_BENCH(raw24_256x256_bottom, "tga/deb_assimp-testmodels/bottom.tga");
TGA_BENCH(raw32_256x256_top, "tga/deb_crack-attack/logo.tga");
TGA_BENCH(raw8_200x32_bottom, "tga/debsrc_pillow-9.4.0/200x32_l_bl_raw.tga");
TGA_BENCH(rle24_512x150_bottom, "tga/deb_tuxfootball/goalpostbottom.tga");
TGA_BENCH(rle32_199x199_bottom, "tga/debsrc_pillow-9.4.0/rgb32rle.tga");
TGA_BENCH(rle8_200x32_bottom, "tga/debsrc_pillow-9.4.0/200x32_l_bl_rle.tga");
} // namespace
