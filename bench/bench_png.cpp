// PNG decoding throughput (bytes of decoded pixels per second) of our decoder against libpng
// and stb_image on the same corpus files.
#include "keth/ext/loader/png/png.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <benchmark/benchmark.h>
#include <png.h>
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

struct SInput
{
    const std::vector<unsigned char>* file;
    size_t at;
};

void Libpng(benchmark::State& state)
{
    std::vector<unsigned char> file = Load(int(state.range(0)));
    int64_t bytes = 0;
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows;
    for (auto _ : state)
    {
        SInput input = {&file, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr,
                                                 [](png_structp, png_const_charp) {});
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png)))
        {
            png_destroy_read_struct(&png, &info, nullptr);
            state.SkipWithError("libpng failed");
            return;
        }
        png_set_read_fn(png, &input,
                        [](png_structp p, png_bytep data, png_size_t length)
                        {
                            SInput* in = static_cast<SInput*>(png_get_io_ptr(p));
                            if (in->at + length > in->file->size())
                                png_error(p, "end of file");
                            memcpy(data, in->file->data() + in->at, length);
                            in->at += length;
                        });
        png_read_info(png, info);
        size_t rowBytes = png_get_rowbytes(png, info);
        png_uint_32 height = png_get_image_height(png, info);
        pixels.resize(rowBytes * height);
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = pixels.data() + y * rowBytes;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        bytes += int64_t(pixels.size());
        benchmark::DoNotOptimize(pixels.data());
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
